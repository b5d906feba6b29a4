// The steps that run outside this program: a server's own unregistration,
// an uninstaller (asked before it is started).
#include "sysroutines/system_write.h"

#include "sysroutines/write_gate.h"
#include "win32/file_path.h"
#include "win32/handles.h"
#include "win32/system_error.h"
#include "win32/unicode.h"
#include "win32/wait.h"

namespace wl {

using win32::RegView;

WriteResult UnregisterServer(std::string_view path, RegView view, std::chrono::milliseconds wait) {
  return UnregisterServer(path, view, OutsideChanges{}, wait);
}

WriteResult BeforeUninstaller(std::string_view command, RegView view, const OutsideChanges& known) {
  WriteRequest request{WriteKind::RunUninstaller, std::string(command), {}};
  request.view = view;
  request.outsideKeys = known.keys;
  request.outsideValues = known.values;
  if (auto refused = gate::Intercepted(request)) return *refused;
  return gate::Done();
}

WriteResult UnregisterServer(std::string_view path, RegView view, const OutsideChanges& known,
                             std::chrono::milliseconds wait) {
  WriteRequest request{WriteKind::UnregisterServer, std::string(path), {}};
  request.view = view;
  request.outsideKeys = known.keys;
  request.outsideValues = known.values;
  if (auto refused = gate::CheckFilePath(request, path)) return *refused;
  if (path.find('"') != std::string_view::npos)
    return gate::Failure(request, ERROR_INVALID_NAME, "the path contains a quotation mark.");
  if (auto refused = gate::Intercepted(request)) return *refused;

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
  if (n == 0 || n >= folder.size()) return gate::Failure(request, GetLastError());
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
    return gate::Failure(request, error, "regsvr32 could not be started: " + win32::SystemErrorText(error));
  }
  win32::UniqueHandle process(pi.hProcess), thread(pi.hThread);
  // The window stays painted and answers other programs meanwhile.
  const bool ended = win32::WaitResponsive(
      [&] { return WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0; },
      std::chrono::duration_cast<std::chrono::milliseconds>(wait), process.get());
  if (!ended)
    return gate::Failure(request, ERROR_TIMEOUT,
                   "regsvr32 did not finish within " + std::to_string(wait.count() / 1000) + " seconds.");
  DWORD code = 0;
  if (!GetExitCodeProcess(process.get(), &code)) return gate::Failure(request, GetLastError());
  switch (code) {
    case 0: return gate::Done();
    case 3: return gate::Failure(request, ERROR_MOD_NOT_FOUND, "regsvr32 could not load the server.");
    case 4: return gate::Failure(request, ERROR_PROC_NOT_FOUND, "the server has no unregistration entry point.");
    case 5: return gate::Failure(request, ERROR_GEN_FAILURE, "the server's unregistration failed.");
    default: return gate::Failure(request, ERROR_GEN_FAILURE, "regsvr32 ended with code " + std::to_string(code) + ".");
  }
}

}  // namespace wl
