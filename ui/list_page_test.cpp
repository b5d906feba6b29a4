// The list-page framework on a page of its own: rows through the column
// table, sorting by the first column from a header click on, actions that
// follow the selection, check boxes, the popup menu and toolbar hints.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>

#include "ui/list_page.h"
#include "ui/ui_test_support.h"
#include "win32/unicode.h"

namespace wl::ui {
namespace {

using ::testing::ElementsAre;

struct Fruit {
  std::string name;
  int weight = 0;
};

class FakeUi : public UiServices {
 public:
  int Message(const std::string&, const std::string&, UINT) override { return IDOK; }
  void ShowStatus(const std::string&) override {}
  HWND OwnerWindow() const override { return nullptr; }
  const std::string& AppPath() const override { return path_; }

 private:
  std::string path_;
};

class FruitPage : public ListPage<Fruit> {
 public:
  static constexpr int kRefresh = 1001;
  static constexpr int kRemove = 1002;
  static constexpr int kSelectAll = 1003;

  explicit FruitPage(PageContext& c)
      : ListPage(c,
                 {{"Name", 120, [](const Fruit& f) { return f.name; },
                   [](const Fruit& f) { return f.weight > 100 ? stock::kWarning : stock::kCheck; }},
                  {"Weight", 80, [](const Fruit& f) { return std::to_string(f.weight); }},
                  {"Hidden", 0, [](const Fruit&) { return std::string("x"); }}},
                 win32::ListStyle{.checkBoxes = true}) {
    AddAction({.id = kRefresh,
               .caption = "Refresh",
               .hint = "Refresh the fruit.",
               .glyph = Glyph::Refresh,
               .handler = [this] { ++refreshed; }});
    AddSeparator();
    AddAction({.id = kRemove,
               .caption = "Remove",
               .hint = "Remove the fruit.",
               .glyph = Glyph::Delete,
               .handler = [this] { removed.push_back(List().Selected()->name); }});
    AddAction({.id = kSelectAll,
               .caption = "Select All",
               .handler = [this] { List().CheckAll(true); },
               .toolbar = false});
    OnPopup([this] {
      ++popups;
      EnableAction(kRemove, List().Selected() != nullptr);
    });
    OnColumnClick([this](int) { List().SortByCaption(); });
  }
  int refreshed = 0;
  int popups = 0;
  std::vector<std::string> removed;
};

class FilteredFruitPage : public FruitPage {
 public:
  explicit FilteredFruitPage(PageContext& c) : FruitPage(c) { AddFilter({"All Fruit", "Heavy"}, [](int) {}); }
};

class ListPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::EnsureUi();
    images_ = MakeSharedImages(16);
    host_ = CreateWindowExW(WS_EX_CONTROLPARENT, L"STATIC", L"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 640,
                            480, nullptr, nullptr, nullptr, nullptr);
    page_ = std::make_unique<FruitPage>(context_);
    ASSERT_TRUE(page_->Create(host_));
    MoveWindow(page_->hwnd(), 0, 0, 620, 440, TRUE);
    ShowWindow(page_->hwnd(), SW_SHOW);
    page_->List().View().SetSmallImages(images_.rowImages.get());
  }
  void TearDown() override {
    page_.reset();
    DestroyWindow(host_);
  }

  std::vector<std::string> Shown() {
    std::vector<std::string> names;
    for (std::size_t i = 0; i < page_->List().View().ItemCount(); ++i) names.push_back(page_->List().CellText(i, 0));
    return names;
  }
  HWND ListHwnd() { return page_->List().hwnd(); }
  void ClickRow(int row) {
    RECT r{};
    ListView_GetItemRect(ListHwnd(), row, &r, LVIR_LABEL);
    test::Click(ListHwnd(), test::Center(r));
    test::Pump();
  }
  bool MenuEnabled(int id) {
    return !(GetMenuState(page_->PopupMenu(), static_cast<UINT>(id), MF_BYCOMMAND) & MF_GRAYED);
  }
  bool ButtonEnabled(int id) {
    return SendMessageW(page_->Toolbar(), TB_ISBUTTONENABLED, static_cast<WPARAM>(id), 0) != 0;
  }

  ReferenceTables tables_;
  HijackList hijack_;
  SharedImages images_;
  FakeUi ui_;
  PageContext context_{tables_, hijack_, images_, ui_};
  HWND host_ = nullptr;
  std::unique_ptr<FruitPage> page_;
};

TEST_F(ListPageTest, RowsShowThroughTheColumnTable) {
  page_->ShowRows({{"pear", 120}, {"fig", 40}});
  auto& list = page_->List();
  EXPECT_EQ(list.View().ItemCount(), 2u);
  EXPECT_EQ(list.CellText(0, 0), "pear");
  EXPECT_EQ(list.CellText(1, 1), "40");
  EXPECT_EQ(list.View().ColumnWidth(2), 0);
  LVITEMW item{};
  item.mask = LVIF_IMAGE;
  item.iItem = 0;
  SendMessageW(ListHwnd(), LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
  EXPECT_EQ(item.iImage, stock::kWarning);
  // Replacing the rows replaces every item.
  page_->ShowRows({{"plum", 30}});
  EXPECT_THAT(Shown(), ElementsAre("plum"));
}

TEST_F(ListPageTest, AHeaderClickSortsByTheFirstColumnFromThenOn) {
  page_->ShowRows({{"cherry", 1}, {"kiwi", 1}, {"Banana", 2}, {"apple", 3}, {"kiwi", 2}});
  page_->List().SetChecked(2, true);  // Banana
  page_->List().Select(0);            // cherry
  EXPECT_THAT(Shown(), ElementsAre("cherry", "kiwi", "Banana", "apple", "kiwi"));

  // A click on any header, here the second column's.
  HWND header = ListView_GetHeader(ListHwnd());
  RECT r{};
  Header_GetItemRect(header, 1, &r);
  test::Click(header, test::Center(r));
  test::Pump();
  auto& list = page_->List();
  ASSERT_TRUE(list.SortsByCaption());
  EXPECT_THAT(Shown(), ElementsAre("apple", "Banana", "cherry", "kiwi", "kiwi"));
  EXPECT_EQ(list.Rows()[3].weight, 1);  // equal names keep their order
  EXPECT_EQ(list.Rows()[4].weight, 2);
  // Check marks and the selection travel with their rows.
  EXPECT_THAT(list.CheckedIndices(), ElementsAre(1u));
  EXPECT_TRUE(ListView_GetCheckState(ListHwnd(), 1));
  EXPECT_FALSE(ListView_GetCheckState(ListHwnd(), 2));
  EXPECT_EQ(list.Selected()->name, "cherry");

  // Later rows arrive sorted.
  page_->ShowRows({{"zucchini", 1}, {"date", 1}});
  EXPECT_THAT(Shown(), ElementsAre("date", "zucchini"));
  list.Append({"lime", 1});
  EXPECT_THAT(Shown(), ElementsAre("date", "lime", "zucchini"));
}

TEST_F(ListPageTest, ActionsFollowTheSelection) {
  page_->ShowRows({{"pear", 1}, {"fig", 2}});
  EXPECT_FALSE(MenuEnabled(FruitPage::kRemove));
  EXPECT_FALSE(ButtonEnabled(FruitPage::kRemove));
  EXPECT_FALSE(page_->InvokeAction(FruitPage::kRemove));
  EXPECT_TRUE(page_->removed.empty());

  const int popupsBefore = page_->popups;
  ClickRow(1);
  EXPECT_GT(page_->popups, popupsBefore);
  EXPECT_TRUE(MenuEnabled(FruitPage::kRemove));
  EXPECT_TRUE(ButtonEnabled(FruitPage::kRemove));
  // The toolbar button sends its command like a click would.
  SendMessageW(page_->hwnd(), WM_COMMAND, MAKEWPARAM(FruitPage::kRemove, BN_CLICKED),
               reinterpret_cast<LPARAM>(page_->Toolbar()));
  EXPECT_THAT(page_->removed, ElementsAre("fig"));

  // A refresh that empties the list disables the action again.
  page_->ShowRows({});
  EXPECT_FALSE(ButtonEnabled(FruitPage::kRemove));
}

TEST_F(ListPageTest, ThePopupMenuRunsThePopupHandlerFirst) {
  page_->ShowRows({{"pear", 1}});
  HMENU shown = nullptr;
  int popupsAtTrack = -1;
  page_->onTrackPopup = [&](HMENU menu, POINT) {
    shown = menu;
    popupsAtTrack = page_->popups;
  };
  const int before = page_->popups;
  SendMessageW(page_->hwnd(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(ListHwnd()), MAKELPARAM(-1, -1));
  ASSERT_EQ(shown, page_->PopupMenu());
  EXPECT_EQ(popupsAtTrack, before + 1);
  std::vector<std::string> items;
  for (int i = 0; i < GetMenuItemCount(shown); ++i) {
    wchar_t text[64] = {};
    GetMenuStringW(shown, static_cast<UINT>(i), text, 64, MF_BYPOSITION);
    items.push_back(win32::Narrow(text));
  }
  EXPECT_THAT(items, ElementsAre("Refresh", "", "Remove", "Select All"));
}

TEST_F(ListPageTest, CheckBoxesFollowTheUserAndSelectAll) {
  page_->ShowRows({{"pear", 1}, {"fig", 2}, {"plum", 3}});
  auto& list = page_->List();
  ClickRow(1);
  SendMessageW(ListHwnd(), WM_KEYDOWN, VK_SPACE, 0);
  SendMessageW(ListHwnd(), WM_KEYUP, VK_SPACE, 0);
  test::Pump();
  EXPECT_THAT(list.CheckedIndices(), ElementsAre(1u));

  page_->InvokeAction(FruitPage::kSelectAll);
  EXPECT_THAT(list.CheckedIndices(), ElementsAre(0u, 1u, 2u));
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(ListView_GetCheckState(ListHwnd(), i));
  list.SetChecked(0, false);
  list.RemoveAt(1);
  EXPECT_THAT(list.CheckedIndices(), ElementsAre(1u));
  EXPECT_EQ(list.Rows()[1].name, "plum");
  EXPECT_TRUE(ListView_GetCheckState(ListHwnd(), 1));
  EXPECT_FALSE(ListView_GetCheckState(ListHwnd(), 0));
}

TEST_F(ListPageTest, ToolbarButtonsCarryTheirHints) {
  HWND toolbar = page_->Toolbar();
  RECT r{};
  SendMessageW(toolbar, TB_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&r));
  POINT pt = test::Center(r);
  ClientToScreen(toolbar, &pt);
  EXPECT_EQ(page_->HintAt(toolbar, pt), std::optional<std::string>("Refresh the fruit."));
  // "Select All" lives in the menu only.
  EXPECT_EQ(SendMessageW(toolbar, TB_COMMANDTOINDEX, FruitPage::kSelectAll, 0), -1);

  NMTTDISPINFOW tip{};
  tip.hdr.hwndFrom = reinterpret_cast<HWND>(SendMessageW(toolbar, TB_GETTOOLTIPS, 0, 0));
  tip.hdr.idFrom = FruitPage::kRemove;
  tip.hdr.code = TTN_GETDISPINFOW;
  SendMessageW(page_->hwnd(), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&tip));
  ASSERT_NE(tip.lpszText, nullptr);
  EXPECT_EQ(win32::Narrow(tip.lpszText), "Remove the fruit.");
}

TEST_F(ListPageTest, TheFilterNeverCoversAToolbarButton) {
  FilteredFruitPage page(context_);
  ASSERT_TRUE(page.Create(host_));
  ShowWindow(page.hwnd(), SW_SHOW);
  auto covered = [&page] {
    RECT box{}, button{};
    GetWindowRect(page.FilterBox(), &box);
    const auto count = SendMessageW(page.Toolbar(), TB_BUTTONCOUNT, 0, 0);
    SendMessageW(page.Toolbar(), TB_GETITEMRECT, static_cast<WPARAM>(count - 1), reinterpret_cast<LPARAM>(&button));
    MapWindowPoints(page.Toolbar(), nullptr, reinterpret_cast<POINT*>(&button), 2);
    RECT both{};
    return IntersectRect(&both, &box, &button) != 0;
  };
  auto listTop = [&page] {
    RECT r{};
    GetWindowRect(page.List().hwnd(), &r);
    return r.top;
  };
  // Wide: the filter shares the toolbar's row.
  MoveWindow(page.hwnd(), 0, 0, 620, 400, TRUE);
  test::Pump();
  EXPECT_FALSE(covered());
  const LONG wideTop = listTop();
  // Narrow: it moves to a row of its own, and the list below it.
  MoveWindow(page.hwnd(), 0, 0, 200, 400, TRUE);
  test::Pump();
  EXPECT_FALSE(covered());
  RECT box{};
  GetWindowRect(page.FilterBox(), &box);
  EXPECT_GT(listTop(), wideTop);
  EXPECT_GE(listTop(), box.bottom);
  // Narrower than its buttons: the toolbar wraps them and is as tall as its rows, and
  // the filter and the list stay below them.
  MoveWindow(page.hwnd(), 0, 0, 60, 400, TRUE);
  test::Pump();
  RECT bar{};
  GetClientRect(page.Toolbar(), &bar);
  const auto count = SendMessageW(page.Toolbar(), TB_BUTTONCOUNT, 0, 0);
  for (WPARAM i = 0; i < static_cast<WPARAM>(count); ++i) {
    RECT button{};
    SendMessageW(page.Toolbar(), TB_GETITEMRECT, i, reinterpret_cast<LPARAM>(&button));
    if (button.right == button.left) continue;  // a separator at a wrap
    EXPECT_LE(button.bottom, bar.bottom) << i;
    // Only a button that starts its row may be wider than the toolbar.
    EXPECT_TRUE(button.right <= bar.right || button.left == 0) << i << ": " << button.left << "-" << button.right;
  }
  EXPECT_FALSE(covered());
  GetWindowRect(page.FilterBox(), &box);
  EXPECT_GE(listTop(), box.bottom);
}

}  // namespace
}  // namespace wl::ui
