#include "undo/backup_store.h"

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <utility>

#include "core/ascii.h"
#include "sysroutines/scheduled_tasks.h"
#include "sysroutines/store_folder.h"
#include "undo/reg_file.h"
#include "undo/system_state.h"
#include "win32/file_path.h"
#include "win32/handles.h"
#include "win32/system_error.h"
#include "win32/unicode.h"

namespace wl::undo {
namespace {

using win32::Narrow;
using win32::Widen;

constexpr char kManifestName[] = "manifest.json";
constexpr char kRegFileName[] = "registry.reg";
constexpr char kJournalName[] = "journal.jsonl";
constexpr char kFilesFolder[] = "files";

std::optional<std::string>& RootOverride() {
  static std::optional<std::string> root;
  return root;
}

// What was found and set aside while the store was made ready, until it is
// told to the user.
std::string& Notice() {
  static std::string notice;
  return notice;
}

struct RootInfo {
  std::string path;          // empty when there is no store
  bool machineWide = false;  // judged by its owners
};

// The store's root; a listing (create false) finds it without making or
// re-securing anything, and a store that is not there has no path.
RootInfo StoreRoot(bool create = true) {
  if (RootOverride()) return {*RootOverride(), false};
  // With administrative rights under the machine-wide program-data folder,
  // administrators and the system only; otherwise in the user's profile. A
  // link or junction planted in the path is refused: then there is no store,
  // and every change fails closed.
  const StoreFolder folder = create ? PrepareStoreFolder("Backups") : FindStoreFolder("Backups");
  if (!folder.notice.empty() && Notice().find(folder.notice) == std::string::npos) Notice() += folder.notice;
  // A store a listing does not read from (a link, another user's folder) is said once.
  if (!create && !folder.ok() && Notice().find(folder.message) == std::string::npos) Notice() += folder.message + "\n";
  return folder.ok() ? RootInfo{folder.path, folder.machineWide} : RootInfo{};
}

// The change set being filled.
struct OpenSet {
  int depth = 0;           // nested ChangeSet scopes
  std::string page, action;
  std::string root;        // the store's root the folder was made in
  std::string folder;      // made at the first record
  ChangeSetManifest manifest;
  int files = 0;           // file copies so far
  // The set's folder, held open while the set is: nobody can rename it or
  // put a link in its place (or in its parents') meanwhile.
  win32::UniqueHfile held;
};

OpenSet& Current() {
  static OpenSet set;
  return set;
}

// The record of the write under way, so that a failure of the write can be
// marked on it: the set's folder and the item's index. The set may have been
// closed meanwhile (a write with no set open gets one of its own).
struct PendingRecord {
  std::string root, folder;
  std::size_t index = 0;
};

std::optional<PendingRecord>& Pending() {
  static std::optional<PendingRecord> pending;
  return pending;
}

std::string LocalTimeText(const SYSTEMTIME& t) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                t.wSecond);
  return buf;
}

// Makes the store's root folder and the set's folder; the id is the local
// time to the millisecond, with a number added when two sets meet.
uint32_t MakeSetFolder(OpenSet& set) {
  const std::string root = BackupStoreRoot();
  if (root.empty()) return ERROR_PATH_NOT_FOUND;
  // The root and its parents.
  for (std::size_t slash = root.find('\\', 3);; slash = root.find('\\', slash + 1)) {
    const std::string part = slash == std::string::npos ? root : root.substr(0, slash);
    if (!win32::DirectoryExists(part) && !CreateDirectoryW(win32::ApiPath(part).c_str(), nullptr) &&
        GetLastError() != ERROR_ALREADY_EXISTS)
      return GetLastError();
    if (slash == std::string::npos) break;
  }
  SYSTEMTIME t{};
  GetLocalTime(&t);
  char base[40];
  std::snprintf(base, sizeof base, "%04u%02u%02u-%02u%02u%02u-%03u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                t.wSecond, t.wMilliseconds);
  for (int n = 0; n < 1000; ++n) {
    const std::string id = n ? std::string(base) + "-" + std::to_string(n) : std::string(base);
    const std::string folder = root + "\\" + id;
    if (CreateDirectoryW(win32::ApiPath(folder).c_str(), nullptr)) {
      // Nothing planted between the store's root and the new folder.
      if (const uint32_t e = CheckNoLinksBelow(root, folder)) return e;
      set.held.reset(CreateFileW(win32::ApiPath(folder).c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                 nullptr));
      if (!set.held) return GetLastError();
      set.root = root;
      set.folder = folder;
      set.manifest = {};
      set.manifest.id = id;
      set.manifest.created = LocalTimeText(t);
      set.manifest.page = set.page;
      set.manifest.action = set.action;
      set.files = 0;
      return ERROR_SUCCESS;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) return GetLastError();
  }
  return ERROR_ALREADY_EXISTS;
}

// Appends lines to the set's journal and flushes them to disk.
uint32_t AppendToJournal(const OpenSet& set, const std::string& lines) {
  if (const uint32_t e = CheckNoLinksBelow(set.root, set.folder + "\\" + kJournalName)) return e;
  win32::UniqueHfile file(CreateFileW(win32::ApiPath(set.folder + "\\" + kJournalName).c_str(), FILE_APPEND_DATA, 0,
                                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                                      nullptr));
  if (!file) return GetLastError();
  DWORD written = 0;
  if (!WriteFile(file.get(), lines.data(), static_cast<DWORD>(lines.size()), &written, nullptr) ||
      written != lines.size())
    return GetLastError() ? GetLastError() : ERROR_WRITE_FAULT;
  return FlushFileBuffers(file.get()) ? ERROR_SUCCESS : GetLastError();
}

// Writes the manifest and the .reg file of the set, each flushed to disk.
uint32_t SaveSet(const OpenSet& set) {
  for (const char* name : {kManifestName, kRegFileName})
    if (const uint32_t e = CheckNoLinksBelow(set.root, set.folder + "\\" + name)) return e;
  if (const uint32_t e = WriteFileFlushed(set.folder + "\\" + kManifestName, ManifestToJson(set.manifest))) return e;
  const auto keys = RegFileKeysFor(set.manifest);
  if (keys.empty()) return ERROR_SUCCESS;
  const auto bytes = WriteRegFile(keys);
  return WriteFileFlushed(set.folder + "\\" + kRegFileName, std::string(bytes.begin(), bytes.end()));
}

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }
std::string ValueLabel(const std::string& name) { return name.empty() ? "(Default)" : Quoted(name); }

// A service key: "SYSTEM\CurrentControlSet\Services\<name>" under the local machine.
std::string ServiceNameOf(HKEY root, const std::string& path) {
  static const std::string prefix = "SYSTEM\\CURRENTCONTROLSET\\SERVICES\\";
  if (root != HKEY_LOCAL_MACHINE || path.size() <= prefix.size()) return {};
  if (!StartsWithNoCase(path, prefix)) return {};
  const std::string name = path.substr(prefix.size());
  return name.find('\\') == std::string::npos ? name : std::string();
}

// The topmost key of path that is missing; empty when the key is there.
std::string FirstMissingKey(HKEY root, const std::string& path, win32::RegView view) {
  std::string prefix;
  std::size_t start = 0;
  while (start <= path.size()) {
    const auto slash = path.find('\\', start);
    const std::string part = path.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
    if (!part.empty()) {
      prefix += prefix.empty() ? part : "\\" + part;
      if (!win32::RegKey::Exists(root, prefix, view)) return prefix;
    }
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  return {};
}

// An item for the keys a write is about to create (restored by deleting them
// while they hold no values).
BackupItem CreatedKeyItem(const std::string& rootName, const std::string& path, win32::RegView view) {
  BackupItem item;
  item.kind = ItemKind::RegistryKey;
  item.operation = "CreateRegKey";
  item.description = "Create the key " + rootName + "\\" + path;
  item.root = rootName;
  item.key = path;
  item.view = ViewName(view);
  item.existed = false;
  return item;
}

// Keeps a compressed copy of the file at path in the set ("files\N.z").
WriteResult CopyIntoSet(OpenSet& set, const std::string& path, FileCopy& info) {
  const std::string files = set.folder + "\\" + kFilesFolder;
  if (!win32::DirectoryExists(files) && !CreateDirectoryW(win32::ApiPath(files).c_str(), nullptr))
    return WriteResult::Failure(GetLastError(), "the folder for file copies could not be made");
  info.copyName = std::string(kFilesFolder) + "\\" + std::to_string(set.files + 1) + ".z";
  uint32_t e = CheckNoLinksBelow(set.root, set.folder + "\\" + info.copyName);
  if (!e) e = CompressFileCopy(path, set.folder + "\\" + info.copyName, info);
  if (e) return WriteResult::Failure(e, "the file could not be copied: " + win32::SystemErrorText(e));
  ++set.files;
  return {};
}

constexpr char kServicesKey[] = "SYSTEM\\CurrentControlSet\\Services\\";

// The keys and values a step outside the program is known to change, each as
// an item of its own (a key that is not there is left out).
WriteResult CaptureOutsideChanges(const WriteRequest& r, std::vector<BackupItem>& out) {
  HKEY root = nullptr;
  std::string rootName, path;
  for (const std::string& key : r.outsideKeys) {
    if (!SplitKeyText(key, root, rootName, path)) return WriteResult::Failure(ERROR_INVALID_PARAMETER, "unknown root");
    BackupItem item;
    item.kind = ItemKind::RegistryTree;
    item.operation = "Keep";
    item.description = "Keep the key " + key;
    item.root = rootName;
    item.key = path;
    item.view = ViewName(r.view);
    const uint32_t e = DumpRegTree(root, path, r.view, item.tree);
    if (e == ERROR_FILE_NOT_FOUND) continue;
    if (e != ERROR_SUCCESS) return WriteResult::Failure(e, "the key could not be read: " + win32::SystemErrorText(e));
    item.existed = true;
    out.push_back(std::move(item));
  }
  for (const auto& [key, name] : r.outsideValues) {
    if (!SplitKeyText(key, root, rootName, path)) return WriteResult::Failure(ERROR_INVALID_PARAMETER, "unknown root");
    BackupItem item;
    item.kind = ItemKind::RegistryValue;
    item.operation = "Keep";
    item.description = "Keep the value " + ValueLabel(name) + " of " + key;
    item.root = rootName;
    item.key = path;
    item.view = ViewName(r.view);
    item.valueName = name;
    const uint32_t e = ReadRegValueState(root, path, r.view, name, item.value);
    if (e == ERROR_FILE_NOT_FOUND) continue;
    if (e != ERROR_SUCCESS) return WriteResult::Failure(e, "the value could not be read: " + win32::SystemErrorText(e));
    item.existed = true;  // what it is after is not known: gone, or as it was
    out.push_back(std::move(item));
  }
  return {};
}

// What is about to change, as an item; ERROR_SUCCESS or why it could not be
// read (then the write must not go ahead). Keys the write creates come first,
// as items of their own.
WriteResult Capture(const WriteRequest& r, OpenSet& set, BackupItem& item, std::vector<BackupItem>& created) {
  HKEY root = nullptr;
  std::string rootName, path;
  switch (r.kind) {
    case WriteKind::DeleteRegValue:
    case WriteKind::WriteRegValue: {
      if (!SplitKeyText(r.target, root, rootName, path)) return WriteResult::Failure(ERROR_INVALID_PARAMETER, "unknown root");
      item.kind = ItemKind::RegistryValue;
      item.operation = r.kind == WriteKind::DeleteRegValue ? "DeleteRegValue" : "WriteRegValue";
      item.description = (r.kind == WriteKind::DeleteRegValue ? "Delete the value " : "Write the value ") +
                         ValueLabel(r.name) + " of " + r.target;
      item.root = rootName;
      item.key = path;
      item.view = ViewName(r.view);
      item.valueName = r.name;
      RegValueCopy before;
      const uint32_t e = ReadRegValueState(root, path, r.view, r.name, before);
      if (e != ERROR_SUCCESS && e != ERROR_FILE_NOT_FOUND)
        return WriteResult::Failure(e, "the value could not be read: " + win32::SystemErrorText(e));
      item.existed = e == ERROR_SUCCESS;
      if (item.existed) item.value = std::move(before);
      if (r.kind == WriteKind::WriteRegValue) {
        item.valueAfter = RegValueCopy{r.name, r.type, r.data};
        if (const std::string missing = FirstMissingKey(root, path, r.view); !missing.empty())
          created.push_back(CreatedKeyItem(rootName, missing, r.view));
      }
      return {};
    }
    case WriteKind::DeleteRegTree: {
      if (!SplitKeyText(r.target, root, rootName, path)) return WriteResult::Failure(ERROR_INVALID_PARAMETER, "unknown root");
      item.kind = ItemKind::RegistryTree;
      item.operation = "DeleteRegTree";
      item.description = "Delete the key " + r.target;
      item.root = rootName;
      item.key = path;
      item.view = ViewName(r.view);
      const uint32_t e = DumpRegTree(root, path, r.view, item.tree);
      if (e != ERROR_SUCCESS && e != ERROR_FILE_NOT_FOUND)
        return WriteResult::Failure(e, "the key could not be read: " + win32::SystemErrorText(e));
      item.existed = e == ERROR_SUCCESS;
      const std::string service = ServiceNameOf(root, path);
      if (!service.empty()) {
        item.service = ReadServiceConfig(service);
        if (item.service) item.description = "Remove the service " + service + " (" + r.target + ")";
      }
      return {};
    }
    case WriteKind::CreateRegKey: {
      if (!SplitKeyText(r.target, root, rootName, path)) return WriteResult::Failure(ERROR_INVALID_PARAMETER, "unknown root");
      item.kind = ItemKind::RegistryKey;
      item.operation = "CreateRegKey";
      item.description = "Create the key " + r.target;
      item.root = rootName;
      item.key = path;
      item.view = ViewName(r.view);
      const std::string missing = FirstMissingKey(root, path, r.view);
      item.existed = missing.empty();
      if (!missing.empty()) item = CreatedKeyItem(rootName, missing, r.view);
      return {};
    }
    case WriteKind::WriteIniValue:
    case WriteKind::DeleteIniValue: {
      item.kind = ItemKind::IniValue;
      item.operation = r.kind == WriteKind::WriteIniValue ? "WriteIniValue" : "DeleteIniValue";
      item.description = (r.kind == WriteKind::WriteIniValue ? "Write the entry " : "Delete the entry ") +
                         Quoted(r.name) + " of " + r.target;
      item.path = r.target;
      item.section = r.section;
      item.entry = r.entry;
      const auto before = ReadIniState(r.target, r.section, r.entry);
      item.existed = before.has_value();
      if (before) item.text = *before;
      if (r.kind == WriteKind::WriteIniValue) item.textAfter = r.text.value_or(std::string());
      return {};
    }
    case WriteKind::DeleteCertificate:
    case WriteKind::AddCertificate: {
      item.kind = ItemKind::Certificate;
      item.operation = std::string(WriteKindName(r.kind));
      item.path = r.target;
      item.entry = r.name;
      item.description = (r.kind == WriteKind::DeleteCertificate ? "Delete the certificate " + r.name + " from "
                                                                 : "Add the certificate " + r.name + " to ") +
                         r.target;
      // The certificate as the store holds it now, when it is there.
      std::optional<std::vector<uint8_t>> element = CertificateElement(r.target, r.name);
      if (!element && r.kind == WriteKind::DeleteCertificate && !r.data.empty()) element = r.data;
      item.existed = element.has_value();
      if (element) {
        static const char hex[] = "0123456789abcdef";
        item.text.reserve(element->size() * 2);
        for (uint8_t b : *element) {
          item.text += hex[b >> 4];
          item.text += hex[b & 15];
        }
      }
      return {};
    }
    case WriteKind::RemoveWinsockProvider:
    case WriteKind::InstallWinsockProvider: {
      // The write hands over each provider as the catalog's routines list
      // it: what a re-installation needs (or, for one installed, what to
      // remove again).
      const bool remove = r.kind == WriteKind::RemoveWinsockProvider;
      item.kind = ItemKind::Winsock;
      item.operation = std::string(WriteKindName(r.kind));
      item.path = r.target;
      item.entry = r.name;
      item.existed = remove;
      for (const WinsockProviderSetup& w : r.winsock)
        item.winsock.push_back({w.nameSpace, w.wow32, w.providerId, w.dllPath, w.protocols, w.displayName,
                                w.nameSpaceId, w.version, w.enabled});
      if (item.winsock.empty()) return WriteResult::Failure(ERROR_INVALID_DATA, "the write named no provider to keep");
      item.description = (remove ? "Remove the Winsock provider " : "Install the Winsock provider ") + r.name +
                         (remove ? " from " : " into ") + r.target;
      if (item.winsock.size() > 1)
        item.description += remove ? " (with " + std::to_string(item.winsock.size() - 1) + " protocol chain(s) over it)"
                                   : " (" + std::to_string(item.winsock.size()) + " providers)";
      return {};
    }
    case WriteKind::DeleteWmiInstance:
    case WriteKind::CreateWmiInstance: {
      const bool remove = r.kind == WriteKind::DeleteWmiInstance;
      item.kind = ItemKind::WmiInstance;
      item.operation = std::string(WriteKindName(r.kind));
      item.path = r.target;
      item.entry = r.name;
      item.description = (remove ? "Delete the WMI instance " + r.name + " of "
                                 : "Create the WMI instance " + r.name + " in ") +
                         r.target;
      WmiInstance before;
      const uint32_t e = WmiStore().Get(r.target, r.name, before);
      if (e != ERROR_SUCCESS && e != ERROR_FILE_NOT_FOUND)
        return WriteResult::Failure(e, "the instance could not be read: " + win32::SystemErrorText(e));
      item.existed = e == ERROR_SUCCESS;
      if (item.existed) item.text = WmiInstanceText(before);
      if (!remove) item.textAfter = r.text.value_or(std::string());
      return {};
    }
    case WriteKind::CancelTransferJob: {
      // What the job was is kept for the user to read; it cannot be made
      // again as it was (see CancelTransferJob), so the item is partial and
      // a restore refuses it before changing anything.
      item.kind = ItemKind::TransferJob;
      item.operation = "CancelTransferJob";
      item.entry = r.target;
      TransferJob job;
      const uint32_t e = TransferJobs().Get(r.target, job);
      if (e != ERROR_SUCCESS && e != ERROR_FILE_NOT_FOUND)
        return WriteResult::Failure(e, "the job could not be read: " + win32::SystemErrorText(e));
      item.existed = e == ERROR_SUCCESS;
      if (item.existed) item.text = TransferJobText(job);
      item.description = "Cancel the transfer job " + (job.displayName.empty() ? r.target : "\"" + job.displayName +
                                                                                            "\" (" + r.target + ")") +
                         (job.notifyProgram.empty() ? std::string() : ", which runs " + job.notifyProgram) +
                         " (a cancelled transfer job cannot be restored)";
      item.partial = true;
      return {};
    }
    case WriteKind::RewriteFile: {
      // The file as it was is kept; what it becomes is known by its size and
      // checksum, so that a restore can tell it was not changed again since.
      item.kind = ItemKind::File;
      item.operation = "RewriteFile";
      item.path = win32::StoredPath(r.target);
      item.description = "Change the file " + item.path;
      item.existed = true;
      item.textAfter = FileFingerprint(r.data.data(), r.data.size());
      return CopyIntoSet(set, r.target, item.file);
    }
    case WriteKind::RecycleFile:
    case WriteKind::DeleteFile:
    case WriteKind::WriteShortcut: {
      item.kind = ItemKind::File;
      item.operation = std::string(WriteKindName(r.kind));
      // The file's own name (a list may show it upper-cased): a restore
      // brings it back under that.
      item.path = win32::StoredPath(r.target);
      item.description = (r.kind == WriteKind::RecycleFile  ? "Move to the Recycle Bin "
                          : r.kind == WriteKind::DeleteFile ? "Delete the file "
                                                            : "Change the arguments of the shortcut ") +
                         item.path;
      item.existed = true;
      if (r.kind == WriteKind::WriteShortcut) item.textAfter = r.text.value_or(std::string());
      return CopyIntoSet(set, r.target, item.file);
    }
    case WriteKind::CreateFolder:
    case WriteKind::DeleteFolder: {
      // A folder a restore makes on the way to a file it puts back (or an
      // empty one deleted): a restore of this set deletes it again while it
      // is empty (or makes it again).
      item.kind = ItemKind::Folder;
      item.operation = std::string(WriteKindName(r.kind));
      item.path = r.target;
      item.existed = win32::DirectoryExists(r.target);
      item.description = (r.kind == WriteKind::CreateFolder ? "Make the folder " : "Delete the empty folder ") + r.target;
      return {};
    }
    case WriteKind::PlaceFile: {
      // Nothing was there: what is kept is what the file put there is, to
      // know it again.
      item.kind = ItemKind::File;
      item.operation = "PlaceFile";
      item.path = r.target;
      item.description = "Put the file " + r.target + " in place";
      item.existed = false;
      if (const uint32_t e = FileSizeAndCrc(r.source, item.file))
        return WriteResult::Failure(e, "the file to put in place cannot be read: " + win32::SystemErrorText(e));
      return {};
    }
    case WriteKind::CreateService:
    case WriteKind::DeleteService: {
      const bool remove = r.kind == WriteKind::DeleteService;
      item.kind = ItemKind::Service;
      item.operation = std::string(WriteKindName(r.kind));
      item.description = (remove ? "Remove the service " : "Create the service ") + r.target;
      item.root = "HKEY_LOCAL_MACHINE";
      item.key = kServicesKey + r.target;
      item.view = "default";
      item.service = ReadServiceConfig(r.target);
      const uint32_t e = DumpRegTree(HKEY_LOCAL_MACHINE, item.key, win32::RegView::Default, item.tree);
      if (e != ERROR_SUCCESS && e != ERROR_FILE_NOT_FOUND)
        return WriteResult::Failure(e, "the service's key could not be read: " + win32::SystemErrorText(e));
      item.existed = item.service.has_value() || e == ERROR_SUCCESS;
      if (!item.service) {
        item.service.emplace();
        item.service->name = r.target;
      }
      if (!item.existed) item.tree = {};
      return {};
    }
    case WriteKind::DeleteTask:
    case WriteKind::DisableTask:
    case WriteKind::EnableTask:
    case WriteKind::RegisterTask: {
      item.kind = ItemKind::Task;
      item.operation = std::string(WriteKindName(r.kind));
      item.description = (r.kind == WriteKind::DeleteTask    ? "Delete the scheduled task "
                          : r.kind == WriteKind::DisableTask ? "Disable the scheduled task "
                          : r.kind == WriteKind::EnableTask  ? "Enable the scheduled task "
                                                             : "Register the scheduled task ") +
                         r.target;
      item.path = r.target;
      const auto state = ReadTaskState(r.target);
      if (state) {
        item.definition = state->definition;
        item.enabled = state->enabled;
      }
      // The definition file too, as the store keeps it: where the service
      // gives back less than it was given (Wine's), a restore puts it back.
      const std::string file = TaskStoreFile(r.target);
      const bool stored = !file.empty() && win32::FileExists(file);
      item.existed = state.has_value() || stored;
      const bool keepsFile = r.kind == WriteKind::DeleteTask || r.kind == WriteKind::RegisterTask;
      if (stored && keepsFile && CheckNoLinksBelow(TaskStoreFolder(), file) == 0)
        if (WriteResult copied = CopyIntoSet(set, file, item.file); !copied) return copied;
      return {};
    }
    case WriteKind::UnregisterServer:
    case WriteKind::RunUninstaller: {
      // Code outside this program makes the change: all it changes is not
      // known beforehand. What it is known to change is kept (and can be put
      // back); the step itself is recorded and marked as partly restorable.
      const bool server = r.kind == WriteKind::UnregisterServer;
      if (WriteResult kept = CaptureOutsideChanges(r, created); !kept) return kept;
      item.kind = ItemKind::External;
      item.operation = server ? "UnregisterServer" : "RunUninstaller";
      item.description = (server ? "Unregister the server " : "Run the uninstaller ") + r.target +
                         " (runs outside this program)";
      item.path = r.target;
      item.partial = true;
      return {};
    }
    case WriteKind::Count:
      break;
  }
  // A kind of change this recorder does not know: it is not made rather
  // than made without a backup.
  return WriteResult::Failure(ERROR_NOT_SUPPORTED, "this kind of change cannot be backed up");
}

// A key made that is there already is not recorded (checked before a
// folder is made: the immunization lists are made ready at every start).
bool MakesAKeyThatIsThere(const WriteRequest& r) {
  HKEY root = nullptr;
  std::string rootName, path;
  return r.kind == WriteKind::CreateRegKey && SplitKeyText(r.target, root, rootName, path) &&
         win32::RegKey::Exists(root, path, r.view);
}

// Nor is a value or key deleted that is not there, nor a key made that was
// there by the time it was read: the write changes nothing.
bool ChangesNothing(const WriteRequest& r, const BackupItem& item) {
  switch (r.kind) {
    case WriteKind::CreateRegKey:
    case WriteKind::CreateWmiInstance:
    case WriteKind::CreateService:
    case WriteKind::CreateFolder: return item.existed;
    case WriteKind::DeleteFolder: return !item.existed;
    case WriteKind::DeleteRegTree:
    case WriteKind::DeleteRegValue:
    case WriteKind::DeleteWmiInstance:
    case WriteKind::CancelTransferJob:
    case WriteKind::DeleteService:
    case WriteKind::DeleteTask:
    case WriteKind::DisableTask:
    case WriteKind::EnableTask: return !item.existed;
    default: return false;
  }
}

void CloseSet(OpenSet& set) {
  set.held.reset();
  set.root.clear();
  set.folder.clear();
  set.manifest = {};
  set.files = 0;
}

uint64_t FolderSize(const std::string& folder, int depth = 0) {
  uint64_t total = 0;
  WIN32_FIND_DATAW fd{};
  win32::UniqueFind find(FindFirstFileW(win32::ApiPath(folder + "\\*").c_str(), &fd));
  if (!find) return 0;
  do {
    const std::wstring name = fd.cFileName;
    if (name == L"." || name == L"..") continue;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (depth < 4 && !(fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        total += FolderSize(folder + "\\" + Narrow(name), depth + 1);
    } else {
      total += (static_cast<uint64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
    }
  } while (FindNextFileW(find.get(), &fd));
  return total;
}

// Whether an item found in a folder is a link or junction (Wine shows a
// Unix link's mark by path only).
bool IsLink(const std::string& path, DWORD found) {
  DWORD byPath = win32::FileAttributes(path);
  if (byPath == INVALID_FILE_ATTRIBUTES) byPath = 0;
  return ((found | byPath) & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool Fail(std::string* error, const std::string& what, DWORD code) {
  if (error) *error = "Could not delete " + what + ": " + win32::SystemErrorText(code);
  return false;
}

// Deletes what the handle holds when it is closed.
bool DeleteHeld(HANDLE held) {
  FILE_DISPOSITION_INFO gone{TRUE};
  return SetFileInformationByHandle(held, FileDispositionInfo, &gone, sizeof gone);
}

// Deletes a folder of the store with what it holds. Every item is opened
// without following a link and deleted through its handle; the folder is
// held open while its items go (it cannot be swapped for a link meanwhile);
// a link found inside is removed itself, never followed.
bool DeleteFolder(const std::string& folder, int depth, std::string* error) {
  win32::UniqueHfile held(CreateFileW(win32::ApiPath(folder).c_str(),
                                      DELETE | FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!held) return Fail(error, folder, GetLastError());
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(held.get(), &info)) return Fail(error, folder, GetLastError());
  if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || IsLink(folder, info.dwFileAttributes)) {
    if (error) *error = "Could not delete " + folder + ": it is a link or junction; Wardenlake does not delete through it.";
    return false;
  }
  // Its items, read through the handle held.
  std::vector<std::pair<std::wstring, DWORD>> items;
  std::vector<uint8_t> buffer(64 * 1024);
  for (FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;; kind = FileIdBothDirectoryInfo) {
    if (!GetFileInformationByHandleEx(held.get(), kind, buffer.data(), static_cast<DWORD>(buffer.size()))) {
      if (GetLastError() == ERROR_NO_MORE_FILES) break;
      return Fail(error, folder, GetLastError());
    }
    for (std::size_t at = 0;;) {
      const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer.data() + at);
      const std::wstring name(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
      if (name != L"." && name != L"..") items.emplace_back(name, entry->FileAttributes);
      if (!entry->NextEntryOffset) break;
      at += entry->NextEntryOffset;
    }
  }
  for (const auto& [name, attributes] : items) {
    const std::string child = folder + "\\" + Narrow(name);
    const bool directory = attributes & FILE_ATTRIBUTE_DIRECTORY;
    if (IsLink(child, attributes)) {
      // A link: removed itself, never followed.
      if (!(directory ? RemoveDirectoryW(win32::ApiPath(child).c_str()) : DeleteFileW(win32::ApiPath(child).c_str())))
        return Fail(error, child, GetLastError());
    } else if (directory) {
      if (depth > 4) return Fail(error, child, ERROR_BUFFER_OVERFLOW);
      if (!DeleteFolder(child, depth + 1, error)) return false;
    } else {
      win32::UniqueHfile file(CreateFileW(win32::ApiPath(child).c_str(), DELETE | FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
      if (!file) return Fail(error, child, GetLastError());
      FILE_BASIC_INFO plain{};
      plain.FileAttributes = FILE_ATTRIBUTE_NORMAL;
      SetFileInformationByHandle(file.get(), FileBasicInfo, &plain, sizeof plain);
      if (!DeleteHeld(file.get())) return Fail(error, child, GetLastError());
    }
  }
  if (!DeleteHeld(held.get())) return Fail(error, folder, GetLastError());
  held.reset();
  if (win32::FileAttributes(folder) != INVALID_FILE_ATTRIBUTES) return Fail(error, folder, ERROR_DIR_NOT_EMPTY);
  return true;
}

// A change set's id is its folder's name: digits and dashes only.
bool IsSetId(const std::string& id) {
  return !id.empty() && id.size() < 64 &&
         std::all_of(id.begin(), id.end(), [](char c) { return (c >= '0' && c <= '9') || c == '-'; });
}

// Why a set's folder is not used: a link or junction in its place, or (in
// the machine-wide store) a folder the administrators do not own, which
// someone else may have filled. Empty when it is used.
std::string Untrusted(const RootInfo& root, const std::string& folder) {
  const uint32_t e = CheckNoLinksBelow(root.path, folder);
  if (e == kErrorLinkRefused) return "it is a link or junction, not a folder of the store";
  if (e) return "it cannot be checked: " + win32::SystemErrorText(e);
  if (!StoreFolderTrusted(folder, root.machineWide)) return "it was not made by an administrator";
  return {};
}

StoredChangeSet LoadSet(const RootInfo& root, const std::string& id) {
  StoredChangeSet set;
  set.folder = root.path + "\\" + id;
  set.manifest.id = id;
  if (const std::string why = Untrusted(root, set.folder); !why.empty()) {
    set.error = why + "; it is not used";
    return set;
  }
  set.size = FolderSize(set.folder);
  const auto text = ReadWholeFile(set.folder + "\\" + kManifestName);
  if (!text) {
    set.error = "its manifest could not be read";
    return set;
  }
  std::string error;
  auto manifest = ManifestFromJson(*text, &error);
  if (!manifest) {
    set.error = "its manifest is damaged: " + error;
    return set;
  }
  // A journal left behind: the set was not closed (the program ended while
  // it was filled); the journal holds every item that was changed.
  if (const auto journal = ReadWholeFile(set.folder + "\\" + kJournalName)) {
    auto items = ItemsFromJournal(*journal, &error);
    if (!items) {
      set.error = "its journal is damaged: " + error;
      return set;
    }
    if (items->size() >= manifest->items.size()) manifest->items = std::move(*items);
  }
  set.manifest = std::move(*manifest);
  set.manifest.id = id;  // the folder decides
  return set;
}

}  // namespace

std::string BackupStoreRoot() { return StoreRoot().path; }

std::string TakeStoreNotice() { return std::exchange(Notice(), std::string()); }

ScopedBackupStoreRoot::ScopedBackupStoreRoot(std::string root) : previous_(RootOverride()) {
  RootOverride() = std::move(root);
}

ScopedBackupStoreRoot::~ScopedBackupStoreRoot() { RootOverride() = std::move(previous_); }

ChangeSet::ChangeSet(std::string page, std::string action) {
  OpenSet& set = Current();
  if (set.depth++ == 0) {
    outer_ = true;
    CloseSet(set);
    set.page = std::move(page);
    set.action = std::move(action);
  }
}

ChangeSet::~ChangeSet() {
  OpenSet& set = Current();
  if (--set.depth != 0) return;
  // The manifest gets every item and the .reg file is written; the journal
  // then goes. When that fails the journal stays and still holds every item.
  if (!set.folder.empty() && !set.manifest.items.empty() && SaveSet(set) == ERROR_SUCCESS)
    DeleteFileW(win32::ApiPath(set.folder + "\\" + kJournalName).c_str());
  CloseSet(set);
}

std::string ChangeSet::Id() const { return Current().manifest.id; }

ScopedBackupRecording::ScopedBackupRecording()
    : recorder_([](const WriteRequest& r) { return RecordWrite(r); },
                [](const WriteRequest& r, const WriteResult& result) { RecordFailure(r, result); }) {}

void RecordFailure(const WriteRequest&, const WriteResult&) {
  const auto pending = std::exchange(Pending(), std::nullopt);
  if (!pending) return;
  OpenSet& set = Current();
  if (set.folder == pending->folder && pending->index < set.manifest.items.size()) {
    set.manifest.items[pending->index].failed = true;
    AppendToJournal(set, FailedJournalLine(pending->index, true));
    return;
  }
  // The set was closed already: its manifest is written again.
  if (CheckNoLinksBelow(pending->root, pending->folder + "\\" + kManifestName)) return;
  const auto text = ReadWholeFile(pending->folder + "\\" + kManifestName);
  auto manifest = text ? ManifestFromJson(*text) : std::nullopt;
  if (!manifest || pending->index >= manifest->items.size()) return;
  manifest->items[pending->index].failed = true;
  OpenSet closed;
  closed.root = pending->root;
  closed.folder = pending->folder;
  closed.manifest = std::move(*manifest);
  SaveSet(closed);
}

// A file whose delete failed and is tried again (a program that has just
// stopped may hold its file a moment longer) shares the copy made for the
// first try: the item is taken up again rather than copied once more.
bool RetakeFailedDelete(OpenSet& set, const WriteRequest& r) {
  if (r.kind != WriteKind::DeleteFile && r.kind != WriteKind::RecycleFile) return false;
  const std::wstring path = win32::Widen(win32::StoredPath(r.target));
  for (std::size_t i = set.manifest.items.size(); i-- > 0;) {
    BackupItem& item = set.manifest.items[i];
    if (!item.failed || item.kind != ItemKind::File || item.operation != WriteKindName(r.kind)) continue;
    const std::wstring kept = win32::Widen(item.path);
    if (CompareStringOrdinal(kept.c_str(), static_cast<int>(kept.size()), path.c_str(), static_cast<int>(path.size()),
                             TRUE) != CSTR_EQUAL)
      continue;
    if (!FileMatchesCopy(r.target, item.file)) return false;  // changed since: a copy of its own
    if (AppendToJournal(set, FailedJournalLine(i, false))) return false;
    item.failed = false;
    Pending() = PendingRecord{set.root, set.folder, i};
    return true;
  }
  return false;
}

WriteResult RecordWrite(const WriteRequest& request) {
  Pending().reset();
  if (MakesAKeyThatIsThere(request)) return {};
  std::optional<ChangeSet> own;
  if (Current().depth == 0) own.emplace("Wardenlake", "Change");
  OpenSet& set = Current();
  if (set.folder.empty()) {
    if (const uint32_t e = MakeSetFolder(set))
      return WriteResult::Failure(e, "the backup folder could not be made: " + win32::SystemErrorText(e));
  }
  if (RetakeFailedDelete(set, request)) return {};
  BackupItem item;
  std::vector<BackupItem> created;
  // A set whose first record fails leaves no folder behind.
  auto dropEmpty = [&set] {
    if (!set.manifest.items.empty() || set.folder.empty()) return;
    set.held.reset();
    DeleteFolder(set.folder, 0, nullptr);
    CloseSet(set);
  };
  WriteResult captured = Capture(request, set, item, created);
  if (!captured || ChangesNothing(request, item)) {
    dropEmpty();
    return captured;
  }
  created.push_back(std::move(item));
  std::string lines;
  for (const auto& c : created) lines += ItemJournalLine(c);
  // The first record also writes the manifest's head, so that a set cut
  // short (the program ended meanwhile) still says what it was.
  uint32_t e = CheckNoLinksBelow(set.root, set.folder + "\\" + kManifestName);
  if (!e && set.manifest.items.empty()) e = WriteFileFlushed(set.folder + "\\" + kManifestName, ManifestToJson(set.manifest));
  if (!e) e = AppendToJournal(set, lines);
  if (e) {
    dropEmpty();
    return WriteResult::Failure(e, "the backup could not be saved: " + win32::SystemErrorText(e));
  }
  for (auto& c : created) set.manifest.items.push_back(std::move(c));
  Pending() = PendingRecord{set.root, set.folder, set.manifest.items.size() - 1};
  return {};
}

std::vector<StoredChangeSet> ListChangeSets() {
  std::vector<StoredChangeSet> sets;
  const RootInfo info = StoreRoot(false);
  const std::string& root = info.path;
  if (root.empty()) return sets;
  WIN32_FIND_DATAW fd{};
  std::vector<std::string> ids;
  {
    win32::UniqueFind find(FindFirstFileW(win32::ApiPath(root + "\\*").c_str(), &fd));
    if (!find) return sets;
    do {
      const std::string name = Narrow(fd.cFileName);
      if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && IsSetId(name)) ids.push_back(name);
    } while (FindNextFileW(find.get(), &fd));
  }
  // Ids sort by time; a number after the time sorts by its value.
  std::sort(ids.begin(), ids.end(), [](const std::string& a, const std::string& b) {
    const std::string ta = a.substr(0, 19), tb = b.substr(0, 19);
    if (ta != tb) return ta > tb;
    if (a.size() != b.size()) return a.size() > b.size();
    return a > b;
  });
  for (const auto& id : ids) sets.push_back(LoadSet(info, id));
  return sets;
}

std::optional<StoredChangeSet> FindChangeSet(const std::string& id, std::string* error) {
  const RootInfo info = StoreRoot(false);
  if (!IsSetId(id) || info.path.empty() || !win32::DirectoryExists(info.path + "\\" + id)) {
    if (error) *error = "There is no change set " + id + ".";
    return std::nullopt;
  }
  StoredChangeSet set = LoadSet(info, id);
  if (!set.error.empty()) {
    if (error) *error = "The change set " + id + " cannot be used: " + set.error + ".";
    return std::nullopt;
  }
  return set;
}

bool DeleteChangeSet(const std::string& id, std::string* error) {
  const std::string root = StoreRoot(false).path;
  if (!IsSetId(id) || root.empty() || !win32::DirectoryExists(root + "\\" + id)) {
    if (error) *error = "There is no change set " + id + ".";
    return false;
  }
  // A link or junction planted among the sets is not deleted through (its
  // target's files would go with the administrator's rights).
  if (CheckNoLinksBelow(root, root + "\\" + id) == kErrorLinkRefused) {
    if (error)
      *error = "The change set " + id +
               " is a link or junction, not a folder of the store; Wardenlake does not delete through it. Remove it "
               "by hand.";
    return false;
  }
  return DeleteFolder(root + "\\" + id, 0, error);
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
  win32::UniqueHfile file(CreateFileW(win32::ApiPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return std::nullopt;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > (512ll << 20)) return std::nullopt;
  std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
  std::size_t done = 0;
  while (done < bytes.size()) {
    DWORD got = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
    if (!ReadFile(file.get(), bytes.data() + done, chunk, &got, nullptr) || got == 0) return std::nullopt;
    done += got;
  }
  return bytes;
}

}  // namespace wl::undo
