#include "undo/backup_store.h"

#include <windows.h>

#include <cstdio>
#include <utility>

#include "sysroutines/store_folder.h"
#include "undo/capture.h"
#include "undo/reg_file.h"
#include "undo/store_parts.h"
#include "win32/file_path.h"
#include "win32/handles.h"
#include "win32/system_error.h"
#include "win32/unicode.h"

namespace wl::undo {
namespace {

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

void CloseSet(OpenSet& set) {
  set.held.reset();
  set.root.clear();
  set.folder.clear();
  set.manifest = {};
  set.files = 0;
}

// What is about to change, as an item, by the kind of change that records
// the request; ERROR_SUCCESS or why it could not be read (then the write
// must not go ahead).
WriteResult CaptureByKind(CaptureContext& c) {
  WriteResult result;
  const bool known = AnyKind([&c, &result]<class Kind>() {
    if (!Kind::Records(c.request.kind)) return false;
    result = Kind::Capture(c);
    return true;
  });
  // A kind of change no kind records: it is not made rather than made
  // without a backup.
  if (!known) return WriteResult::Failure(ERROR_NOT_SUPPORTED, "this kind of change cannot be backed up");
  return result;
}

// A write its kind need not record (a key made that is there already;
// checked before a folder is made: the immunization lists are made ready
// at every start).
bool SkipsRecording(const WriteRequest& r) {
  return AnyKind([&r]<class Kind>() {
    if constexpr (requires { Kind::SkipsRecording(r); })
      return Kind::Records(r.kind) && Kind::SkipsRecording(r);
    else
      return false;
  });
}

// A write tried again after it failed (a program that has just stopped may
// hold its file a moment longer) takes up the failed record when its kind
// says the backup still serves, rather than backing up once more.
bool RetakeFailedWrite(OpenSet& set, const WriteRequest& r) {
  for (std::size_t i = set.manifest.items.size(); i-- > 0;) {
    BackupItem& item = set.manifest.items[i];
    if (!item.failed) continue;
    const Retake answer = std::visit(
        [&](const auto& change) {
          if constexpr (requires { change.Retakes(r, item.operation, change); })
            return change.Retakes(r, item.operation, change);
          else
            return Retake::NotThis;
        },
        item.change);
    if (answer == Retake::NotThis) continue;
    if (answer == Retake::CopyAgain) return false;  // changed since: a record of its own
    if (AppendToJournal(set, FailedJournalLine(i, false))) return false;
    item.failed = false;
    Pending() = PendingRecord{set.root, set.folder, i};
    return true;
  }
  return false;
}

}  // namespace

WriteResult TargetKey(const std::string& text, HKEY& root, std::string& rootName, std::string& path) {
  if (!SplitKeyText(text, root, rootName, path)) return WriteResult::Failure(ERROR_INVALID_PARAMETER, "unknown root");
  return {};
}

WriteResult NotRead(uint32_t error, const std::string& what) {
  return WriteResult::Failure(error, what + " could not be read: " + win32::SystemErrorText(error));
}

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

WriteResult RecordWrite(const WriteRequest& request) {
  Pending().reset();
  if (SkipsRecording(request)) return {};
  std::optional<ChangeSet> own;
  if (Current().depth == 0) own.emplace("Wardenlake", "Change");
  OpenSet& set = Current();
  if (set.folder.empty()) {
    if (const uint32_t e = MakeSetFolder(set))
      return WriteResult::Failure(e, "the backup folder could not be made: " + win32::SystemErrorText(e));
  }
  if (RetakeFailedWrite(set, request)) return {};
  // A set whose first record fails leaves no folder behind.
  auto dropEmpty = [&set] {
    if (!set.manifest.items.empty() || set.folder.empty()) return;
    set.held.reset();
    DeleteStoreFolder(set.folder, 0, nullptr);
    CloseSet(set);
  };
  CaptureContext capture{request};
  capture.keepCopy = [&set](const std::string& path, FileCopy& copy) { return CopyIntoSet(set, path, copy); };
  WriteResult captured = CaptureByKind(capture);
  if (!captured || capture.changesNothing) {
    dropEmpty();
    return captured;
  }
  std::vector<BackupItem> created = std::move(capture.before);
  created.push_back(std::move(capture.item));
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

}  // namespace wl::undo
