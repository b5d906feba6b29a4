// The installed-software page ("Uninstall Software"): SoftList with the programs
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
  static constexpr int kRefreshButton = 1029;      // "Refresh"
  static constexpr int kUninstallButton = 1027;    // "Uninstall"
  static constexpr int kRemoveEntryButton = 1028;  // "Remove Entry"
  // Items of the popup menu PMSoft.
  static constexpr int kUninstallMenuItem = 1301;
  static constexpr int kLogOnMenuItem = 1302;
  static constexpr int kRefreshMenuItem = 1303;
  static constexpr int kOpenDirectoryMenuItem = 1304;
  static constexpr int kViewEntryMenuItem = 1305;

  explicit SoftwarePage(ui::PageContext& context);

  void RefreshClick();
  void PMSoftPopup();
  void SoftListClick() { PMSoftPopup(); }
  void UninstallClick();
  void SoftListDblClick() { UninstallClick(); }
  void RemoveEntryClick();
  void OpenDirectoryClick();
  void ViewEntryClick();
  void SoftListColumnClick() { List().SortByCaption(); }

  void RefreshPage() override { RefreshClick(); }
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
