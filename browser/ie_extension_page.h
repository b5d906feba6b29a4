// The browser-extension page ("Browser Extensions"): IEExList, a check-box list of the
// browser's context-menu entries, toolbars and tool buttons with their
// icons; removal of the checked rows, properties and folder of a row.
#pragma once

#include <functional>
#include <string>

#include "browser/ie_sweeper.h"
#include "ui/list_page.h"

namespace wl {

struct IeExListRow {
  IeExtensionRow entry;
  int image = -1;  // in ImageListMain; -1: none
};

class IeExtensionPage : public ui::ListPage<IeExListRow> {
 public:
  // Toolbar buttons.
  static constexpr int kRefreshButton = 1021;     // "Refresh"
  static constexpr int kRemoveItemButton = 1022;  // "Remove Item"
  // Items of the popup menu PMIEEx.
  static constexpr int kRefreshMenuItem = 1201;
  static constexpr int kSelectAllMenuItem = 1202;
  static constexpr int kUnselectAllMenuItem = 1203;
  static constexpr int kDeleteItemsMenuItem = 1204;
  static constexpr int kFilePropertyMenuItem = 1205;
  static constexpr int kOpenDirectoryMenuItem = 1206;

  explicit IeExtensionPage(ui::PageContext& context);

  void RefreshClick();
  void DeleteItemsClick();
  void SelectAllClick() { List().CheckAll(true); }
  void UnselectAllClick() { List().CheckAll(false); }
  void FilePropertyClick();
  void OpenDirectoryClick();
  void IEExListDblClick();
  void PMIEExPopup();
  void IEExListClick() { PMIEExPopup(); }
  void IEExListColumnClick() { List().SortByCaption(); }

  void RefreshPage() override { RefreshClick(); }

  // Seams: what reads and changes the system (tests replace them).
  std::function<IeExtensionScanResult()> scan;
  std::function<WriteResult(const IeExtensionRow& row)> remove = [](const IeExtensionRow& row) {
    return RemoveIeExtension(row);
  };
  std::function<bool(const std::string& path, HWND owner)> showProperties;
  std::function<bool(const std::string& folder)> openFolder;

 protected:
  void OnCreate() override;

 private:
  // The program a row's "File Path" names, upper-cased.
  std::string RowProgram(const IeExtensionRow& row) const;
};

}  // namespace wl
