#include "browser/other_browsers_actions.h"

#include <windows.h>

#include "win32/handles.h"
#include "win32/registry.h"
#include "win32/system_error.h"
#include "win32/unicode.h"

namespace wl {
namespace {

win32::RegView ViewOf(BrowserRegView v) {
  switch (v) {
    case BrowserRegView::Force64: return win32::RegView::Force64;
    case BrowserRegView::Force32: return win32::RegView::Force32;
    default: return win32::RegView::Default;
  }
}

WriteResult Refused(const std::string& message) {
  WriteResult r;
  r.error = ERROR_NOT_SUPPORTED;
  r.message = message;
  return r;
}

}  // namespace

bool CanRepair(const BrowserRow& row) { return row.repair != BrowserRepair::None; }

bool CanOpenSettings(const BrowserRow& row) { return !row.settingsPage.empty() && !row.program.empty(); }

WriteResult RepairBrowserRow(const BrowserRow& row) {
  const auto root = win32::RootFromName(row.root);
  switch (row.repair) {
    case BrowserRepair::DeleteRegistryValue:
      if (!root || (*root != HKEY_LOCAL_MACHINE && *root != HKEY_CURRENT_USER) || row.keyPath.empty())
        return Refused("The entry does not name a registry value that can be deleted.");
      return DeleteRegValue(*root, row.keyPath, row.valueName, ViewOf(row.view));
    case BrowserRepair::DeleteRegistryKey:
      if (!root || (*root != HKEY_LOCAL_MACHINE && *root != HKEY_CURRENT_USER) || row.keyPath.empty())
        return Refused("The entry does not name a registry key that can be deleted.");
      return DeleteRegTree(*root, row.keyPath, ViewOf(row.view));
    case BrowserRepair::ResetShortcutArguments:
      return WriteShortcutArguments(row.filePath, row.newArguments);
    case BrowserRepair::None:
      break;
  }
  return Refused("This setting is kept in the browser's profile, which is not changed here: open the browser's "
                 "settings page and reset it there.");
}

std::string SettingsCommandLine(const BrowserRow& row) {
  if (!CanOpenSettings(row)) return {};
  return "\"" + row.program + "\" " + row.settingsPage;
}

bool OpenBrowserSettings(const BrowserRow& row, std::string& error) {
  const std::string command = SettingsCommandLine(row);
  if (command.empty()) {
    error = "The program of " + row.browser + " was not found.";
    return false;
  }
  std::wstring line = win32::Widen(command);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(win32::Widen(row.program).c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &si, &pi)) {
    error = "Could not start " + row.program + ": " + win32::SystemErrorText(GetLastError());
    return false;
  }
  win32::UniqueHandle process(pi.hProcess), thread(pi.hThread);
  return true;
}

}  // namespace wl
