// The list-page framework: a page with a toolbar on top and a report list
// below, whose actions appear as toolbar buttons (with hints) and as items of
// the list's popup menu.
//
// How to add a page
// -----------------
// 1. In the page's subsystem folder, write the scanner (system layer, no
//    windows): a function that reads the machine and returns plain rows, and
//    appends the rows it flags to the hijack report, e.g.
//        std::vector<PortRow> ReadPorts(const ReferenceTables& tables);
// 2. Beside it, write the page class (UI layer), a ListPage over that row:
//        class PortPage : public ui::ListPage<PortRow> {
//         public:
//          explicit PortPage(ui::PageContext& c)
//              : ListPage(c, {{"Description", 290, [](const PortRow& r) { return r.description; }},
//                             {"Protocol", 55, [](const PortRow& r) { return r.protocol; }}}) {
//            AddAction({.id = kRefreshButton, .caption = "Refresh", .hint = "Refresh the active ports.",
//                       .glyph = ui::Glyph::Refresh, .handler = [this] { RefreshClick(); }});
//            OnPopup([this] { /* enable actions by List().Selected() */ });
//            OnColumnClick([this](int) { PortListColumnClick(); });
//          }
//          void RefreshClick() { List().SetRows(ReadPorts(context_.tables)); }
//          void PortListColumnClick() { List().SortByCaption(); }
//          bool IsEmpty() const override { return List().Empty(); }
//          void RefreshPage() override { RefreshClick(); }
//        };
//    Name the actions and their handlers for what they do (`kRefreshButton`,
//    `kRefreshMenuItem`, `RefreshClick`): a toolbar button and a menu item
//    that do the same run one handler, each a few lines.
// 3. Describe it with one row of the feature table (features/
//    feature_table.cpp: its navigation item, its page, help topic and what
//    needs administrative rights, its wlscan listing and hijack-scan step)
//    and link its library into wl_features (features/CMakeLists.txt).
// The navigation item then runs RefreshPage while IsEmpty(), and the hijack
// scan runs RefreshPage of the pages it scans.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/images.h"
#include "ui/page.h"
#include "ui/report_list.h"

namespace wl::ui {

struct PageAction {
  int id = 0;                 // command id, unique within the page (1000 and up)
  std::string caption{};      // menu item and toolbar button text
  std::string hint{};         // toolbar hint: tooltip and status bar
  Glyph glyph = Glyph::None;  // toolbar picture
  std::function<void()> handler{};
  bool toolbar = true;  // has a toolbar button
  bool menu = true;     // has a popup-menu item
};

// Runs around every action a list page carries out: gets the page and the
// action's caption and returns what lives while the action runs (the program
// opens one change set of its backups per action). Empty: nothing.
using ActionScope = std::function<std::shared_ptr<void>(const Page& page, const std::string& action)>;
ActionScope& ListPageActionScope();
// The same around an action of a page that is not a list (a settings page's
// "Save Settings"): null when no scope is installed.
std::shared_ptr<void> BeginPageAction(const Page& page, const std::string& action);

// And around a dialog's action ("Apply"); title names the dialog.
using DialogActionScopeFn = std::function<std::shared_ptr<void>(const std::string& title, const std::string& action)>;
DialogActionScopeFn& DialogActionScope();
std::shared_ptr<void> BeginDialogAction(const std::string& title, const std::string& action);

class ListPageBase : public Page {
 public:
  explicit ListPageBase(PageContext& context) : Page(context) {}
  ~ListPageBase() override;

  // Before Create: declares an action (toolbar button and/or menu item).
  void AddAction(PageAction action);
  // Before Create: a separator in the toolbar and the menu.
  void AddSeparator();
  // The page's `…Popup` handler: runs before the popup menu opens, on a click
  // in the list, when the selection changes and after the rows change.
  void OnPopup(std::function<void()> handler) { popup_ = std::move(handler); }
  void OnColumnClick(std::function<void(int column)> handler) { columnClick_ = std::move(handler); }
  void OnDoubleClick(std::function<void()> handler) { doubleClick_ = std::move(handler); }

  // Before Create: a drop-down list of choices at the right end of the
  // toolbar (a filter over the rows); onChange gets the chosen index.
  void AddFilter(std::vector<std::string> choices, std::function<void(int choice)> onChange, int width96 = 150);
  int FilterChoice() const { return filterChoice_; }
  // Chooses as the user would: the list shows it and onChange runs.
  void ChooseFilter(int choice);
  HWND FilterBox() const { return filterBox_; }

  void EnableAction(int id, bool enabled);
  bool IsActionEnabled(int id) const;
  // Runs an action as its button or menu item would (nothing when disabled).
  bool InvokeAction(int id);
  // Runs the `…Popup` handler.
  void RunPopup();

  std::optional<std::string> HintAt(HWND control, POINT screenPoint) override;
  HWND Toolbar() const { return toolbar_; }
  HMENU PopupMenu() const { return menu_; }
  // The popup menu is opening (tests use this to look at it instead).
  std::function<void(HMENU menu, POINT screen)> onTrackPopup;

 protected:
  // The list the toolbar and menu act on.
  virtual win32::ListView& MainView() = 0;
  virtual bool CreateList(UINT dpi) = 0;

  void OnCreate() override;
  void OnLayout(int width, int height) override;
  bool OnCommand(int id, int code, HWND control) override;
  bool OnNotify(const NMHDR* header, LRESULT* result) override;
  bool OnContextMenu(HWND control, POINT screen) override;
  void OnDpiChanged() override;
  // The list sits below the toolbar; pages with more controls override.
  virtual void LayoutBelowToolbar(const RECT& area);
  // How wide the toolbar's buttons are, from its left edge to the end of the last.
  int ButtonsWidth() const;

  static constexpr int kListId = 100;
  static constexpr int kToolbarId = 101;
  static constexpr int kFilterId = 102;

 private:
  const PageAction* FindAction(int id) const;
  void BuildToolbar();

  std::vector<PageAction> actions_;  // id 0 = separator
  std::vector<int> disabled_;
  HWND toolbar_ = nullptr;
  HMENU menu_ = nullptr;
  ImageList toolbarImages_;
  std::wstring tipText_;
  std::function<void()> popup_;
  std::function<void(int)> columnClick_;
  std::function<void()> doubleClick_;
  std::vector<std::string> filterChoices_;
  std::function<void(int)> filterChanged_;
  int filterWidth96_ = 0;
  int filterChoice_ = 0;
  HWND filterBox_ = nullptr;
};

template <class Row>
class ListPage : public ListPageBase {
 public:
  ListPage(PageContext& context, std::vector<ReportColumn<Row>> columns, win32::ListStyle style = {})
      : ListPageBase(context), list_(std::move(columns), style) {}

  ReportList<Row>& List() { return list_; }
  const ReportList<Row>& List() const { return list_; }
  bool IsEmpty() const override { return list_.Empty(); }

  // Replaces the rows and brings the actions up to date.
  void ShowRows(std::vector<Row> rows) {
    list_.SetRows(std::move(rows));
    RunPopup();
  }
  // Shows the rows of a scan whose hijack rows name a row by its place in
  // rows (HijackRow::index). Each row keeps that place in its member
  // scanPlace, and each hijack row is given the place its row takes in the
  // list instead: a list that sorts itself puts the rows in another order.
  void ShowRowsOfScan(std::vector<Row> rows, std::vector<HijackRow>& hijack, int Row::*scanPlace) {
    for (std::size_t i = 0; i < rows.size(); ++i) rows[i].*scanPlace = static_cast<int>(i);
    ShowRows(std::move(rows));
    std::vector<int> listPlace(List().Count(), -1);
    for (std::size_t pos = 0; pos < List().Count(); ++pos) {
      const int place = List().Rows()[pos].*scanPlace;
      if (place >= 0 && static_cast<std::size_t>(place) < listPlace.size())
        listPlace[static_cast<std::size_t>(place)] = static_cast<int>(pos);
    }
    for (HijackRow& h : hijack)
      if (h.index >= 0 && static_cast<std::size_t>(h.index) < listPlace.size())
        h.index = listPlace[static_cast<std::size_t>(h.index)];
  }

 protected:
  win32::ListView& MainView() override { return list_.View(); }
  bool CreateList(UINT dpi) override { return list_.Create(hwnd(), kListId, dpi); }
  void OnDpiChanged() override {
    ListPageBase::OnDpiChanged();
    list_.ScaleColumns(Dpi());
  }

 private:
  ReportList<Row> list_;
};

}  // namespace wl::ui
