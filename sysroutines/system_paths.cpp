#include "sysroutines/system_paths.h"

#include <windows.h>
#include <shellapi.h>

#include "win32/handles.h"
#include "win32/unicode.h"

namespace wl {

namespace {

template <typename Query>
std::string FolderFrom(Query query) {
  std::wstring buf(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 3; ++attempt) {
    const UINT n = query(buf.data(), static_cast<UINT>(buf.size()));
    if (n == 0) return {};
    if (n < buf.size()) {
      buf.resize(n);
      while (!buf.empty() && buf.back() == L'\\') buf.pop_back();
      return win32::Narrow(buf);
    }
    buf.assign(n + 1, L'\0');
  }
  return {};
}

bool IsBareFileName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  return name.find_first_of("\\/:") == std::string_view::npos;
}

std::string Join(const std::string& folder, std::string_view fileName) {
  if (folder.empty() || !IsBareFileName(fileName)) return {};
  return folder + "\\" + std::string(fileName);
}

}  // namespace

std::string SystemFolder() { return FolderFrom([](wchar_t* b, UINT n) { return GetSystemDirectoryW(b, n); }); }

std::string WindowsFolder() {
  return FolderFrom([](wchar_t* b, UINT n) { return GetSystemWindowsDirectoryW(b, n); });
}

std::string SystemProgramPath(std::string_view fileName) { return Join(SystemFolder(), fileName); }

std::string WindowsProgramPath(std::string_view fileName) { return Join(WindowsFolder(), fileName); }

std::string OwnProgramPath() {
  std::wstring buf(32768, L'\0');
  const DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
  if (n == 0 || n >= buf.size()) return {};
  buf.resize(n);
  return win32::Narrow(buf);
}

std::string OwnProgramFolder() {
  const std::string path = OwnProgramPath();
  const auto slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace wl

namespace wl {

bool StartProgramElevated(const std::string& programPath, uint32_t* error) {
  const std::wstring file = win32::Widen(programPath);
  SHELLEXECUTEINFOW run{};
  run.cbSize = sizeof run;
  run.fMask = SEE_MASK_NOASYNC;
  run.lpVerb = L"runas";
  run.lpFile = file.c_str();
  run.nShow = SW_SHOWNORMAL;
  if (!file.empty() && ShellExecuteExW(&run)) return true;
  if (error) *error = file.empty() ? ERROR_FILE_NOT_FOUND : GetLastError();
  return false;
}

bool StartProgram(const std::string& programPath, const std::string& arguments, uint32_t* error) {
  if (programPath.empty()) {
    if (error) *error = ERROR_FILE_NOT_FOUND;
    return false;
  }
  const std::wstring program = win32::Widen(programPath);
  std::wstring commandLine = L"\"" + program + L"\"";
  if (!arguments.empty()) commandLine += L" " + win32::Widen(arguments);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    if (error) *error = GetLastError();
    return false;
  }
  win32::UniqueHandle process(pi.hProcess), thread(pi.hThread);
  return true;
}

}  // namespace wl
