// The one small set of routines through which every change to the system
// goes: registry values and keys, INI entries, files. Each returns what
// happened; none shows a message. Keeping them together lets a backup or undo
// layer wrap every change in one place.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "win32/registry.h"

namespace wl {

// The outcome of one change.
struct WriteResult {
  uint32_t error = ERROR_SUCCESS;  // Win32 error code; ERROR_SUCCESS when done
  std::string message;             // for the user; empty when done

  bool ok() const { return error == ERROR_SUCCESS; }
  explicit operator bool() const { return ok(); }
  // The thing to change was not there (nothing was changed).
  bool NotFound() const { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }
};

enum class WriteKind {
  DeleteRegValue,
  DeleteRegTree,
  CreateRegKey,
  WriteRegValue,
  WriteIniValue,
  DeleteIniValue,
  RecycleFile,
  DeleteFile,
  UnregisterServer,
  DeleteTask,
  DisableTask,
};

// One change as the write routines describe it before making it.
struct WriteRequest {
  WriteKind kind;
  std::string target;  // "HKEY_LOCAL_MACHINE\Software\…", a file path, or a task path "\Folder\Name"
  std::string name;    // value name or "section\key" of an INI entry; empty for keys and files
};

// While one is installed, every write routine asks it first. A non-zero
// answer is returned as the write's error code and the system is left as it
// is; zero lets the write go ahead. Tests use it to produce answers such as
// "access denied" that the test system cannot give.
using WriteInterceptor = std::function<uint32_t(const WriteRequest&)>;

class ScopedWriteInterceptor {
 public:
  explicit ScopedWriteInterceptor(WriteInterceptor interceptor);
  ~ScopedWriteInterceptor();
  ScopedWriteInterceptor(const ScopedWriteInterceptor&) = delete;
  ScopedWriteInterceptor& operator=(const ScopedWriteInterceptor&) = delete;

 private:
  WriteInterceptor previous_;
};

// Registry. Key paths are relative to root; empty parts ("a\\b", a trailing
// backslash) are ignored.
WriteResult DeleteRegValue(HKEY root, std::string_view keyPath, std::string_view valueName,
                           win32::RegView view = win32::RegView::Default);
// Deletes a key with all its sub-keys. A top-level key (one directly under
// the root, such as "Software") is never deleted.
WriteResult DeleteRegTree(HKEY root, std::string_view keyPath, win32::RegView view = win32::RegView::Default);
WriteResult CreateRegKey(HKEY root, std::string_view keyPath, win32::RegView view = win32::RegView::Default);
// The writes create the key when it is missing.
WriteResult WriteRegString(HKEY root, std::string_view keyPath, std::string_view valueName, std::string_view value,
                           DWORD type = REG_SZ, win32::RegView view = win32::RegView::Default);
WriteResult WriteRegDword(HKEY root, std::string_view keyPath, std::string_view valueName, uint32_t value,
                          win32::RegView view = win32::RegView::Default);
WriteResult WriteRegData(HKEY root, std::string_view keyPath, std::string_view valueName, DWORD type,
                         const std::vector<uint8_t>& data, win32::RegView view = win32::RegView::Default);

// The value named valueName in the key a registry path text names
// ("HKEY_CURRENT_USER\…" or "HKEY_LOCAL_MACHINE\…", the form the lists show).
// The key is opened, never created. A text under any other root deletes
// nothing and says so.
WriteResult DeleteRegistryValuePath(std::string_view keyPathText, std::string_view valueName,
                                    win32::RegView view = win32::RegView::Default);

// INI entries (a full file path).
WriteResult WriteIniValue(std::string_view iniPath, std::string_view section, std::string_view key,
                          std::string_view value);
WriteResult DeleteIniValue(std::string_view iniPath, std::string_view section, std::string_view key);

// Files. The path must be a full path to an existing file: an empty or
// relative path, a wildcard or a folder is refused (each would act on
// something other than the one file meant).
//
// RecycleFile moves the file to the Recycle Bin; done only when the shell
// reports success and the file is gone. A file on a drive without a Recycle
// Bin is left in place (ERROR_NOT_SUPPORTED), never deleted for good; should
// the shell still find it cannot recycle the file, it asks the user first.
WriteResult RecycleFile(std::string_view path);
// Deletes the file for good.
WriteResult DeleteFileNow(std::string_view path);

// COM servers. Has the in-process server at path unregister itself: the
// system's regsvr32 (from the system folder, by its full path; for a server
// of the 32-bit view the one of the 32-bit system folder where there is one)
// runs hidden with "/u /s" and the path in quotes, and is waited for up to
// wait. Done when it ends with exit code 0; a server it cannot load, one
// whose unregistration fails, and a run that outlasts the wait (it is left
// to finish by itself) are failures that say so.
inline constexpr std::chrono::milliseconds kUnregisterWait{15000};
WriteResult UnregisterServer(std::string_view path, win32::RegView view = win32::RegView::Default,
                             std::chrono::milliseconds wait = kUnregisterWait);

// Scheduled tasks, named by their path ("\Folder\Name"), through the task
// service. The definition (XML, UTF-8) of a task as the service gives it;
// empty when it has none of that path.
std::string ScheduledTaskXml(std::string_view taskPath);
// Deletes the task. xmlBefore, when given, receives its definition as it was
// just before (for a backup); a task whose definition cannot be read is not
// deleted then.
WriteResult DeleteScheduledTask(std::string_view taskPath, std::string* xmlBefore = nullptr);
// Disables the task; done only when the service reports it disabled
// afterwards (a service that accepts the change and keeps the task enabled
// is a failure).
WriteResult DisableScheduledTask(std::string_view taskPath);

}  // namespace wl
