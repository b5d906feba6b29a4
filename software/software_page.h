// The installed-software page (page 12): SoftList with the programs
// registered for uninstallation; runs an uninstaller, removes an entry, opens
// the program's folder and shows the entry in the registry editor.
#pragma once

#include <functional>
#include <string>

#include "ui/list_page.h"
#include "software/installed_software.h"
#include "sysroutines/system_write.h"

namespace wl {

class SoftwarePage : public ui::ListPage<SoftwareRow> {
 public:
  static constexpr int kToolButton29 = 1029;  // "Refresh"
  static constexpr int kToolButton27 = 1027;  // "Uninstall"
  static constexpr int kToolButton28 = 1028;  // "Remove Entry"
  // Items of the popup menu PMSoft.
  static constexpr int kUninstall1 = 1301;
  static constexpr int kLogon1 = 1302;
  static constexpr int kRefresh5 = 1303;
  static constexpr int kOpenFolder6 = 1304;
  static constexpr int kViewRegKey3 = 1305;

  explicit SoftwarePage(ui::PageContext& context);

  void Refresh5Click();
  void ToolButton29Click() { Refresh5Click(); }
  void PMSoftPopup();
  void SoftListClick() { PMSoftPopup(); }
  void Uninstall1Click();
  void ToolButton27Click() { Uninstall1Click(); }
  void SoftListDblClick() { Uninstall1Click(); }
  void Logon1Click();
  void ToolButton28Click() { Logon1Click(); }
  void OpenFolder6Click();
  void ViewRegKey3Click();
  void SoftListColumnClick() { List().SortByCaption(); }

  void RefreshPage() override { Refresh5Click(); }
  // The first column's title as the list shows it.
  std::string HeaderText() const;

  // Seams (tests replace them).
  std::function<SoftwareScanResult()> scan = [] { return ScanInstalledSoftware(); };
  // The command and the entry's "RegistryKey" text.
  std::function<WriteResult(const std::string& command, const std::string& registryKey)> startUninstaller;
  std::function<bool(const std::string& target)> shellOpen;
  std::function<bool(const std::string& keyPath, const std::string& valueName)> jumpToRegistry;

 protected:
  void OnCreate() override;

 private:
  void SetHeader(const std::string& text);
};

}  // namespace wl
