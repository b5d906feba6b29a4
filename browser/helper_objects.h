// The helper-object and ActiveX list: the components the browser loads, from
// the per-user add-on statistics, or, when those give none, from the
// downloaded-control database and the helper-object list (both registry
// views); their verdicts from Class.db; and the per-user switch that
// disables a component.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "browser/browser_rules.h"
#include "core/hijack_list.h"
#include "refdb/reference_tables.h"
#include "core/page_text.h"
#include "sysroutines/system_write.h"
#include "win32/registry.h"

namespace wl {

// The registry places the scan and the actions use (key paths below their
// roots, no leading backslash). Tests point them at keys of their own.
struct HelperObjectPlaces {
  HKEY userRoot = HKEY_CURRENT_USER;
  std::string statsKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Ext\\Stats";
  std::string settingsKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Ext\\Settings";
  HKEY machineRoot = HKEY_LOCAL_MACHINE;
  std::string classesKey = "SOFTWARE\\Classes\\CLSID";
  std::string extensionsKey = "SOFTWARE\\Microsoft\\Internet Explorer\\Extensions";
  std::string distributionUnitsKey = "SOFTWARE\\Microsoft\\Code Store Database\\Distribution Units";
  std::string helperObjectsKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects";
  // The views the per-machine places are read in: native, then 32-bit.
  std::vector<win32::RegView> machineViews = {win32::RegView::Force64, win32::RegView::Force32};
};

struct HelperObjectScanResult {
  std::vector<HelperObjectRow> rows;
  std::vector<HijackRow> hijack;  // one "Browser Help Object" row per list row
  // Statistics entries passed over because their "iexplore" key or integer
  // "Type" is missing or damaged.
  std::vector<std::string> skipped;
};

// The scan of the helper-object page (RefreshClick). For each statistics
// entry, a row for each view in which its class (or extension program) is
// registered with a name.
HelperObjectScanResult ScanHelperObjects(const ReferenceTables& tables);
HelperObjectScanResult ScanHelperObjects(const ReferenceTables& tables, const HelperObjectPlaces& places);

// Whether the component's per-user settings key disables it.
bool ReadComponentDisabled(const std::string& clsid, const HelperObjectPlaces& places = {});
// Disable: "Flags" = 1 (a DWORD) and "Version" = "*" in the component's
// settings key (created when missing). Enable: that key is deleted with
// everything below it; enabling a component without one changes nothing.
WriteResult SetComponentDisabled(const std::string& clsid, bool disabled, const HelperObjectPlaces& places = {});

// Whether "Remove" has something to delete for the row: its "Browser Helper
// Objects" entry, or its "Extensions" entry for an extension program, in
// some registry view.
bool CanRemoveHelperObject(const HelperObjectRow& row, const HelperObjectPlaces& places = {});
// Deletes that entry in every view where it exists. Fails (and says why) when
// a delete fails or there is no entry.
WriteResult RemoveHelperObject(const HelperObjectRow& row, const HelperObjectPlaces& places = {});

// What the console scanner prints for the helper-object page.
PageText HelperObjectsPageText(const Judge& judge);
// The same from a scan already made.
PageText HelperObjectsPageTextOf(const HelperObjectScanResult& scan);

}  // namespace wl
