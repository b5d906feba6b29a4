// The helper-object page ("BHO/Browser ActiveX"): IEBHOList with the ActiveX controls,
// helper objects and extension programs the browser loads, their verdicts,
// the per-user switch that disables one, removal of the entry that makes
// the browser load it, properties and folder of its file.
#pragma once

#include <functional>
#include <string>

#include "browser/helper_objects.h"
#include "ui/list_page.h"

namespace wl {

class HelperObjectPage : public ui::ListPage<HelperObjectRow> {
 public:
  // Toolbar buttons.
  static constexpr int kRefreshButton = 1023;     // "Refresh"
  static constexpr int kRemoveItemButton = 1024;  // "Remove Item"
  // Items of the popup menu PMBHO.
  static constexpr int kStateMenuItem = 1301;
  static constexpr int kEnableMenuItem = 1302;
  static constexpr int kRemoveMenuItem = 1303;
  static constexpr int kRefreshMenuItem = 1304;
  static constexpr int kFilePropertyMenuItem = 1305;
  static constexpr int kOpenDirectoryMenuItem = 1306;

  explicit HelperObjectPage(ui::PageContext& context);

  void RefreshClick();
  void PMBHOPopup();
  void IEBHOListClick() { PMBHOPopup(); }
  void EnableClick();
  void RemoveClick();
  void FilePropertyClick();
  void OpenDirectoryClick();
  void IEBHOListDblClick();
  void IEBHOListColumnClick() { List().SortByCaption(); }

  void RefreshPage() override { RefreshClick(); }

  // The action "&Enable" offers for the selected row (its image index):
  // 1 = disable it, 0 = enable it.
  int OfferedAction() const { return offer_; }
  // The header text of a column as the list shows it.
  std::string HeaderText(int column) const;

  // Seams: what reads and changes the system (tests replace them).
  std::function<HelperObjectScanResult()> scan;
  std::function<bool(const std::string& clsid)> readDisabled = [](const std::string& clsid) {
    return ReadComponentDisabled(clsid);
  };
  std::function<WriteResult(const std::string& clsid, bool disabled)> setDisabled =
      [](const std::string& clsid, bool disabled) { return SetComponentDisabled(clsid, disabled); };
  std::function<bool(const HelperObjectRow& row)> canRemove = [](const HelperObjectRow& row) {
    return CanRemoveHelperObject(row);
  };
  std::function<WriteResult(const HelperObjectRow& row)> remove = [](const HelperObjectRow& row) {
    return RemoveHelperObject(row);
  };
  std::function<bool(const std::string& path, HWND owner)> showProperties;
  std::function<bool(const std::string& folder)> openFolder;

 protected:
  void OnCreate() override;

 private:
  void SetHeader(int column, const std::string& text);
  void SetMenuCaption(int id, const std::string& caption);

  int offer_ = 1;
};

}  // namespace wl
