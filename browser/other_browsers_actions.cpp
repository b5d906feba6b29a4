#include "browser/other_browsers_actions.h"

#include <windows.h>

#include "sysroutines/system_paths.h"
#include "win32/registry.h"
#include "win32/system_error.h"

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
  if (!CanOpenSettings(row)) {
    error = "The program of " + row.browser + " was not found.";
    return false;
  }
  uint32_t code = 0;
  if (!StartProgram(row.program, row.settingsPage, &code)) {
    error = "Could not start " + row.program + ": " + win32::SystemErrorText(code);
    return false;
  }
  return true;
}

}  // namespace wl
