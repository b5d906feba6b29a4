#include "software/software_actions.h"

#include <windows.h>
#include <shellapi.h>

#include "software/uninstall_command.h"
#include "sysroutines/system_info.h"
#include "win32/file_path.h"
#include "win32/handles.h"
#include "win32/registry.h"
#include "win32/system_error.h"
#include "win32/unicode.h"

namespace wl {
namespace {

using win32::Widen;

WriteResult Failed(uint32_t error, const std::string& what) {
  WriteResult r;
  r.error = error == ERROR_SUCCESS ? ERROR_GEN_FAILURE : error;
  r.message = what + ": " + win32::SystemErrorText(r.error);
  return r;
}

std::string Unquoted(const std::string& s) {
  if (s.size() >= 2 && s.front() == '"' && s.back() == '"') return s.substr(1, s.size() - 2);
  return s;
}

// The view and the key name below the uninstall key of an entry's
// "RegistryKey" text; nullopt for a key that is not an installation entry.
std::optional<std::pair<win32::RegView, std::string>> EntryOf(const std::string& registryKey) {
  const std::string native = std::string("HKEY_LOCAL_MACHINE\\") + kUninstallKey + "\\";
  const std::string x86 = std::string("HKEY_LOCAL_MACHINE\\") + kUninstallKey32 + "\\";
  win32::RegView view;
  std::string name;
  if (registryKey.starts_with(native)) {
    view = win32::RegView::Force64;
    name = registryKey.substr(native.size());
  } else if (registryKey.starts_with(x86)) {
    view = win32::RegView::Force32;
    name = registryKey.substr(x86.size());
  }
  if (name.empty() || name.find('\\') != std::string::npos) return std::nullopt;
  return std::make_pair(view, name);
}

}  // namespace

WriteResult StartUninstaller(const std::string& command, const std::string& registryKey) {
  const UninstallLaunch launch = SplitUninstallCommand(command);
  const std::string what = "Could not start " + command;
  if (launch.program.empty()) return Failed(ERROR_FILE_NOT_FOUND, what);
  OutsideChanges known;
  win32::RegView view = win32::RegView::Default;
  if (const auto entry = EntryOf(registryKey)) {
    view = entry->first;
    known.keys.push_back(std::string("HKEY_LOCAL_MACHINE\\") + kUninstallKey + "\\" + entry->second);
  }
  if (WriteResult announced = BeforeUninstaller(command, view, known); !announced) return announced;
  if (launch.wholeCommand) {
    std::wstring line = Widen(launch.program);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
      return Failed(GetLastError(), what);
    win32::UniqueHandle process(pi.hProcess), thread(pi.hThread);
    return {};
  }
  const std::wstring file = Widen(Unquoted(launch.program));
  const std::wstring parameters = Widen(launch.parameters);
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_FLAG_NO_UI;
  info.lpVerb = L"open";
  info.lpFile = file.c_str();
  info.lpParameters = parameters.empty() ? nullptr : parameters.c_str();
  info.nShow = SW_SHOWNORMAL;
  if (!ShellExecuteExW(&info)) return Failed(GetLastError(), what);
  return {};
}

WriteResult RemoveSoftwareEntry(const SoftwareRow& row) {
  const auto entry = EntryOf(row.registryKey);
  if (!entry) {
    WriteResult refused;
    refused.error = ERROR_INVALID_PARAMETER;
    refused.message = "The key " + row.registryKey + " is not an installation entry.";
    return refused;
  }
  return DeleteRegTree(HKEY_LOCAL_MACHINE, std::string(kUninstallKey) + "\\" + entry->second, entry->first);
}

std::string SoftwareFolder(const std::string& command) {
  const std::string candidates[] = {
      ExtractExecutablePath(TextBeforeLastBackslash(command)),
      TextBeforeLastBackslash(ExtractExecutablePath(SplitUninstallCommand(command).program)),
  };
  for (std::string folder : candidates) {
    if (folder.size() == 2 && folder[1] == ':') folder += '\\';  // the root, not the drive's current folder
    if (!folder.empty() && win32::DirectoryExists(folder)) return folder;
  }
  return {};
}

}  // namespace wl
