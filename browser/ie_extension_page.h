// The browser-extension page (page 6): IEExList, a check-box list of the
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
  static constexpr int kToolButton21 = 1021;  // "Refresh"
  static constexpr int kToolButton22 = 1022;  // "Remove Item"
  // Items of the popup menu PMIEEx.
  static constexpr int kRefresh6 = 1201;
  static constexpr int kSelectAll1 = 1202;
  static constexpr int kUnSelectAll1 = 1203;
  static constexpr int kDeleteItems1 = 1204;
  static constexpr int kFilePoperty3 = 1205;
  static constexpr int kF1 = 1206;

  explicit IeExtensionPage(ui::PageContext& context);

  void Refresh6Click();
  void ToolButton21Click() { Refresh6Click(); }
  void DeleteItems1Click();
  void ToolButton22Click() { DeleteItems1Click(); }
  void SelectAll1Click() { List().CheckAll(true); }
  void UnSelectAll1Click() { List().CheckAll(false); }
  void FilePoperty3Click();
  void F1Click();
  void IEExListDblClick();
  void PMIEExPopup();
  void IEExListClick() { PMIEExPopup(); }
  void IEExListColumnClick() { List().SortByCaption(); }

  void RefreshPage() override { Refresh6Click(); }

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
