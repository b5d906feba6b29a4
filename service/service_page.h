// The service page (page 2): ServiceList with the services, their state,
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
  static constexpr int kToolButton12 = 1012;  // "Refresh"
  static constexpr int kToolButton13 = 1013;  // "Start Service"
  static constexpr int kToolButton14 = 1014;  // "Stop Service"
  static constexpr int kToolButton17 = 1017;  // "Remove Service"
  // Items of the popup menu PMService.
  static constexpr int kStartService1 = 1101;
  static constexpr int kStopService1 = 1102;
  static constexpr int kRemoveService1 = 1103;
  static constexpr int kRefresh2 = 1104;
  static constexpr int kAUTOSTART1 = 1105;
  static constexpr int kDEMANDSTART1 = 1106;
  static constexpr int kDISABLED1 = 1107;

  static constexpr COLORREF kDistrustfulRowColor = 12639424;  // RGB(192, 220, 192)

  explicit ServicePage(ui::PageContext& context);

  void Refresh2Click();
  void ToolButton12Click() { Refresh2Click(); }
  void PMServicePopup();
  void ServiceListClick() { PMServicePopup(); }
  void StartService1Click();
  void ToolButton13Click() { StartService1Click(); }
  void StopService1Click();
  void ToolButton14Click() { StopService1Click(); }
  void AUTOSTART1Click() { SetStartType(kStartAuto); }
  void DEMANDSTART1Click() { SetStartType(kStartDemand); }
  void DISABLED1Click() { SetStartType(kStartDisabled); }
  void RemoveService1Click();
  void ToolButton17Click() { RemoveService1Click(); }
  void ServiceListDblClick();
  COLORREF ServiceListCustomDrawItem(const ServiceRow& row) const;
  void ServiceListColumnClick() { List().SortByCaption(); }

  void RefreshPage() override { Refresh2Click(); }

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
