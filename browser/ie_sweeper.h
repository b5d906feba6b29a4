// The browser-extension enumerator TIESweeper and the extension scan: the
// browser's context-menu entries (per user), toolbars and tool buttons (per
// machine, in both registry views), with the details a row needs, and the
// deletes that remove an entry again.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "browser/browser_rules.h"
#include "core/hijack_list.h"
#include "refdb/reference_tables.h"
#include "core/page_text.h"
#include "sysroutines/system_write.h"
#include "win32/registry.h"

namespace wl {

// The registry places the enumerator reads (key paths below their roots, no
// leading backslash). Tests point them at keys of their own.
struct IeExtensionPlaces {
  HKEY menuExtRoot = HKEY_CURRENT_USER;
  std::string menuExtKey = "SOFTWARE\\Microsoft\\Internet Explorer\\MenuExt";
  HKEY machineRoot = HKEY_LOCAL_MACHINE;
  std::string toolbarKey = "SOFTWARE\\Microsoft\\Internet Explorer\\Toolbar";
  std::string extensionsKey = "SOFTWARE\\Microsoft\\Internet Explorer\\Extensions";
  HKEY classesRoot = HKEY_CLASSES_ROOT;
  std::string classesKey = "CLSID";
  // The views the per-machine places are read in: the native one and the
  // 32-bit one, where the browser's 32-bit tabs find their add-ons.
  std::vector<win32::RegView> machineViews = {win32::RegView::Force64, win32::RegView::Force32};
};

class TIESweeper {
 public:
  explicit TIESweeper(IeExtensionPlaces places = {}) : places_(std::move(places)) {}

  // Events; one that is not set is skipped. Handlers may call the read
  // operations while an enumeration runs: every enumeration collects its
  // names first and only then raises the events.
  std::function<void(TIESweeper&, const std::string& clsid, win32::RegView view)> OnToolbar;
  std::function<void(TIESweeper&, const std::string& subKey, win32::RegView view)> OnExtension;
  std::function<void(TIESweeper&, const std::string& name, const std::string& value)> OnMenuExt;

  void EnumMenuExt();
  void EnumToolbars();     // in every machine view
  void EnumExtensions();   // in every machine view

  // Each deletes only what exists; an entry that is not there gives a
  // result that says so (NotFound()).
  WriteResult DeleteMenuExt(const std::string& name) const;
  WriteResult DeleteToolbar(const std::string& clsid, win32::RegView view) const;
  WriteResult DeleteExtension(const std::string& subKey, win32::RegView view) const;

  // Reads; empty when absent.
  std::string ReadClassName(const std::string& clsid, win32::RegView view) const;
  std::string ReadInprocServer(const std::string& clsid, win32::RegView view) const;
  std::string ReadButtonText(const std::string& subKey, win32::RegView view) const;
  std::string ReadHotIcon(const std::string& subKey, win32::RegView view) const;

  const IeExtensionPlaces& Places() const { return places_; }

 private:
  IeExtensionPlaces places_;
};

// The file a server path of a registry view names: environment variables
// expanded, a 32-bit server's system folder taken as the 32-bit one.
std::string ServerFileInView(const std::string& server, bool wow32);
// Its 8.3 form as the list shows it; empty when the file does not exist.
std::string ShortServerPath(const std::string& server, win32::RegView view);

struct IeExtensionScanResult {
  std::vector<IeExtensionRow> rows;  // menu entries, toolbars, tool buttons, in that order
  std::vector<HijackRow> hijack;     // one row per entry
};

// The enumeration of the extension page (RefreshClick): every entry of the
// three places, in both views where the place is per machine.
IeExtensionScanResult ScanIeExtensions(const ReferenceTables& tables);
IeExtensionScanResult ScanIeExtensions(const ReferenceTables& tables, const IeExtensionPlaces& places);

// Removes a checked row as its "Item Type" says: the Extensions sub-key of a
// tool button, the MenuExt sub-key of a menu entry; a toolbar's server
// unregisters itself (the Toolbar value is left to it), a toolbar without a
// server file loses its Toolbar value. Every change in the row's view.
WriteResult RemoveIeExtension(const IeExtensionRow& row, const IeExtensionPlaces& places = {});

// What the console scanner prints for the extension page.
PageText IeExtensionsPageText(const Judge& judge);
// The same from a scan already made.
PageText IeExtensionsPageTextOf(const IeExtensionScanResult& scan);

}  // namespace wl
