// The browser settings on the live registry: the nine fields of the settings
// page read from the browser's four keys, and written back in the save
// order.
#pragma once

#include <windows.h>

#include <string>

#include "browser/browser_rules.h"
#include "refdb/reference_tables.h"
#include "core/page_text.h"
#include "sysroutines/system_write.h"

namespace wl {

// The roots and key paths of the four keys (no leading backslash). Tests
// point them at keys of their own.
struct BrowserSettingsPlaces {
  HKEY userRoot = HKEY_CURRENT_USER;
  HKEY machineRoot = HKEY_LOCAL_MACHINE;
  std::string userMain = IeSettingsKeyPath(IeSettingsKey::UserMain);
  std::string userSearch = IeSettingsKeyPath(IeSettingsKey::UserSearch);
  std::string machineMain = IeSettingsKeyPath(IeSettingsKey::MachineMain);
  std::string machineSearch = IeSettingsKeyPath(IeSettingsKey::MachineSearch);

  HKEY RootOf(IeSettingsKey key) const { return IsMachineKey(key) ? machineRoot : userRoot; }
  const std::string& PathOf(IeSettingsKey key) const;
};

// The fields as the page shows them after a load; a missing key or value
// loads as empty text. Keys are opened for reading only. The machine's keys
// are read in machineView: the default (64-bit) view is the machine's own,
// the 32-bit view keeps values of its own for 32-bit programs.
SettingsTexts LoadBrowserSettings(const BrowserSettingsPlaces& places = {},
                                  win32::RegView machineView = win32::RegView::Default);
// Whether the field shows a value of the machine's keys (it then has a value
// in each registry view).
bool IsMachineField(SettingsField field);

struct SettingsSaveResult {
  WriteResult write;      // the first write that failed; done when all were written
  std::string valueName;  // the value it was writing
  bool ok() const { return write.ok(); }
};
// Writes every value of the save order, each as a plain string, creating a
// key when missing; stops at the first write that fails (the values before
// it stay written). A machine value is written in the default view and also
// in the 32-bit view where that view holds the value.
SettingsSaveResult SaveBrowserSettings(const SettingsTexts& fields, const BrowserSettingsPlaces& places = {});

// What the console scanner prints: one row per field, its label and value.
PageText BrowserSettingsPageText(const ReferenceTables& tables);

}  // namespace wl
