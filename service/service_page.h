// The service page ("System Service"): ServiceList with the services, their state,
// start type, program path and verdict; start, stop, start-type change,
// removal and the program's properties.
#pragma once

#include <functional>
#include <string>

#include "ui/list_page.h"
#include "service/service_actions.h"
#include "service/service_scan.h"

namespace wl {

class ServicePage : public ui::ListPage<ServiceRow> {
 public:
  // Toolbar buttons.
  static constexpr int kRefreshButton = 1012;        // "Refresh"
  static constexpr int kStartServiceButton = 1013;   // "Start Service"
  static constexpr int kStopServiceButton = 1014;    // "Stop Service"
  static constexpr int kRemoveServiceButton = 1017;  // "Remove Service"
  // Items of the popup menu PMService.
  static constexpr int kStartServiceMenuItem = 1101;
  static constexpr int kStopServiceMenuItem = 1102;
  static constexpr int kRemoveServiceMenuItem = 1103;
  static constexpr int kRefreshMenuItem = 1104;
  static constexpr int kAutoStartMenuItem = 1105;
  static constexpr int kManualStartMenuItem = 1106;
  static constexpr int kDisabledMenuItem = 1107;

  static constexpr COLORREF kDistrustfulRowColor = 12639424;  // RGB(192, 220, 192)

  explicit ServicePage(ui::PageContext& context);

  void RefreshClick();
  void PMServicePopup();
  void ServiceListClick() { PMServicePopup(); }
  void StartServiceClick();
  void StopServiceClick();
  void AutoStartClick() { SetStartType(kStartAuto); }
  void ManualStartClick() { SetStartType(kStartDemand); }
  void DisabledClick() { SetStartType(kStartDisabled); }
  void RemoveServiceClick();
  void ServiceListDblClick();
  COLORREF ServiceListCustomDrawItem(const ServiceRow& row) const;
  void ServiceListColumnClick() { List().SortByCaption(); }

  void RefreshPage() override { RefreshClick(); }

  // Seams: what reads and changes the system (tests replace them).
  std::function<ServiceScanResult()> scan = [this] { return ScanServices(PageJudge()); };
  std::function<bool(const std::string& keyName)> startService;
  std::function<bool(const std::string& keyName)> stopService;
  std::function<RemoveServiceResult(const ServiceRow& row)> removeService = [this](const ServiceRow& row) {
    return RemoveServiceEntry(row, PageJudge());
  };
  std::function<bool(const std::string& path, HWND owner)> showProperties;

 protected:
  void OnCreate() override;

 private:
  void SetStartType(uint32_t start);
};

}  // namespace wl
