#include "sysroutines/system_write.h"

#include <shellapi.h>

#include <utility>

#include "core/task_definition.h"
#include "sysroutines/task_service.h"
#include "sysroutines/text_routines.h"
#include "win32/file_path.h"
#include "win32/handles.h"
#include "win32/system_error.h"
#include "win32/unicode.h"

namespace wl {
namespace {

using win32::RegKey;
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
    case WriteKind::UnregisterServer: return "Could not unregister " + r.target;
    case WriteKind::DeleteTask: return "Could not delete the scheduled task " + r.target;
    case WriteKind::DisableTask: return "Could not disable the scheduled task " + r.target;
  }
  return "Could not change " + r.target;
}

WriteResult Failure(const WriteRequest& r, uint32_t error, std::string reason = {}) {
  WriteResult result;
  result.error = error == ERROR_SUCCESS ? ERROR_GEN_FAILURE : error;
  if (reason.empty())
    reason = (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) ? "it does not exist."
                                                                              : win32::SystemErrorText(result.error);
  result.message = Describe(r) + ": " + reason;
  return result;
}

WriteResult Done() { return {}; }

// The interceptor's answer, when it refuses the request.
std::optional<WriteResult> Intercepted(const WriteRequest& r) {
  const auto& interceptor = Interceptor();
  if (!interceptor) return std::nullopt;
  const uint32_t error = interceptor(r);
  if (error == ERROR_SUCCESS) return std::nullopt;
  return Failure(r, error);
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
  const WriteRequest request{WriteKind::WriteRegValue, KeyText(root, path), std::string(valueName)};
  if (auto refused = Intercepted(request)) return *refused;
  if (size > 0xFFFFFFFFu) return Failure(request, ERROR_INVALID_PARAMETER, "the data is too large.");
  LONG rc = ERROR_SUCCESS;
  auto key = RegKey::Create(root, path, KEY_SET_VALUE, view, &rc);
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

WriteResult DeleteRegValue(HKEY root, std::string_view keyPath, std::string_view valueName, RegView view) {
  const std::string path = CleanKeyPath(keyPath);
  const WriteRequest request{WriteKind::DeleteRegValue, KeyText(root, path), std::string(valueName)};
  if (auto refused = Intercepted(request)) return *refused;
  LONG rc = ERROR_SUCCESS;
  auto key = RegKey::Open(root, path, KEY_QUERY_VALUE | KEY_SET_VALUE, view, &rc);
  if (!key) return Failure(request, static_cast<uint32_t>(rc));
  rc = key->DeleteValue(std::string(valueName));
  return rc == ERROR_SUCCESS ? Done() : Failure(request, static_cast<uint32_t>(rc));
}

WriteResult DeleteRegTree(HKEY root, std::string_view keyPath, RegView view) {
  std::size_t parts = 0;
  const std::string path = CleanKeyPath(keyPath, &parts);
  const WriteRequest request{WriteKind::DeleteRegTree, KeyText(root, path), {}};
  if (parts < 2) return Failure(request, ERROR_INVALID_PARAMETER, "a top-level key is never deleted.");
  if (auto refused = Intercepted(request)) return *refused;
  const LONG rc = RegKey::DeleteTree(root, path, view);
  return rc == ERROR_SUCCESS ? Done() : Failure(request, static_cast<uint32_t>(rc));
}

WriteResult CreateRegKey(HKEY root, std::string_view keyPath, RegView view) {
  const std::string path = CleanKeyPath(keyPath);
  const WriteRequest request{WriteKind::CreateRegKey, KeyText(root, path), {}};
  if (path.empty()) return Failure(request, ERROR_INVALID_PARAMETER, "no key was named.");
  if (auto refused = Intercepted(request)) return *refused;
  LONG rc = ERROR_SUCCESS;
  auto key = RegKey::Create(root, path, KEY_READ, view, &rc);
  return key ? Done() : Failure(request, static_cast<uint32_t>(rc));
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
  std::string upper = rootName;
  for (char& c : upper)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  HKEY root = nullptr;
  if (upper == "HKEY_CURRENT_USER") root = HKEY_CURRENT_USER;
  if (upper == "HKEY_LOCAL_MACHINE") root = HKEY_LOCAL_MACHINE;
  if (!root) {
    const WriteRequest request{WriteKind::DeleteRegValue, std::string(keyPathText), std::string(valueName)};
    return Failure(request, ERROR_INVALID_PARAMETER,
                   "only values under HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE are deleted.");
  }
  return DeleteRegValue(root, keyPathText.substr(rootName.size()), valueName, view);
}

WriteResult WriteIniValue(std::string_view iniPath, std::string_view section, std::string_view key,
                          std::string_view value) {
  const WriteRequest request{WriteKind::WriteIniValue, std::string(iniPath),
                             std::string(section) + "\\" + std::string(key)};
  if (!IsFullPath(iniPath)) return Failure(request, ERROR_INVALID_NAME, "it is not a full path.");
  if (section.empty() || key.empty()) return Failure(request, ERROR_INVALID_PARAMETER, "no entry was named.");
  if (auto refused = Intercepted(request)) return *refused;
  SetLastError(ERROR_SUCCESS);
  if (WritePrivateProfileStringW(win32::Widen(section).c_str(), win32::Widen(key).c_str(),
                                 win32::Widen(value).c_str(), win32::ApiPath(iniPath).c_str()))
    return Done();
  return Failure(request, GetLastError());
}

WriteResult DeleteIniValue(std::string_view iniPath, std::string_view section, std::string_view key) {
  const WriteRequest request{WriteKind::DeleteIniValue, std::string(iniPath),
                             std::string(section) + "\\" + std::string(key)};
  if (!IsFullPath(iniPath)) return Failure(request, ERROR_INVALID_NAME, "it is not a full path.");
  // An empty key would make the system delete the whole section.
  if (section.empty() || key.empty()) return Failure(request, ERROR_INVALID_PARAMETER, "no entry was named.");
  if (auto refused = Intercepted(request)) return *refused;
  SetLastError(ERROR_SUCCESS);
  if (WritePrivateProfileStringW(win32::Widen(section).c_str(), win32::Widen(key).c_str(), nullptr,
                                 win32::ApiPath(iniPath).c_str()))
    return Done();
  return Failure(request, GetLastError());
}

WriteResult RecycleFile(std::string_view path) {
  const WriteRequest request{WriteKind::RecycleFile, std::string(path), {}};
  if (auto refused = CheckFilePath(request, path)) return *refused;
  if (auto refused = Intercepted(request)) return *refused;

  // The shell takes neither the "\\?\" form nor paths of MAX_PATH characters
  // or more; such a file goes by its 8.3 name when it has a short enough one.
  std::string shellPath(path);
  if (shellPath.starts_with("\\\\?\\") && !shellPath.starts_with("\\\\?\\UNC\\")) shellPath.erase(0, 4);
  std::wstring from = win32::Widen(shellPath);
  if (from.size() >= MAX_PATH) {
    from = win32::Widen(win32::ShortPath(path));
    if (from.empty() || from.size() >= MAX_PATH)
      return Failure(request, ERROR_FILENAME_EXCED_RANGE, "the path is too long for the Recycle Bin.");
  }
  // Where there is no Recycle Bin the shell would delete the file for good;
  // leave it in place and say so instead.
  SHQUERYRBINFO bin{};
  bin.cbSize = sizeof bin;
  if (FAILED(SHQueryRecycleBinW(from.c_str(), &bin)))
    return Failure(request, ERROR_NOT_SUPPORTED, "there is no Recycle Bin for it; the file was left in place.");
  from.push_back(L'\0');  // the list of names ends with a second zero

  SHFILEOPSTRUCTW op{};
  op.wFunc = FO_DELETE;
  op.pFrom = from.c_str();
  op.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT | FOF_WANTNUKEWARNING;
  const int rc = SHFileOperationW(&op);
  if (rc != 0) return Failure(request, ShellOperationError(rc));
  if (op.fAnyOperationsAborted) return Failure(request, ERROR_CANCELLED);
  if (win32::FileAttributes(path) != INVALID_FILE_ATTRIBUTES)
    return Failure(request, ERROR_GEN_FAILURE, "the file is still there.");
  return Done();
}

WriteResult DeleteFileNow(std::string_view path) {
  const WriteRequest request{WriteKind::DeleteFile, std::string(path), {}};
  if (auto refused = CheckFilePath(request, path)) return *refused;
  if (auto refused = Intercepted(request)) return *refused;
  if (DeleteFileW(win32::ApiPath(path).c_str())) return Done();
  return Failure(request, GetLastError());
}

WriteResult UnregisterServer(std::string_view path, RegView view, std::chrono::milliseconds wait) {
  const WriteRequest request{WriteKind::UnregisterServer, std::string(path), {}};
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
  const DWORD waited = WaitForSingleObject(process.get(), static_cast<DWORD>(wait.count()));
  if (waited != WAIT_OBJECT_0)
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
  std::string error;
  if (!ConnectTaskService(service, error)) return Failure(request, ERROR_SERVICE_NOT_ACTIVE, error);
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

WriteResult DisableScheduledTask(std::string_view taskPath) {
  const WriteRequest request{WriteKind::DisableTask, std::string(taskPath), {}};
  if (auto refused = CheckTaskPath(request, taskPath)) return *refused;
  if (auto refused = Intercepted(request)) return *refused;
  win32::ComScope com;
  win32::ComPtr<ITaskService> service;
  std::string error;
  if (!ConnectTaskService(service, error)) return Failure(request, ERROR_SERVICE_NOT_ACTIVE, error);
  HRESULT hr = S_OK;
  const auto task = GetRegisteredTask(service.get(), taskPath, hr);
  if (!task) return Failure(request, ErrorOf(hr));
  hr = task->put_Enabled(VARIANT_FALSE);
  if (FAILED(hr)) return Failure(request, ErrorOf(hr));
  VARIANT_BOOL enabled = VARIANT_TRUE;
  if (FAILED(task->get_Enabled(&enabled)) || enabled != VARIANT_FALSE)
    return Failure(request, ERROR_GEN_FAILURE, "the task service accepted the change but the task is still enabled.");
  return Done();
}

}  // namespace wl
