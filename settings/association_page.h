// The file association page ("System Association"): FileSList with the open command of each
// of the twenty classes and its verdict; restores the default command of the
// launchers and system classes, sets a program of the user's choice for the
// others, and shows the program, its folder and the command's key.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "ui/images.h"
#include "ui/list_page.h"
#include "settings/association_scan.h"

namespace wl {

struct AssociationItem {
  std::size_t index = 0;  // the entry of AssociationKeys the row shows
  AssociationRow row;
  int icon = -1;  // the program's icon in the page's image list
};

class AssociationPage : public ui::ListPage<AssociationItem> {
 public:
  static constexpr int kRefreshButton = 1018;         // "Refresh"
  static constexpr int kRestoreDefaultButton = 1019;  // "Restore Default"
  static constexpr int kCustomSetButton = 1020;       // "Custom Set"
  // Items of the popup menu PMFileAss.
  static constexpr int kRestoreDefaultsMenuItem = 1201;  // "Restore Defaults"
  static constexpr int kCustomSetMenuItem = 1202;        // "Custom Set..."
  static constexpr int kFilePropertyMenuItem = 1203;     // "File Poperty"
  static constexpr int kOpenDirectoryMenuItem = 1204;    // "Open Directory"
  static constexpr int kViewEntryMenuItem = 1205;        // "View Entry"
  static constexpr int kRefreshMenuItem = 1206;          // "Refresh"

  explicit AssociationPage(ui::PageContext& context);

  void RefreshClick();
  void PMFileAssPopup();
  void FileSListClick() { PMFileAssPopup(); }
  void RestoreDefaultsClick();
  void CustomSetClick();
  void FilePropertyClick();
  void FileSListDblClick() { FilePropertyClick(); }
  void OpenDirectoryClick();
  void ViewEntryClick();

  void RefreshPage() override { RefreshClick(); }
  const AssociationTables& Tables() const;
  HIMAGELIST Images() const { return icons_.get(); }

  // Seams (tests replace them).
  std::function<std::optional<std::string>(HWND owner)> chooseProgram;
  std::function<bool(const std::string& path, HWND owner)> showProperties;
  std::function<bool(const std::string& target)> shellOpen;
  std::function<bool(const std::string& keyPath, const std::string& valueName)> jumpToRegistry;

 protected:
  void OnCreate() override;

 private:
  AssociationTables ownTables_;  // when no main window built them
  ui::ImageList icons_;
};

}  // namespace wl
