// The "Other Browsers" page: the settings and add-ons of current browsers
// (Edge, Chrome, Brave and other Chromium browsers, Firefox) — policies,
// externally installed and profile extensions, home, start-up and search
// settings, browser shortcuts — with their verdicts; repairs the ones kept in
// the registry or in shortcuts and opens the browser's own settings page for
// the ones kept in its profile.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "browser/other_browsers_scan.h"
#include "sysroutines/system_write.h"
#include "ui/list_page.h"

namespace wl {

class OtherBrowsersPage : public ui::ListPage<BrowserRow> {
 public:
  static constexpr int kRefreshButton = 1401;
  static constexpr int kRepairButton = 1402;
  static constexpr int kSettingsButton = 1403;
  // Items of the popup menu PMOtherBrowsers.
  static constexpr int kRepairMenuItem = 1411;
  static constexpr int kOpenSettingsMenuItem = 1412;
  static constexpr int kRefreshMenuItem = 1413;

  explicit OtherBrowsersPage(ui::PageContext& context);

  void RefreshClick();
  void PMOtherBrowsersPopup();
  void RepairClick();
  void OpenSettingsClick();
  void OtherBrowsersListColumnClick() { List().SortByCaption(); }
  void OtherBrowsersListDblClick() { OpenSettingsClick(); }

  void RefreshPage() override { RefreshClick(); }

  // Seams (tests replace them).
  std::function<std::vector<BrowserRow>()> scan = [] { return ScanOtherBrowsers(); };
  std::function<WriteResult(const BrowserRow&)> repair;
  std::function<bool(const BrowserRow&, std::string& error)> openSettings;
  std::function<bool(const std::string& program)> isRunning;

 protected:
  void OnCreate() override;
};

}  // namespace wl
