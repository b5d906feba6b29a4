// The repairs of the "Other Browsers" page, through the shared write
// routines (so each is backed up like every other change), and opening a
// browser's own settings page.
#pragma once

#include <string>

#include "browser/other_browsers_rules.h"
#include "sysroutines/system_write.h"

namespace wl {

// Deletes the policy value, forced-extension entry or external extension the
// row names, or resets its shortcut's arguments to the expected switches.
// Rows read from profile files are not repaired here (ERROR_NOT_SUPPORTED):
// the browser's own reset changes them safely.
WriteResult RepairBrowserRow(const BrowserRow& row);

// What the page offers for a row.
bool CanRepair(const BrowserRow& row);
bool CanOpenSettings(const BrowserRow& row);

// The command line that opens the row's browser on its settings page:
// the program, quoted, and the page. Empty when the program is not known.
std::string SettingsCommandLine(const BrowserRow& row);
// Starts it (no waiting). False with a reason when it cannot be started.
bool OpenBrowserSettings(const BrowserRow& row, std::string& error);

}  // namespace wl
