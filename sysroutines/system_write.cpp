#include "sysroutines/system_write.h"

#include <wincrypt.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <algorithm>
#include <map>
#include <set>
#include <memory>
#include <utility>

#include "core/ascii.h"
#include "core/task_definition.h"
#include "core/winsock_catalog.h"
#include "sysroutines/held_path.h"
#include "sysroutines/store_folder.h"
#include "sysroutines/task_service.h"
#include "sysroutines/text_routines.h"
#include "win32/file_path.h"
#include "win32/handles.h"
#include "win32/registry_write.h"
#include "win32/system_error.h"
#include "win32/unicode.h"
#include "win32/wait.h"

namespace wl {
namespace {

using win32::RegKey;
using win32::RegWriteKey;
using win32::RegView;

// "An operation is not supported on a directory." (not in every SDK's headers)
constexpr uint32_t kErrorDirectoryNotSupported = 336;

WriteInterceptor& Interceptor() {
  static WriteInterceptor interceptor;
  return interceptor;
}

std::string Quoted(std::string_view s) { return "\"" + std::string(s) + "\""; }

std::string ValueLabel(std::string_view name) { return name.empty() ? "(Default)" : Quoted(name); }

// "Could not … : reason" for the request.
std::string Describe(const WriteRequest& r) {
  switch (r.kind) {
    case WriteKind::DeleteRegValue: return "Could not delete the value " + ValueLabel(r.name) + " of " + r.target;
    case WriteKind::DeleteRegTree: return "Could not delete the key " + r.target;
    case WriteKind::CreateRegKey: return "Could not create the key " + r.target;
    case WriteKind::WriteRegValue: return "Could not write the value " + ValueLabel(r.name) + " of " + r.target;
    case WriteKind::WriteIniValue: return "Could not write the entry " + Quoted(r.name) + " of " + r.target;
    case WriteKind::DeleteIniValue: return "Could not delete the entry " + Quoted(r.name) + " of " + r.target;
    case WriteKind::RecycleFile: return "Could not move " + r.target + " to the Recycle Bin";
    case WriteKind::DeleteFile: return "Could not delete " + r.target;
    case WriteKind::PlaceFile: return "Could not put back " + r.target;
    case WriteKind::CreateService: return "Could not create the service " + r.target;
    case WriteKind::UnregisterServer: return "Could not unregister " + r.target;
    case WriteKind::RunUninstaller: return "Could not start " + r.target;
    case WriteKind::DeleteTask: return "Could not delete the scheduled task " + r.target;
    case WriteKind::DisableTask: return "Could not disable the scheduled task " + r.target;
    case WriteKind::WriteShortcut: return "Could not change the shortcut " + r.target;
    case WriteKind::DeleteService: return "Could not remove the service " + r.target;
    case WriteKind::EnableTask: return "Could not enable the scheduled task " + r.target;
    case WriteKind::RegisterTask: return "Could not register the scheduled task " + r.target;
    case WriteKind::RewriteFile: return "Could not change the file " + r.target;
    case WriteKind::DeleteCertificate: return "Could not delete the certificate " + r.name + " from " + r.target;
    case WriteKind::AddCertificate: return "Could not add the certificate " + r.name + " to " + r.target;
    case WriteKind::RemoveWinsockProvider: return "Could not remove the Winsock provider " + r.name + " from " + r.target;
    case WriteKind::InstallWinsockProvider: return "Could not install the Winsock provider " + r.name + " into " + r.target;
    case WriteKind::DeleteWmiInstance: return "Could not delete the WMI instance " + r.name + " of " + r.target;
    case WriteKind::CreateWmiInstance: return "Could not create the WMI instance " + r.name + " in " + r.target;
    case WriteKind::CancelTransferJob: return "Could not cancel the transfer job " + r.target;
    case WriteKind::CreateFolder: return "Could not make the folder " + r.target;
    case WriteKind::DeleteFolder: return "Could not delete the folder " + r.target;
    case WriteKind::Count: break;
  }
  return "Could not change " + r.target;
}

WriteRecorder& Recorder() {
  static WriteRecorder recorder;
  return recorder;
}

WriteFailureRecorder& FailureRecorder() {
  static WriteFailureRecorder recorder;
  return recorder;
}

// The request the recorder has just recorded, until its write ends: a
// failure is then told to the recorder.
const WriteRequest*& Pending() {
  static const WriteRequest* pending = nullptr;
  return pending;
}

WriteResult Failure(const WriteRequest& r, uint32_t error, std::string reason = {}) {
  WriteResult result;
  result.error = error == ERROR_SUCCESS ? ERROR_GEN_FAILURE : error;
  if (reason.empty())
    reason = (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) ? "it does not exist."
                                                                              : win32::SystemErrorText(result.error);
  result.message = Describe(r) + ": " + reason;
  if (Pending() == &r) {
    Pending() = nullptr;
    if (FailureRecorder()) FailureRecorder()(r, result);
  }
  return result;
}

// A failure after the change was made (a file put back whose times could
// not be set): the record stays as it is.
WriteResult FailureAfterChange(const WriteRequest& r, uint32_t error, std::string reason) {
  Pending() = nullptr;
  return Failure(r, error, std::move(reason));
}

WriteResult Done() {
  Pending() = nullptr;
  return {};
}

// The interceptor's answer, when it refuses the request; then the recorder's,
// when it could not record what the request is about to change.
std::optional<WriteResult> Intercepted(const WriteRequest& r) {
  Pending() = nullptr;
  const auto& interceptor = Interceptor();
  if (interceptor) {
    const uint32_t error = interceptor(r);
    if (error != ERROR_SUCCESS) return Failure(r, error);
  }
  static bool recording = false;
  if (!Recorder() || recording) return std::nullopt;
  recording = true;
  WriteResult recorded;
  try {
    recorded = Recorder()(r);
  } catch (const std::exception& e) {
    recorded.error = ERROR_GEN_FAILURE;
    recorded.message = e.what();
  }
  recording = false;
  if (recorded.ok()) {
    Pending() = &r;
    return std::nullopt;
  }
  return Failure(r, recorded.error,
                 "its backup could not be written (" + recorded.message + "); nothing was changed.");
}

// The key path with empty parts dropped, and how many parts it has.
std::string CleanKeyPath(std::string_view keyPath, std::size_t* parts = nullptr) {
  std::string out;
  std::size_t count = 0;
  for (const auto& part : SplitText(keyPath, "\\")) {
    if (part.empty()) continue;
    if (!out.empty()) out += '\\';
    out += part;
    ++count;
  }
  if (parts) *parts = count;
  return out;
}

std::string KeyText(HKEY root, const std::string& cleanPath) {
  std::string text = win32::RootName(root);
  if (text.empty()) text = "(unknown root)";
  if (!cleanPath.empty()) text += "\\" + cleanPath;
  return text;
}

WriteResult WriteValue(HKEY root, std::string_view keyPath, std::string_view valueName, DWORD type,
                       const BYTE* data, std::size_t size, RegView view) {
  const std::string path = CleanKeyPath(keyPath);
  WriteRequest request{WriteKind::WriteRegValue, KeyText(root, path), std::string(valueName)};
  if (size > 0xFFFFFFFFu) return Failure(request, ERROR_INVALID_PARAMETER, "the data is too large.");
  request.view = view;
  request.type = type;
  if (size) request.data.assign(data, data + size);
  if (auto refused = Intercepted(request)) return *refused;
  LONG rc = ERROR_SUCCESS;
  auto key = RegWriteKey::Create(root, path, KEY_SET_VALUE, view, &rc);
  if (!key) return Failure(request, static_cast<uint32_t>(rc));
  rc = RegSetValueExW(key->get(), win32::Widen(valueName).c_str(), 0, type, data, static_cast<DWORD>(size));
  return rc == ERROR_SUCCESS ? Done() : Failure(request, static_cast<uint32_t>(rc));
}

// The checks every file change makes before touching anything.
std::optional<WriteResult> CheckFilePath(const WriteRequest& r, std::string_view path) {
  if (TrimUpToChar(path, ' ').empty()) return Failure(r, ERROR_INVALID_PARAMETER, "no file was named.");
  std::string_view body = path;
  if (body.starts_with("\\\\?\\")) body.remove_prefix(4);
  if (body.find_first_of("*?") != std::string_view::npos)
    return Failure(r, ERROR_INVALID_NAME, "the name contains a wildcard.");
  if (!IsFullPath(path)) return Failure(r, ERROR_INVALID_NAME, "it is not a full path.");
  const DWORD attributes = win32::FileAttributes(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    return Failure(r, error == ERROR_SUCCESS ? ERROR_FILE_NOT_FOUND : error);
  }
  if (attributes & FILE_ATTRIBUTE_DIRECTORY)
    return Failure(r, kErrorDirectoryNotSupported, "it is a folder, not a file.");
  return std::nullopt;
}

// The shell's answer to a file operation as a Win32 error code.
uint32_t ShellOperationError(int rc) {
  switch (rc) {
    case 0x78:  // access denied at the source
      return ERROR_ACCESS_DENIED;
    case 0x7C:  // invalid files
      return ERROR_FILE_NOT_FOUND;
    case 0x4C7:  // cancelled
    case 0x75:
      return ERROR_CANCELLED;
    default:
      // Below the shell's own codes the answer is a Win32 error code.
      return (rc > 0 && rc < 0x71) ? static_cast<uint32_t>(rc) : ERROR_GEN_FAILURE;
  }
}

// The Win32 error code within a service's HRESULT, else the HRESULT itself.
uint32_t ErrorOf(HRESULT hr) {
  return HRESULT_FACILITY(hr) == FACILITY_WIN32 ? static_cast<uint32_t>(HRESULT_CODE(hr)) : static_cast<uint32_t>(hr);
}

// Connects to the task service for a change; the failure when it cannot.
std::optional<WriteResult> ConnectFor(const WriteRequest& r, win32::ComPtr<ITaskService>& service) {
  std::string error;
  if (ConnectTaskService(service, error)) return std::nullopt;
  return Failure(r, ERROR_SERVICE_NOT_ACTIVE, error);
}

// The checks every task change makes before touching anything.
std::optional<WriteResult> CheckTaskPath(const WriteRequest& r, std::string_view taskPath) {
  if (taskPath.size() < 2 || taskPath.front() != '\\' || taskPath.back() == '\\')
    return Failure(r, ERROR_INVALID_NAME, "it is not a task path.");
  return std::nullopt;
}

}  // namespace

ScopedWriteInterceptor::ScopedWriteInterceptor(WriteInterceptor interceptor)
    : previous_(std::exchange(Interceptor(), std::move(interceptor))) {}

ScopedWriteInterceptor::~ScopedWriteInterceptor() { Interceptor() = std::move(previous_); }

ScopedWriteRecorder::ScopedWriteRecorder(WriteRecorder recorder, WriteFailureRecorder failed)
    : previous_(std::exchange(Recorder(), std::move(recorder))),
      previousFailed_(std::exchange(FailureRecorder(), std::move(failed))) {}

ScopedWriteRecorder::~ScopedWriteRecorder() {
  Recorder() = std::move(previous_);
  FailureRecorder() = std::move(previousFailed_);
}

std::string_view WriteKindName(WriteKind kind) {
  switch (kind) {
    case WriteKind::DeleteRegValue: return "DeleteRegValue";
    case WriteKind::DeleteRegTree: return "DeleteRegTree";
    case WriteKind::CreateRegKey: return "CreateRegKey";
    case WriteKind::WriteRegValue: return "WriteRegValue";
    case WriteKind::WriteIniValue: return "WriteIniValue";
    case WriteKind::DeleteIniValue: return "DeleteIniValue";
    case WriteKind::RecycleFile: return "RecycleFile";
    case WriteKind::DeleteFile: return "DeleteFile";
    case WriteKind::PlaceFile: return "PlaceFile";
    case WriteKind::CreateService: return "CreateService";
    case WriteKind::UnregisterServer: return "UnregisterServer";
    case WriteKind::RunUninstaller: return "RunUninstaller";
    case WriteKind::DeleteTask: return "DeleteTask";
    case WriteKind::DisableTask: return "DisableTask";
    case WriteKind::WriteShortcut: return "WriteShortcut";
    case WriteKind::DeleteService: return "DeleteService";
    case WriteKind::EnableTask: return "EnableTask";
    case WriteKind::RegisterTask: return "RegisterTask";
    case WriteKind::RewriteFile: return "RewriteFile";
    case WriteKind::DeleteCertificate: return "DeleteCertificate";
    case WriteKind::AddCertificate: return "AddCertificate";
    case WriteKind::RemoveWinsockProvider: return "RemoveWinsockProvider";
    case WriteKind::InstallWinsockProvider: return "InstallWinsockProvider";
    case WriteKind::DeleteWmiInstance: return "DeleteWmiInstance";
    case WriteKind::CreateWmiInstance: return "CreateWmiInstance";
    case WriteKind::CancelTransferJob: return "CancelTransferJob";
    case WriteKind::CreateFolder: return "CreateFolder";
    case WriteKind::DeleteFolder: return "DeleteFolder";
    case WriteKind::Count: break;
  }
  return "";
}

WriteResult DeleteRegValue(HKEY root, std::string_view keyPath, std::string_view valueName, RegView view) {
  const std::string path = CleanKeyPath(keyPath);
  WriteRequest request{WriteKind::DeleteRegValue, KeyText(root, path), std::string(valueName)};
  request.view = view;
  if (auto refused = Intercepted(request)) return *refused;
  LONG rc = ERROR_SUCCESS;
  auto key = RegWriteKey::Open(root, path, KEY_QUERY_VALUE | KEY_SET_VALUE, view, &rc);
  if (!key) return Failure(request, static_cast<uint32_t>(rc));
  rc = key->DeleteValue(std::string(valueName));
  return rc == ERROR_SUCCESS ? Done() : Failure(request, static_cast<uint32_t>(rc));
}

WriteResult DeleteRegTree(HKEY root, std::string_view keyPath, RegView view) {
  std::size_t parts = 0;
  const std::string path = CleanKeyPath(keyPath, &parts);
  WriteRequest request{WriteKind::DeleteRegTree, KeyText(root, path), {}};
  request.view = view;
  if (parts < 2) return Failure(request, ERROR_INVALID_PARAMETER, "a top-level key is never deleted.");
  if (auto refused = Intercepted(request)) return *refused;
  const LONG rc = RegWriteKey::DeleteTree(root, path, view);
  return rc == ERROR_SUCCESS ? Done() : Failure(request, static_cast<uint32_t>(rc));
}

WriteResult CreateRegKey(HKEY root, std::string_view keyPath, RegView view) {
  const std::string path = CleanKeyPath(keyPath);
  WriteRequest request{WriteKind::CreateRegKey, KeyText(root, path), {}};
  request.view = view;
  if (path.empty()) return Failure(request, ERROR_INVALID_PARAMETER, "no key was named.");
  if (auto refused = Intercepted(request)) return *refused;
  LONG rc = ERROR_SUCCESS;
  auto key = RegWriteKey::Create(root, path, KEY_READ, view, &rc);
  return key ? Done() : Failure(request, static_cast<uint32_t>(rc));
}

WriteResult DeleteEmptyRegKey(HKEY root, std::string_view keyPath, RegView view) {
  const std::string path = CleanKeyPath(keyPath);
  WriteRequest request{WriteKind::DeleteRegTree, KeyText(root, path), {}};
  request.view = view;
  if (path.empty()) return Failure(request, ERROR_INVALID_PARAMETER, "no key was named.");
  LONG rc = ERROR_SUCCESS;
  auto key = RegKey::Open(root, path, KEY_READ, view, &rc);
  if (!key) return Failure(request, static_cast<uint32_t>(rc));
  DWORD subKeys = 0, values = 0;
  rc = RegQueryInfoKeyW(key->get(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr, nullptr,
                        nullptr, nullptr);
  if (rc != ERROR_SUCCESS) return Failure(request, static_cast<uint32_t>(rc));
  if (subKeys || values) return Failure(request, ERROR_DIR_NOT_EMPTY, "the key is not empty.");
  key.reset();
  if (auto refused = Intercepted(request)) return *refused;
  rc = RegDeleteKeyExW(root, win32::Widen(path).c_str(), win32::RegViewFlag(view), 0);
  return rc == ERROR_SUCCESS ? Done() : Failure(request, static_cast<uint32_t>(rc));
}

WriteResult WriteRegString(HKEY root, std::string_view keyPath, std::string_view valueName, std::string_view value,
                           DWORD type, RegView view) {
  const std::wstring w = win32::Widen(value);
  return WriteValue(root, keyPath, valueName, type, reinterpret_cast<const BYTE*>(w.c_str()),
                    (w.size() + 1) * sizeof(wchar_t), view);
}

WriteResult WriteRegDword(HKEY root, std::string_view keyPath, std::string_view valueName, uint32_t value,
                          RegView view) {
  return WriteValue(root, keyPath, valueName, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value, view);
}

WriteResult WriteRegData(HKEY root, std::string_view keyPath, std::string_view valueName, DWORD type,
                         const std::vector<uint8_t>& data, RegView view) {
  return WriteValue(root, keyPath, valueName, type, data.data(), data.size(), view);
}

WriteResult DeleteRegistryValuePath(std::string_view keyPathText, std::string_view valueName, RegView view) {
  const std::string rootName = TextBeforeChar(std::string(keyPathText) + "\\", '\\');
  HKEY root = nullptr;
  if (EqualsNoCase(rootName, "HKEY_CURRENT_USER")) root = HKEY_CURRENT_USER;
  if (EqualsNoCase(rootName, "HKEY_LOCAL_MACHINE")) root = HKEY_LOCAL_MACHINE;
  if (!root) {
    const WriteRequest request{WriteKind::DeleteRegValue, std::string(keyPathText), std::string(valueName)};
    return Failure(request, ERROR_INVALID_PARAMETER,
                   "only values under HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE are deleted.");
  }
  return DeleteRegValue(root, keyPathText.substr(rootName.size()), valueName, view);
}

namespace {

// The way to a file a change acts on, held; links on the way refused with
// administrative rights.
HeldPath HoldWayTo(std::string_view path) { return HeldPath::Open(path, RunsElevated()); }

// Opens the file at the end of the way, held against being renamed or put
// aside while it is backed up and changed: opened with a right the system
// counts in its share checks (reading, or deleting), its share mode gives
// others no right to delete (nor, where that can be had, to write). A file
// that a running program holds open for writing is opened with that right
// shared.
win32::UniqueHfile OpenHeldFile(HeldPath& way, ACCESS_MASK access, bool shareWrite = false) {
  win32::UniqueHfile file = way.OpenFile(access, FILE_SHARE_READ | (shareWrite ? FILE_SHARE_WRITE : 0), FILE_OPEN);
  if (!file && !shareWrite && way.Error() == ERROR_SHARING_VIOLATION) {
    way = HoldWayTo(way.FinalPath());
    if (way.ok()) file = way.OpenFile(access, FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_OPEN);
  }
  return file;
}

// An INI file's way (the file may be missing: the system makes it).
std::optional<WriteResult> HoldIniWay(const WriteRequest& r, std::string_view iniPath, std::optional<HeldPath>& way,
                                      win32::UniqueHfile& file) {
  way.emplace(HoldWayTo(iniPath));
  if (!way->ok()) return Failure(r, way->Error(), way->Reason());
  if (!way->Missing().empty()) return Failure(r, ERROR_PATH_NOT_FOUND, "its folder does not exist.");
  if (win32::FileAttributes(way->FinalPath()) == INVALID_FILE_ATTRIBUTES) return std::nullopt;
  // Checked; the system's profile routines open it for themselves, so only
  // its folder is held besides.
  file = way->OpenFile(FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_OPEN);
  if (!file) return Failure(r, way->Error(), way->Reason());
  return std::nullopt;
}

}  // namespace

WriteResult WriteIniValue(std::string_view iniPath, std::string_view section, std::string_view key,
                          std::string_view value) {
  WriteRequest request{WriteKind::WriteIniValue, std::string(iniPath),
                       std::string(section) + "\\" + std::string(key)};
  request.section = section;
  request.entry = key;
  request.text = std::string(value);
  if (!IsFullPath(iniPath)) return Failure(request, ERROR_INVALID_NAME, "it is not a full path.");
  if (section.empty() || key.empty()) return Failure(request, ERROR_INVALID_PARAMETER, "no entry was named.");
  std::optional<HeldPath> way;
  win32::UniqueHfile held;
  if (auto refused = HoldIniWay(request, iniPath, way, held)) return *refused;
  if (auto refused = Intercepted(request)) return *refused;
  SetLastError(ERROR_SUCCESS);
  if (WritePrivateProfileStringW(win32::Widen(section).c_str(), win32::Widen(key).c_str(),
                                 win32::Widen(value).c_str(), win32::ApiPath(way->FinalPath()).c_str()))
    return Done();
  return Failure(request, GetLastError());
}

WriteResult DeleteIniValue(std::string_view iniPath, std::string_view section, std::string_view key) {
  WriteRequest request{WriteKind::DeleteIniValue, std::string(iniPath),
                       std::string(section) + "\\" + std::string(key)};
  request.section = section;
  request.entry = key;
  if (!IsFullPath(iniPath)) return Failure(request, ERROR_INVALID_NAME, "it is not a full path.");
  // An empty key would make the system delete the whole section.
  if (section.empty() || key.empty()) return Failure(request, ERROR_INVALID_PARAMETER, "no entry was named.");
  std::optional<HeldPath> way;
  win32::UniqueHfile held;
  if (auto refused = HoldIniWay(request, iniPath, way, held)) return *refused;
  if (auto refused = Intercepted(request)) return *refused;
  SetLastError(ERROR_SUCCESS);
  if (WritePrivateProfileStringW(win32::Widen(section).c_str(), win32::Widen(key).c_str(), nullptr,
                                 win32::ApiPath(way->FinalPath()).c_str()))
    return Done();
  return Failure(request, GetLastError());
}

WriteResult RecycleFile(std::string_view path) {
  const WriteRequest request{WriteKind::RecycleFile, std::string(path), {}};
  if (auto refused = CheckFilePath(request, path)) return *refused;
  HeldPath way = HoldWayTo(path);
  win32::UniqueHfile file = OpenHeldFile(way, FILE_READ_DATA);
  if (!file) return Failure(request, way.Error(), way.Reason());
  const std::string final = way.FinalPath();

  // The shell takes neither the "\\?\" form nor paths of MAX_PATH characters
  // or more; such a file goes by its 8.3 name when it has a short enough one.
  std::wstring from = win32::Widen(final);
  if (from.size() >= MAX_PATH) {
    from = win32::Widen(win32::ShortPath(final));
    if (from.empty() || from.size() >= MAX_PATH)
      return Failure(request, ERROR_FILENAME_EXCED_RANGE, "the path is too long for the Recycle Bin.");
  }
  if (auto refused = Intercepted(request)) return *refused;
  // Where there is no Recycle Bin the shell would delete the file for good;
  // leave it in place and say so instead.
  SHQUERYRBINFO bin{};
  bin.cbSize = sizeof bin;
  if (FAILED(SHQueryRecycleBinW(from.c_str(), &bin)))
    return Failure(request, ERROR_NOT_SUPPORTED, "there is no Recycle Bin for it; the file was left in place.");
  from.push_back(L'\0');  // the list of names ends with a second zero

  // The shell moves the file by its name, in the folder that stays held
  // (no link can be put on the way meanwhile); the file itself is let go
  // for the move.
  file.reset();
  SHFILEOPSTRUCTW op{};
  op.wFunc = FO_DELETE;
  op.pFrom = from.c_str();
  op.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT | FOF_WANTNUKEWARNING;
  const int rc = SHFileOperationW(&op);
  if (rc != 0) return Failure(request, ShellOperationError(rc));
  if (op.fAnyOperationsAborted) return Failure(request, ERROR_CANCELLED);
  if (win32::FileAttributes(final) != INVALID_FILE_ATTRIBUTES)
    return Failure(request, ERROR_GEN_FAILURE, "the file is still there.");
  return Done();
}

WriteResult DeleteFileNow(std::string_view path) {
  const WriteRequest request{WriteKind::DeleteFile, std::string(path), {}};
  if (auto refused = CheckFilePath(request, path)) return *refused;
  HeldPath way = HoldWayTo(path);
  // Opened for deletion and held: the file backed up is the file deleted.
  win32::UniqueHfile file = OpenHeldFile(way, DELETE);
  if (!file) return Failure(request, way.Error(), way.Reason());
  if (auto refused = Intercepted(request)) return *refused;
  FILE_DISPOSITION_INFO gone{TRUE};
  if (!SetFileInformationByHandle(file.get(), FileDispositionInfo, &gone, sizeof gone))
    return Failure(request, GetLastError());
  return Done();
}

WriteResult RewriteFile(std::string_view path, std::string_view bytes, std::optional<bool> readOnly) {
  WriteRequest request{WriteKind::RewriteFile, std::string(path), {}};
  request.data.assign(bytes.begin(), bytes.end());
  if (auto refused = CheckFilePath(request, path)) return *refused;
  HeldPath way = HoldWayTo(path);
  win32::UniqueHfile file = OpenHeldFile(way, FILE_READ_DATA);
  if (!file) return Failure(request, way.Error(), way.Reason());
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(file.get(), &info)) return Failure(request, GetLastError());
  const DWORD attributes = info.dwFileAttributes;
  const bool wasReadOnly = attributes & FILE_ATTRIBUTE_READONLY;
  const bool readOnlyAfter = readOnly.value_or(wasReadOnly);
  if (auto refused = Intercepted(request)) return *refused;
  const std::string final = way.FinalPath();
  // The new bytes go into a new file made inside the held folder.
  const std::string freshName =
      "~wl" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount64()) + ".tmp";
  const std::string fresh = way.FolderPath() + (way.FolderPath().back() == '\\' ? "" : "\\") + freshName;
  {
    win32::UniqueHfile out = way.OpenSibling(freshName, GENERIC_WRITE | DELETE, 0, FILE_CREATE, 0,
                                             FILE_ATTRIBUTE_TEMPORARY);
    if (!out) return Failure(request, way.Error(), "no new file can be made beside it: " + way.Reason());
    auto abandon = [&](DWORD e) {
      FILE_DISPOSITION_INFO gone{TRUE};
      SetFileInformationByHandle(out.get(), FileDispositionInfo, &gone, sizeof gone);
      out.reset();
      return Failure(request, e ? e : ERROR_WRITE_FAULT);
    };
    std::size_t done = 0;
    while (done < bytes.size()) {
      const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
      DWORD wrote = 0;
      if (!WriteFile(out.get(), bytes.data() + done, chunk, &wrote, nullptr) || wrote == 0) return abandon(GetLastError());
      done += wrote;
    }
    if (!FlushFileBuffers(out.get())) return abandon(GetLastError());
  }
  // The replacement renames the file: it is let go; its folder stays held.
  file.reset();
  // The file replacement refuses a read-only file: the attribute is off
  // for the replacement only.
  const std::wstring apiPath = win32::ApiPath(final);
  if (wasReadOnly && !SetFileAttributesW(apiPath.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY)) {
    const DWORD e = GetLastError();
    DeleteFileW(win32::ApiPath(fresh).c_str());
    return Failure(request, e, "the file is read-only (FILE_ATTRIBUTE_READONLY), and the attribute cannot be cleared: " +
                                   win32::SystemErrorText(e));
  }
  if (!ReplaceFileW(apiPath.c_str(), win32::ApiPath(fresh).c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                    nullptr)) {
    const DWORD e = GetLastError();
    DeleteFileW(win32::ApiPath(fresh).c_str());
    if (wasReadOnly) SetFileAttributesW(apiPath.c_str(), attributes);
    return Failure(request, e);
  }
  // The replacement took the file's attributes (as they were during it).
  const DWORD now = GetFileAttributesW(apiPath.c_str());
  if (now != INVALID_FILE_ATTRIBUTES && ((now & FILE_ATTRIBUTE_READONLY) != 0) != readOnlyAfter) {
    const DWORD wanted = readOnlyAfter ? now | FILE_ATTRIBUTE_READONLY : now & ~FILE_ATTRIBUTE_READONLY;
    if (!SetFileAttributesW(apiPath.c_str(), wanted))
      return FailureAfterChange(request, GetLastError(),
                                std::string("the new bytes are in place, but its read-only attribute could not be ") +
                                    (readOnlyAfter ? "put back." : "cleared."));
  }
  return Done();
}

namespace {

struct StoreCloser {
  void operator()(HCERTSTORE s) const { CertCloseStore(s, 0); }
};
using UniqueCertStore = std::unique_ptr<void, StoreCloser>;
struct CertFreer {
  void operator()(PCCERT_CONTEXT c) const { CertFreeCertificateContext(c); }
};
using UniqueCert = std::unique_ptr<const CERT_CONTEXT, CertFreer>;

// "LocalMachine\ROOT" -> the location flag and "ROOT"; 0 for an unknown location.
DWORD StoreLocation(std::string_view store, std::wstring& name) {
  const auto slash = store.find('\\');
  if (slash == std::string_view::npos || slash + 1 >= store.size()) return 0;
  std::string location(store.substr(0, slash));
  for (char& c : location)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  name = win32::Widen(store.substr(slash + 1));
  if (location == "localmachine") return CERT_SYSTEM_STORE_LOCAL_MACHINE;
  if (location == "currentuser") return CERT_SYSTEM_STORE_CURRENT_USER;
  if (location == "localmachinegrouppolicy") return CERT_SYSTEM_STORE_LOCAL_MACHINE_GROUP_POLICY;
  if (location == "localmachineenterprise") return CERT_SYSTEM_STORE_LOCAL_MACHINE_ENTERPRISE;
  if (location == "currentusergrouppolicy") return CERT_SYSTEM_STORE_CURRENT_USER_GROUP_POLICY;
  return 0;
}

UniqueCertStore OpenCertStore(std::string_view store, bool write, DWORD& error) {
  std::wstring name;
  const DWORD location = StoreLocation(store, name);
  if (!location) {
    error = ERROR_INVALID_PARAMETER;
    return nullptr;
  }
  // Reading never makes a store; adding to one that was never used does.
  const DWORD flags = location | (write ? 0 : CERT_STORE_OPEN_EXISTING_FLAG | CERT_STORE_READONLY_FLAG);
  // The store's own registry part, not the collection the system store is
  // (the user's ROOT shows the machine's roots too): what is added or
  // deleted there stays so.
  UniqueCertStore s(CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_W, 0, 0, flags, name.c_str()));
  error = s ? ERROR_SUCCESS : GetLastError();
  return s;
}

std::vector<uint8_t> HashBytes(std::string_view hex) {
  std::vector<uint8_t> out;
  auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    const int hi = digit(hex[i]), lo = digit(hex[i + 1]);
    if (hi < 0 || lo < 0) return {};
    out.push_back(static_cast<uint8_t>(hi * 16 + lo));
  }
  return out.size() == 20 ? out : std::vector<uint8_t>{};
}

UniqueCert FindBySha1(HCERTSTORE store, std::string_view sha1) {
  std::vector<uint8_t> hash = HashBytes(sha1);
  if (hash.empty()) return nullptr;
  CRYPT_HASH_BLOB blob{static_cast<DWORD>(hash.size()), hash.data()};
  return UniqueCert(CertFindCertificateInStore(store, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0, CERT_FIND_SHA1_HASH,
                                               &blob, nullptr));
}

std::string Sha1Of(const uint8_t* data, DWORD size) {
  BYTE hash[20];
  DWORD n = sizeof hash;
  if (!CryptHashCertificate(0, CALG_SHA1, 0, data, size, hash, &n) || n != 20) return {};
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (BYTE b : hash) {
    out += hex[b >> 4];
    out += hex[b & 15];
  }
  return out;
}

}  // namespace

std::optional<bool> CertificateInStore(std::string_view store, std::string_view sha1) {
  DWORD error = 0;
  const UniqueCertStore s = OpenCertStore(store, false, error);
  if (!s && (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)) return false;  // a store never used
  if (!s) return std::nullopt;
  return FindBySha1(s.get(), sha1) != nullptr;
}

std::vector<uint8_t> ElementOf(PCCERT_CONTEXT cert) {
  std::vector<uint8_t> out;
  DWORD size = 0;
  if (CertSerializeCertificateStoreElement(cert, 0, nullptr, &size) && size) {
    out.resize(size);
    if (!CertSerializeCertificateStoreElement(cert, 0, out.data(), &size)) size = 0;
    out.resize(size);
  }
  if (out.empty()) out.assign(cert->pbCertEncoded, cert->pbCertEncoded + cert->cbCertEncoded);
  return out;
}

std::optional<std::vector<uint8_t>> CertificateElement(std::string_view store, std::string_view sha1) {
  DWORD error = 0;
  const UniqueCertStore s = OpenCertStore(store, false, error);
  if (!s) return std::nullopt;
  const UniqueCert cert = FindBySha1(s.get(), sha1);
  if (!cert) return std::nullopt;
  return ElementOf(cert.get());
}

WriteResult DeleteCertificate(std::string_view store, std::string_view sha1) {
  WriteRequest request{WriteKind::DeleteCertificate, std::string(store), std::string(sha1)};
  DWORD error = 0;
  if (CertificateInStore(store, sha1) == false) return Failure(request, ERROR_FILE_NOT_FOUND, "it is not in the store.");
  const UniqueCertStore s = OpenCertStore(store, true, error);
  if (!s) return Failure(request, error, "the store cannot be opened.");
  UniqueCert cert = FindBySha1(s.get(), sha1);
  if (!cert) return Failure(request, ERROR_FILE_NOT_FOUND, "it is not in the store.");
  // What a backup needs to put it back: the store's element (the
  // certificate with its properties), else the certificate alone.
  request.data = ElementOf(cert.get());
  if (auto refused = Intercepted(request)) return *refused;
  // The deletion frees the context it is given.
  if (!CertDeleteCertificateFromStore(cert.release())) return Failure(request, GetLastError());
  return Done();
}

WriteResult AddCertificate(std::string_view store, const std::vector<uint8_t>& bytes) {
  WriteRequest request{WriteKind::AddCertificate, std::string(store), {}};
  request.data = bytes;
  // The thumbprint: of the element's certificate, or of the bytes themselves.
  PCCERT_CONTEXT parsed = nullptr;
  UniqueCertStore memory(CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr));
  if (memory && !bytes.empty()) {
    const void* context = nullptr;
    DWORD type = 0;
    if (CertAddSerializedElementToStore(memory.get(), bytes.data(), static_cast<DWORD>(bytes.size()),
                                        CERT_STORE_ADD_ALWAYS, 0, CERT_STORE_CERTIFICATE_CONTEXT_FLAG, &type,
                                        &context) &&
        type == CERT_STORE_CERTIFICATE_CONTEXT) {
      parsed = static_cast<PCCERT_CONTEXT>(context);
    }
    if (!parsed)
      parsed = CertCreateCertificateContext(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, bytes.data(),
                                            static_cast<DWORD>(bytes.size()));
  }
  const UniqueCert cert(parsed);
  if (cert) request.name = Sha1Of(cert->pbCertEncoded, cert->cbCertEncoded);
  if (!cert || request.name.empty()) return Failure(request, ERROR_INVALID_DATA, "the bytes are not a certificate.");
  DWORD error = 0;
  const UniqueCertStore s = OpenCertStore(store, true, error);
  if (!s) return Failure(request, error, "the store cannot be opened.");
  if (auto refused = Intercepted(request)) return *refused;
  BOOL added = CertAddSerializedElementToStore(s.get(), bytes.data(), static_cast<DWORD>(bytes.size()),
                                               CERT_STORE_ADD_REPLACE_EXISTING, 0, CERT_STORE_CERTIFICATE_CONTEXT_FLAG,
                                               nullptr, nullptr);
  if (!added)
    added = CertAddEncodedCertificateToStore(s.get(), X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, cert->pbCertEncoded,
                                             cert->cbCertEncoded, CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
  if (!added) return Failure(request, GetLastError());
  return Done();
}

WriteResult DeleteWmiInstance(std::string_view wmiNamespace, std::string_view path) {
  const WriteRequest request{WriteKind::DeleteWmiInstance, std::string(wmiNamespace), std::string(path)};
  if (path.empty()) return Failure(request, ERROR_INVALID_NAME, "it names no instance.");
  WmiInstance before;
  if (const uint32_t e = WmiStore().Get(wmiNamespace, path, before)) return Failure(request, e);
  if (auto refused = Intercepted(request)) return *refused;
  if (const uint32_t e = WmiStore().Delete(wmiNamespace, path)) return Failure(request, e);
  return Done();
}

WriteResult CreateWmiInstance(std::string_view wmiNamespace, const WmiInstance& instance) {
  WriteRequest request{WriteKind::CreateWmiInstance, std::string(wmiNamespace), instance.path};
  request.text = WmiInstanceText(instance);
  if (instance.className.empty() || instance.path.empty())
    return Failure(request, ERROR_INVALID_DATA, "it names no class or path.");
  WmiInstance there;
  const uint32_t found = WmiStore().Get(wmiNamespace, instance.path, there);
  if (found == ERROR_SUCCESS) return Failure(request, ERROR_ALREADY_EXISTS, "one of that path is there.");
  if (found != ERROR_FILE_NOT_FOUND) return Failure(request, found);
  if (auto refused = Intercepted(request)) return *refused;
  if (const uint32_t e = WmiStore().Create(wmiNamespace, instance)) return Failure(request, e);
  return Done();
}

WriteResult CancelTransferJob(std::string_view id) {
  const WriteRequest request{WriteKind::CancelTransferJob, std::string(id), {}};
  TransferJob job;
  if (const uint32_t e = TransferJobs().Get(id, job)) return Failure(request, e);
  if (auto refused = Intercepted(request)) return *refused;
  if (const uint32_t e = TransferJobs().Cancel(id)) return Failure(request, e);
  return Done();
}

WriteResult PlaceFile(std::string_view preparedPath, std::string_view path, const FileStamp& stamp) {
  WriteRequest request{WriteKind::PlaceFile, std::string(path), {}};
  request.source = preparedPath;
  if (!IsFullPath(path) || !IsFullPath(preparedPath))
    return Failure(request, ERROR_INVALID_NAME, "it is not a full path.");
  if (win32::FileAttributes(path) != INVALID_FILE_ATTRIBUTES)
    return Failure(request, ERROR_FILE_EXISTS, "something of that name is there already.");
  win32::UniqueHfile source(CreateFileW(win32::ApiPath(preparedPath).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!source) return Failure(request, GetLastError(), "the prepared file cannot be read.");
  // The folders on the way, from the top down, opened each inside the one
  // before and held open (none can be swapped for a link meanwhile).
  HeldPath way = HoldWayTo(path);
  if (!way.ok()) return Failure(request, way.Error(), way.Reason());
  // The folders to make are recorded before anything is made, then the file.
  std::vector<WriteRequest> folders;
  for (const std::string& folder : way.Missing()) folders.push_back({WriteKind::CreateFolder, folder, {}});
  for (const WriteRequest& folder : folders)
    if (auto refused = Intercepted(folder)) return Failure(request, refused->error, refused->message);
  if (auto refused = Intercepted(request)) return *refused;
  std::vector<std::string> made;
  if (!way.MakeMissing(made)) return Failure(request, way.Error(), way.Reason());
  // Made anew inside the held folder: it gets the security its folder gives
  // new files. Nothing of that name may be there, a link included.
  win32::UniqueHfile out =
      way.OpenFile(GENERIC_WRITE | FILE_WRITE_ATTRIBUTES | DELETE, 0, FILE_CREATE, 0, FILE_ATTRIBUTE_NORMAL);
  if (!out) return Failure(request, way.Error(), way.Reason());
  auto abandon = [&](uint32_t error, std::string reason) {
    FILE_DISPOSITION_INFO gone{TRUE};
    SetFileInformationByHandle(out.get(), FileDispositionInfo, &gone, sizeof gone);
    out.reset();
    return Failure(request, error ? error : ERROR_WRITE_FAULT, std::move(reason));
  };
  // Between the check of its folder and the write, the folder may have been
  // turned into a mount point by someone allowed to change its attributes:
  // looked at again before the bytes go in.
  if (!way.FolderStillPlain())
    return abandon(kErrorLinkRefused, "its folder " + way.FolderPath() +
                                          " became a link or junction meanwhile; nothing is put there.");
  std::vector<char> buffer(1 << 20);
  for (;;) {
    DWORD got = 0, written = 0;
    if (!ReadFile(source.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr))
      return abandon(GetLastError(), "the prepared file cannot be read.");
    if (got == 0) break;
    if (!WriteFile(out.get(), buffer.data(), got, &written, nullptr) || written != got)
      return abandon(GetLastError(), win32::SystemErrorText(GetLastError()));
  }
  if (!FlushFileBuffers(out.get())) return abandon(GetLastError(), win32::SystemErrorText(GetLastError()));
  FILE_BASIC_INFO basic{};
  auto large = [](const FILETIME& t) {
    LARGE_INTEGER v;
    v.LowPart = t.dwLowDateTime;
    v.HighPart = static_cast<LONG>(t.dwHighDateTime);
    return v;
  };
  basic.CreationTime = large(stamp.created);
  basic.LastAccessTime = large(stamp.accessed);
  basic.LastWriteTime = large(stamp.written);
  basic.FileAttributes = stamp.attributes ? stamp.attributes & ~FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
  const bool stamped = SetFileInformationByHandle(out.get(), FileBasicInfo, &basic, sizeof basic);
  const DWORD stampError = stamped ? ERROR_SUCCESS : GetLastError();
  out.reset();
  source.reset();
  DeleteFileW(win32::ApiPath(preparedPath).c_str());
  if (!stamped)
    return FailureAfterChange(request, stampError, "the file is back, but its times and attributes could not be set.");
  return Done();
}

WriteResult MakeFolder(std::string_view path) {
  const WriteRequest request{WriteKind::CreateFolder, std::string(path), {}};
  if (!IsFullPath(path)) return Failure(request, ERROR_INVALID_NAME, "it is not a full path.");
  HeldPath way = HoldWayTo(path);
  if (!way.ok()) return Failure(request, way.Error(), way.Reason());
  if (!way.Missing().empty()) return Failure(request, ERROR_PATH_NOT_FOUND, "the folder it belongs in does not exist.");
  if (win32::FileAttributes(way.FinalPath()) != INVALID_FILE_ATTRIBUTES)
    return Failure(request, ERROR_ALREADY_EXISTS, "something of that name is there already.");
  if (auto refused = Intercepted(request)) return *refused;
  if (!way.OpenChildFolder(way.Name(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_CREATE))
    return Failure(request, way.Error(), way.Reason());
  return Done();
}

WriteResult RemoveEmptyFolder(std::string_view path) {
  const WriteRequest request{WriteKind::DeleteFolder, std::string(path), {}};
  if (!IsFullPath(path)) return Failure(request, ERROR_INVALID_NAME, "it is not a full path.");
  HeldPath way = HoldWayTo(path);
  if (!way.ok()) return Failure(request, way.Error(), way.Reason());
  win32::UniqueHfile folder =
      way.OpenChildFolder(way.Name(), DELETE | FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE);
  if (!folder) return Failure(request, way.Error(), way.Reason());
  if (auto refused = Intercepted(request)) return *refused;
  FILE_DISPOSITION_INFO gone{TRUE};
  if (!SetFileInformationByHandle(folder.get(), FileDispositionInfo, &gone, sizeof gone)) {
    const DWORD e = GetLastError();
    return Failure(request, e, e == ERROR_DIR_NOT_EMPTY ? "it is not empty." : win32::SystemErrorText(e));
  }
  return Done();
}

WriteResult CreateServiceEntry(const ServiceSpec& spec) {
  const WriteRequest request{WriteKind::CreateService, spec.name, {}};
  if (spec.name.empty() || spec.binaryPath.empty())
    return Failure(request, ERROR_INVALID_PARAMETER, "no service or program was named.");
  if (auto refused = Intercepted(request)) return *refused;
  const win32::UniqueScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
  if (!manager) return Failure(request, GetLastError());
  std::wstring dependencies;
  for (const auto& d : spec.dependencies) dependencies += win32::Widen(d) + L'\0';
  dependencies += L'\0';
  const std::wstring name = win32::Widen(spec.name), display = win32::Widen(spec.displayName),
                     path = win32::Widen(spec.binaryPath), group = win32::Widen(spec.group),
                     account = win32::Widen(spec.account);
  const win32::UniqueScHandle service(CreateServiceW(
      manager.get(), name.c_str(), display.empty() ? nullptr : display.c_str(), SERVICE_ALL_ACCESS,
      spec.serviceType, spec.startType, spec.errorControl, path.c_str(), group.empty() ? nullptr : group.c_str(),
      nullptr, dependencies.size() > 1 ? dependencies.c_str() : nullptr, account.empty() ? nullptr : account.c_str(),
      nullptr));
  if (!service) return Failure(request, GetLastError());
  if (!spec.description.empty()) {
    std::wstring text = win32::Widen(spec.description);
    SERVICE_DESCRIPTIONW description{text.data()};
    ChangeServiceConfig2W(service.get(), SERVICE_CONFIG_DESCRIPTION, &description);
  }
  return Done();
}

WriteResult DeleteServiceEntry(std::string_view name) {
  const WriteRequest request{WriteKind::DeleteService, std::string(name), {}};
  if (name.empty() || name.find('\\') != std::string_view::npos || name.find('/') != std::string_view::npos)
    return Failure(request, ERROR_INVALID_NAME, "it is not a service name.");
  if (auto refused = Intercepted(request)) return *refused;
  const std::string key = "SYSTEM\\CurrentControlSet\\Services\\" + std::string(name);
  const LONG rc = RegWriteKey::DeleteTree(HKEY_LOCAL_MACHINE, key);
  if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) return Failure(request, static_cast<uint32_t>(rc));
  // The manager forgets it now rather than at the next start; its key is
  // gone already, so a failure here leaves nothing behind that comes back.
  const win32::UniqueScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  const win32::UniqueScHandle service(
      manager ? OpenServiceW(manager.get(), win32::Widen(name).c_str(), DELETE) : nullptr);
  if (service) DeleteService(service.get());
  if (!service && rc == ERROR_FILE_NOT_FOUND) return Failure(request, ERROR_SERVICE_DOES_NOT_EXIST, "it does not exist.");
  return Done();
}

WriteResult UnregisterServer(std::string_view path, RegView view, std::chrono::milliseconds wait) {
  return UnregisterServer(path, view, OutsideChanges{}, wait);
}

WriteResult BeforeUninstaller(std::string_view command, RegView view, const OutsideChanges& known) {
  WriteRequest request{WriteKind::RunUninstaller, std::string(command), {}};
  request.view = view;
  request.outsideKeys = known.keys;
  request.outsideValues = known.values;
  if (auto refused = Intercepted(request)) return *refused;
  return Done();
}

WriteResult UnregisterServer(std::string_view path, RegView view, const OutsideChanges& known,
                             std::chrono::milliseconds wait) {
  WriteRequest request{WriteKind::UnregisterServer, std::string(path), {}};
  request.view = view;
  request.outsideKeys = known.keys;
  request.outsideValues = known.values;
  if (auto refused = CheckFilePath(request, path)) return *refused;
  if (path.find('"') != std::string_view::npos)
    return Failure(request, ERROR_INVALID_NAME, "the path contains a quotation mark.");
  if (auto refused = Intercepted(request)) return *refused;

  // The tool is named by its full path in the system folder: never looked
  // up along the search path, where a planted program of that name could be
  // found first.
  std::wstring folder(MAX_PATH, L'\0');
  UINT n = 0;
  if (view == RegView::Force32) {
    n = GetSystemWow64DirectoryW(folder.data(), static_cast<UINT>(folder.size()));
    if (n == 0 || n >= folder.size() ||
        win32::FileAttributes(win32::Narrow(folder.substr(0, n)) + "\\regsvr32.exe") == INVALID_FILE_ATTRIBUTES)
      n = 0;
  }
  if (n == 0) n = GetSystemDirectoryW(folder.data(), static_cast<UINT>(folder.size()));
  if (n == 0 || n >= folder.size()) return Failure(request, GetLastError());
  folder.resize(n);
  const std::wstring program = folder + L"\\regsvr32.exe";
  std::wstring commandLine = L"\"" + program + L"\" /u /s \"" + win32::Widen(path) + L"\"";

  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                      folder.c_str(), &si, &pi)) {
    const DWORD error = GetLastError();
    return Failure(request, error, "regsvr32 could not be started: " + win32::SystemErrorText(error));
  }
  win32::UniqueHandle process(pi.hProcess), thread(pi.hThread);
  // The window stays painted and answers other programs meanwhile.
  const bool ended = win32::WaitResponsive(
      [&] { return WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0; },
      std::chrono::duration_cast<std::chrono::milliseconds>(wait), process.get());
  if (!ended)
    return Failure(request, ERROR_TIMEOUT,
                   "regsvr32 did not finish within " + std::to_string(wait.count() / 1000) + " seconds.");
  DWORD code = 0;
  if (!GetExitCodeProcess(process.get(), &code)) return Failure(request, GetLastError());
  switch (code) {
    case 0: return Done();
    case 3: return Failure(request, ERROR_MOD_NOT_FOUND, "regsvr32 could not load the server.");
    case 4: return Failure(request, ERROR_PROC_NOT_FOUND, "the server has no unregistration entry point.");
    case 5: return Failure(request, ERROR_GEN_FAILURE, "the server's unregistration failed.");
    default: return Failure(request, ERROR_GEN_FAILURE, "regsvr32 ended with code " + std::to_string(code) + ".");
  }
}

std::string ScheduledTaskXml(std::string_view taskPath) {
  win32::ComScope com;
  win32::ComPtr<ITaskService> service;
  std::string error;
  if (!ConnectTaskService(service, error)) return {};
  HRESULT hr = S_OK;
  const auto task = GetRegisteredTask(service.get(), taskPath, hr);
  Bstr xml;
  if (!task || FAILED(task->get_Xml(xml.put()))) return {};
  return win32::Narrow(xml.view());
}

WriteResult DeleteScheduledTask(std::string_view taskPath, std::string* xmlBefore) {
  const WriteRequest request{WriteKind::DeleteTask, std::string(taskPath), {}};
  if (auto refused = CheckTaskPath(request, taskPath)) return *refused;
  if (auto refused = Intercepted(request)) return *refused;
  win32::ComScope com;
  win32::ComPtr<ITaskService> service;
  if (auto failed = ConnectFor(request, service)) return *failed;
  HRESULT hr = S_OK;
  const auto folder = GetTaskFolder(service.get(), TaskFolderOf(taskPath), hr);
  if (!folder) return Failure(request, ErrorOf(hr));
  if (xmlBefore) {
    const auto task = GetRegisteredTask(service.get(), taskPath, hr);
    if (!task) return Failure(request, ErrorOf(hr));
    Bstr xml;
    hr = task->get_Xml(xml.put());
    if (FAILED(hr)) return Failure(request, ErrorOf(hr), "its definition cannot be read for the backup.");
    *xmlBefore = win32::Narrow(xml.view());
  }
  const Bstr name(TaskNameOf(taskPath));
  hr = folder->DeleteTask(name.get(), 0);
  return SUCCEEDED(hr) ? Done() : Failure(request, ErrorOf(hr));
}

namespace {

// Sets whether a task is enabled; done only when the service then reports it so.
WriteResult SetTaskEnabled(WriteKind kind, std::string_view taskPath, bool enable) {
  const WriteRequest request{kind, std::string(taskPath), {}};
  if (auto refused = CheckTaskPath(request, taskPath)) return *refused;
  if (auto refused = Intercepted(request)) return *refused;
  win32::ComScope com;
  win32::ComPtr<ITaskService> service;
  if (auto failed = ConnectFor(request, service)) return *failed;
  HRESULT hr = S_OK;
  const auto task = GetRegisteredTask(service.get(), taskPath, hr);
  if (!task) return Failure(request, ErrorOf(hr));
  hr = task->put_Enabled(enable ? VARIANT_TRUE : VARIANT_FALSE);
  if (FAILED(hr)) return Failure(request, ErrorOf(hr));
  VARIANT_BOOL enabled = enable ? VARIANT_FALSE : VARIANT_TRUE;
  if (FAILED(task->get_Enabled(&enabled)) || (enabled != VARIANT_FALSE) != enable)
    return Failure(request, ERROR_GEN_FAILURE,
                   std::string("the task service accepted the change but the task is still ") +
                       (enable ? "disabled." : "enabled."));
  return Done();
}

}  // namespace

WriteResult DisableScheduledTask(std::string_view taskPath) {
  return SetTaskEnabled(WriteKind::DisableTask, taskPath, false);
}

WriteResult EnableScheduledTask(std::string_view taskPath) {
  return SetTaskEnabled(WriteKind::EnableTask, taskPath, true);
}

std::optional<bool> ScheduledTaskEnabled(std::string_view taskPath) {
  win32::ComScope com;
  win32::ComPtr<ITaskService> service;
  std::string error;
  if (!ConnectTaskService(service, error)) return std::nullopt;
  HRESULT hr = S_OK;
  const auto task = GetRegisteredTask(service.get(), taskPath, hr);
  VARIANT_BOOL enabled = VARIANT_TRUE;
  if (!task || FAILED(task->get_Enabled(&enabled))) return std::nullopt;
  return enabled != VARIANT_FALSE;
}

WriteResult RegisterScheduledTask(std::string_view taskPath, std::string_view xml) {
  WriteRequest request{WriteKind::RegisterTask, std::string(taskPath), {}};
  request.text = std::string(xml);
  if (auto refused = CheckTaskPath(request, taskPath)) return *refused;
  if (xml.empty()) return Failure(request, ERROR_INVALID_PARAMETER, "there is no definition.");
  if (auto refused = Intercepted(request)) return *refused;
  win32::ComScope com;
  win32::ComPtr<ITaskService> service;
  if (auto failed = ConnectFor(request, service)) return *failed;
  HRESULT hr = S_OK;
  const std::string folderPath = TaskFolderOf(taskPath);
  auto folder = GetTaskFolder(service.get(), folderPath, hr);
  if (!folder) {
    // The folders on the way, made where missing.
    VARIANT none;
    VariantInit(&none);
    std::string path;
    for (const auto& part : SplitText(std::string_view(folderPath).substr(1), "\\")) {
      if (part.empty()) continue;
      auto parent = GetTaskFolder(service.get(), path.empty() ? "\\" : path, hr);
      path += "\\" + std::string(part);
      if (GetTaskFolder(service.get(), path, hr)) continue;
      win32::ComPtr<ITaskFolder> made;
      hr = parent ? parent->CreateFolder(Bstr(part).get(), none, made.put()) : hr;
      if (!parent || FAILED(hr)) return Failure(request, ErrorOf(hr), "its folder " + path + " cannot be made.");
    }
    folder = GetTaskFolder(service.get(), folderPath, hr);
    if (!folder) return Failure(request, ErrorOf(hr));
  }
  VARIANT empty;
  VariantInit(&empty);
  win32::ComPtr<IRegisteredTask> task;
  // No account is given: the definition's own principal stays.
  hr = folder->RegisterTask(Bstr(TaskNameOf(taskPath)).get(), Bstr(xml).get(), TASK_CREATE_OR_UPDATE, empty, empty,
                            TASK_LOGON_NONE, empty, task.put());
  return SUCCEEDED(hr) ? Done() : Failure(request, ErrorOf(hr), "the task service did not take its definition.");
}

// The system's setup routines (winsock_setup.cpp), reached only from here.
WinsockSetupRoutines SystemWinsockSetup();

namespace {

std::optional<WinsockSetupRoutines>& WinsockOverride() {
  static std::optional<WinsockSetupRoutines> routines;
  return routines;
}

WinsockSetupRoutines WinsockRoutines() { return WinsockOverride() ? *WinsockOverride() : SystemWinsockSetup(); }

std::string WinsockCatalogName(bool nameSpace, bool wow32) {
  return std::string(nameSpace ? "the Winsock namespace catalog" : "the Winsock protocol catalog") +
         (wow32 ? " of 32-bit programs" : "");
}

bool SameGuid(std::string_view a, std::string_view b) { return EqualsNoCase(a, b); }

const WinsockProviderSetup* FindProvider(const std::vector<WinsockProviderSetup>& list, std::string_view id) {
  for (const auto& p : list)
    if (SameGuid(p.providerId, id)) return &p;
  return nullptr;
}

std::vector<uint32_t> CatalogIds(const WinsockProviderSetup& p) {
  std::vector<uint32_t> ids;
  for (const auto& bytes : p.protocols)
    if (const auto info = ParseProtocolInfo(bytes.data(), bytes.size())) ids.push_back(info->catalogEntryId);
  return ids;
}

bool IsChain(const WinsockProviderSetup& p) {
  for (const auto& bytes : p.protocols)
    if (const auto info = ParseProtocolInfo(bytes.data(), bytes.size()); info && info->Chain()) return true;
  return false;
}

}  // namespace

ScopedWinsockSetup::ScopedWinsockSetup(WinsockSetupRoutines routines)
    : previous_(std::exchange(WinsockOverride(), std::move(routines))) {}

ScopedWinsockSetup::~ScopedWinsockSetup() { WinsockOverride() = std::move(previous_); }

std::optional<std::vector<WinsockProviderSetup>> ListWinsockProviders(bool nameSpace, bool wow32, uint32_t& error) {
  const WinsockSetupRoutines routines = WinsockRoutines();
  if (!routines.list) {
    error = ERROR_NOT_SUPPORTED;
    return std::nullopt;
  }
  error = ERROR_SUCCESS;
  return routines.list(nameSpace, wow32, error);
}

WriteResult RemoveWinsockProvider(std::string_view providerId, bool nameSpace, bool wow32) {
  WriteRequest request{WriteKind::RemoveWinsockProvider, WinsockCatalogName(nameSpace, wow32), std::string(providerId)};
  const WinsockSetupRoutines routines = WinsockRoutines();
  if (!GuidFromText(providerId)) return Failure(request, ERROR_INVALID_PARAMETER, "it is not a provider GUID.");
  uint32_t error = ERROR_SUCCESS;
  const auto list = ListWinsockProviders(nameSpace, wow32, error);
  if (!list) return Failure(request, error, "the catalog cannot be read: " + win32::SystemErrorText(error));
  const WinsockProviderSetup* target = FindProvider(*list, providerId);
  if (!target) return Failure(request, ERROR_FILE_NOT_FOUND, "it is not in the catalog.");
  if (wow32) {
    uint32_t wideError = ERROR_SUCCESS;
    const auto wide = ListWinsockProviders(nameSpace, false, wideError);
    if (!wide) return Failure(request, wideError, "the 64-bit catalog cannot be read: " + win32::SystemErrorText(wideError));
    if (FindProvider(*wide, providerId))
      return Failure(request, ERROR_NOT_SUPPORTED,
                     "the 64-bit catalog holds it too, and a 64-bit program can put a provider back into the 32-bit "
                     "catalog only together with the 64-bit one. Remove it from the 64-bit catalog first.");
  }
  // The chains built over the provider's entries go with it, and chains over
  // those in turn; they are removed first, the provider last.
  std::vector<const WinsockProviderSetup*> removed{target};
  if (!nameSpace) {
    std::set<uint32_t> gone;
    for (uint32_t id : CatalogIds(*target)) gone.insert(id);
    for (bool more = true; more;) {
      more = false;
      for (const auto& p : *list) {
        if (std::find(removed.begin(), removed.end(), &p) != removed.end()) continue;
        bool over = false;
        for (const auto& bytes : p.protocols)
          if (const auto info = ParseProtocolInfo(bytes.data(), bytes.size()); info && info->Chain())
            for (uint32_t id : info->ChainIds()) over = over || gone.count(id);
        if (!over) continue;
        removed.insert(removed.begin(), &p);
        for (uint32_t id : CatalogIds(p)) gone.insert(id);
        more = true;
      }
    }
  }
  for (const auto* p : removed) request.winsock.push_back(*p);
  if (!routines.remove) return Failure(request, ERROR_NOT_SUPPORTED, "there is no routine to remove it.");
  if (auto refused = Intercepted(request)) return *refused;
  bool anyRemoved = false;
  for (const auto* p : removed) {
    const uint32_t e = routines.remove(*p);
    if (e != ERROR_SUCCESS) {
      const std::string reason = "the system's setup routine refused " + p->providerId + ": " + win32::SystemErrorText(e);
      return anyRemoved ? FailureAfterChange(request, e, reason) : Failure(request, e, reason);
    }
    anyRemoved = true;
  }
  const auto after = ListWinsockProviders(nameSpace, wow32, error);
  if (!after) return FailureAfterChange(request, error, "the catalog cannot be read afterwards to check the removal.");
  std::size_t still = 0;
  for (const auto* p : removed) still += FindProvider(*after, p->providerId) ? 1 : 0;
  if (still == removed.size())
    return Failure(request, ERROR_GEN_FAILURE,
                   "the system's setup routine reported it removed, but the catalog still lists it.");
  if (still) return FailureAfterChange(request, ERROR_GEN_FAILURE, "the catalog still lists part of it.");
  return Done();
}

WriteResult InstallWinsockProviders(const std::vector<WinsockProviderSetup>& providers) {
  const bool nameSpace = !providers.empty() && providers.front().nameSpace;
  const bool wow32 = !providers.empty() && providers.front().wow32;
  std::string names;
  for (const auto& p : providers) names += (names.empty() ? "" : ", ") + p.providerId;
  WriteRequest request{WriteKind::InstallWinsockProvider, WinsockCatalogName(nameSpace, wow32), names};
  const WinsockSetupRoutines routines = WinsockRoutines();
  if (providers.empty()) return Failure(request, ERROR_INVALID_PARAMETER, "no provider was given.");
  for (const auto& p : providers) {
    if (p.nameSpace != nameSpace || p.wow32 != wow32)
      return Failure(request, ERROR_INVALID_PARAMETER, "the providers are not of one catalog.");
    if (!GuidFromText(p.providerId) || p.dllPath.empty() || (!nameSpace && p.protocols.empty()))
      return Failure(request, ERROR_INVALID_DATA, "the provider's GUID, DLL or protocol entries are missing.");
    for (const auto& bytes : p.protocols)
      if (bytes.size() != kProtocolInfoSize) return Failure(request, ERROR_INVALID_DATA, "a protocol entry is damaged.");
  }
  uint32_t error = ERROR_SUCCESS;
  const auto list = ListWinsockProviders(nameSpace, wow32, error);
  if (!list) return Failure(request, error, "the catalog cannot be read: " + win32::SystemErrorText(error));
  // What is there already stays; the rest goes in, chains last.
  std::vector<WinsockProviderSetup> missing;
  for (bool chains : {false, true})
    for (const auto& p : providers)
      if (IsChain(p) == chains && !FindProvider(*list, p.providerId)) missing.push_back(p);
  if (missing.empty()) return Done();
  if (!routines.install) return Failure(request, ERROR_NOT_SUPPORTED, "there is no routine to install it.");
  request.winsock = missing;
  if (auto refused = Intercepted(request)) return *refused;
  // The catalog ids the installation gives the entries: the chains name them.
  std::map<uint32_t, uint32_t> ids;
  bool anyInstalled = false;  // listed by the catalog afterwards
  for (WinsockProviderSetup p : missing) {
    for (auto& bytes : p.protocols) RemapProtocolChain(bytes, ids);
    if (const uint32_t e = routines.install(p); e != ERROR_SUCCESS) {
      const std::string reason = "the system's setup routine refused " + p.providerId + ": " + win32::SystemErrorText(e);
      return anyInstalled ? FailureAfterChange(request, e, reason) : Failure(request, e, reason);
    }
    const auto now = ListWinsockProviders(nameSpace, wow32, error);
    const WinsockProviderSetup* made = now ? FindProvider(*now, p.providerId) : nullptr;
    if (!made) {
      const std::string reason =
          "the system's setup routine reported " + p.providerId + " installed, but the catalog does not list it.";
      return anyInstalled ? FailureAfterChange(request, ERROR_GEN_FAILURE, reason)
                          : Failure(request, ERROR_GEN_FAILURE, reason);
    }
    anyInstalled = true;
    const std::vector<uint32_t> before = CatalogIds(p), after = CatalogIds(*made);
    for (std::size_t i = 0; i < before.size() && i < after.size(); ++i) ids[before[i]] = after[i];
  }
  return Done();
}

WriteResult WriteShortcutArguments(std::string_view lnkPath, std::string_view arguments) {
  WriteRequest request{WriteKind::WriteShortcut, std::string(lnkPath), "Arguments"};
  request.text = std::string(arguments);
  if (auto refused = CheckFilePath(request, lnkPath)) return *refused;
  // Checked, and its folder held while the shell reads and saves it (the
  // shell opens it for itself alone: the file is not held besides).
  HeldPath way = HoldWayTo(lnkPath);
  const win32::UniqueHfile held = OpenHeldFile(way, FILE_READ_ATTRIBUTES, true);
  if (!held) return Failure(request, way.Error(), way.Reason());
  if (auto refused = Intercepted(request)) return *refused;
  win32::ComScope com;
  win32::ComPtr<IShellLinkW> link;
  HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.put_void());
  win32::ComPtr<IPersistFile> file;
  if (SUCCEEDED(hr)) hr = link->QueryInterface(IID_IPersistFile, file.put_void());
  const std::wstring path = win32::ApiPath(way.FinalPath());
  if (SUCCEEDED(hr)) hr = file->Load(path.c_str(), STGM_READWRITE);
  if (FAILED(hr)) return Failure(request, static_cast<uint32_t>(hr), "it is not a shortcut that can be read.");
  hr = link->SetArguments(win32::Widen(arguments).c_str());
  if (SUCCEEDED(hr)) hr = file->Save(path.c_str(), TRUE);
  if (FAILED(hr)) {
    const uint32_t code = HRESULT_FACILITY(hr) == FACILITY_WIN32 ? HRESULT_CODE(hr) : ERROR_WRITE_FAULT;
    return Failure(request, code);
  }
  return Done();
}

}  // namespace wl
