// The "Network Settings" page: the hosts file's mappings, the proxies and
// proxy scripts, the WinHTTP proxy and the DNS servers, with their verdicts;
// repairs a selected entry (a hosts line commented out, values deleted),
// backed up.
#pragma once

#include <functional>
#include <vector>

#include "network/network_settings_scan.h"
#include "ui/list_page.h"

namespace wl {

class NetworkSettingsPage : public ui::ListPage<NetworkSettingRow> {
 public:
  static constexpr int kRefreshButton = 1701;
  static constexpr int kRepairButton = 1702;
  // Items of the popup menu PMNetworkSettings.
  static constexpr int kRepairMenuItem = 1711;
  static constexpr int kRefreshMenuItem = 1712;

  explicit NetworkSettingsPage(ui::PageContext& context);

  void RefreshClick();
  void PMNetworkSettingsPopup();
  void RepairClick();
  void NetworkSettingsListColumnClick() { List().SortByCaption(); }

  void RefreshPage() override { RefreshClick(); }

  // Seams (tests replace them).
  std::function<std::vector<NetworkSettingRow>()> scan;
  std::function<WriteResult(const NetworkSettingRow&)> repair = [](const NetworkSettingRow& row) {
    return RepairNetworkSetting(row);
  };

 protected:
  void OnCreate() override;
};

}  // namespace wl
