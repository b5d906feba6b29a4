// The browser-extension page in a window, over rows of the test's own.
#include "browser/ie_extension_page.h"

#include <gtest/gtest.h>

#include <map>

#include "sysroutines/system_info.h"
#include "ui/page_test_host.h"

namespace wl {
namespace {

using ui::test::PageHost;

class IeExtensionPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string sys = GetWindowsDir() + "\\system32\\";
    rows_ = {MakeMenuExtRow("Zeta &Menu", "res://z.dll/z.htm"),
             MakeToolbarRow("{T}", "Alpha Bar", sys + "shell32.dll", false, GetWindowsDir()),
             MakeToolbarRow("{U}", "", "", true, GetWindowsDir()),
             MakeToolButtonRow("{B}", "Mid Button", sys + "shell32.dll,3", false, GetWindowsDir())};
    host_.page->scan = [this] {
      ++scans_;
      IeExtensionScanResult r;
      r.rows = rows_;
      for (const auto& row : rows_) r.hijack.push_back(IeExtensionHijackRow(row));
      return r;
    };
    host_.page->remove = [this](const IeExtensionRow& row) {
      removed_.push_back(row.clsid + "|" + row.itemName);
      auto it = answers_.find(row.itemName);
      return it == answers_.end() ? WriteResult{} : it->second;
    };
  }
  std::vector<std::string> Captions() {
    std::vector<std::string> out;
    for (const auto& r : host_.page->List().Rows()) out.push_back(r.entry.itemName);
    return out;
  }

  PageHost<IeExtensionPage> host_;
  std::vector<IeExtensionRow> rows_;
  std::map<std::string, WriteResult> answers_;
  std::vector<std::string> removed_;
  int scans_ = 0;
};

TEST_F(IeExtensionPageTest, RowsIconsAndReportRowsOfEachRefresh) {
  auto& page = *host_.page;
  EXPECT_FALSE(host_.MenuEnabled(IeExtensionPage::kSelectAllMenuItem));
  EXPECT_FALSE(host_.ButtonEnabled(IeExtensionPage::kRemoveItemButton));
  page.RefreshClick();
  ASSERT_EQ(page.List().Count(), 4u);
  EXPECT_EQ(page.List().CellText(0, 1), "---");
  EXPECT_EQ(page.List().CellText(0, 3), "IE Extend Popup Menu");
  const auto& rows = page.List().Rows();
  EXPECT_EQ(rows[0].image, -1);  // a menu entry has no picture
  EXPECT_GE(rows[1].image, 0);   // the toolbar's server file
  EXPECT_EQ(rows[2].image, -1);  // no server: no picture, never a neighbour's
  EXPECT_GE(rows[3].image, 0);   // icon 3 of the file
  EXPECT_EQ(host_.images.extensionIcons.Count(), 2);
  EXPECT_EQ(host_.hijack.Count(), 4u);
  EXPECT_EQ(host_.hijack.Rows()[1].IndexText(), "{T}");
  // A second refresh reports every entry again; its icons replace the old ones.
  page.RefreshClick();
  EXPECT_EQ(host_.hijack.Count(), 8u);
  EXPECT_EQ(host_.images.extensionIcons.Count(), 2);
  EXPECT_TRUE(host_.MenuEnabled(IeExtensionPage::kSelectAllMenuItem));
  EXPECT_TRUE(host_.MenuEnabled(IeExtensionPage::kDeleteItemsMenuItem));
  EXPECT_TRUE(host_.ButtonEnabled(IeExtensionPage::kRemoveItemButton));
  EXPECT_FALSE(host_.MenuEnabled(IeExtensionPage::kFilePropertyMenuItem));
  host_.Select(1);
  EXPECT_TRUE(host_.MenuEnabled(IeExtensionPage::kFilePropertyMenuItem));
  EXPECT_TRUE(host_.MenuEnabled(IeExtensionPage::kOpenDirectoryMenuItem));
  EXPECT_TRUE(host_.MenuEnabled(IeExtensionPage::kRefreshMenuItem));
}

TEST_F(IeExtensionPageTest, RemovesCheckedRowsLastFirstAndKeepsTheOnesThatFailed) {
  auto& page = *host_.page;
  page.RefreshClick();
  page.SelectAllClick();
  for (std::size_t i = 0; i < 4; ++i) EXPECT_TRUE(page.List().Checked(i));
  page.UnselectAllClick();
  EXPECT_TRUE(page.List().CheckedIndices().empty());
  page.SelectAllClick();
  WriteResult denied;
  denied.error = ERROR_ACCESS_DENIED;
  denied.message = "Could not delete the key HKEY_LOCAL_MACHINE\\...\\{B}: Access denied.";
  answers_["Mid Button"] = denied;
  WriteResult gone;
  gone.error = ERROR_FILE_NOT_FOUND;
  answers_["Zeta &Menu"] = gone;
  const std::size_t reported = host_.hijack.Count();
  page.DeleteItemsClick();
  EXPECT_EQ(removed_, (std::vector<std::string>{"{B}|Mid Button", "{U}|", "{T}|Alpha Bar", "---|Zeta &Menu"}));
  ASSERT_EQ(page.List().Count(), 1u);  // the refused one stays
  EXPECT_EQ(page.List().Rows()[0].entry.itemName, "Mid Button");
  EXPECT_EQ(host_.ui.status, denied.message);
  EXPECT_EQ(host_.hijack.Count(), reported);  // the report is not touched
  EXPECT_EQ(scans_, 1);

  // The kept row stays checked: removing again tries it again.
  EXPECT_TRUE(page.List().Checked(0));
  page.UnselectAllClick();
  answers_.clear();
  page.DeleteItemsClick();
  EXPECT_EQ(page.List().Count(), 1u);  // nothing checked: nothing to do
  page.SelectAllClick();
  page.DeleteItemsClick();
  EXPECT_TRUE(page.List().Empty());
  EXPECT_FALSE(host_.MenuEnabled(IeExtensionPage::kDeleteItemsMenuItem));
}

TEST_F(IeExtensionPageTest, SortingPropertiesAndFolder) {
  auto& page = *host_.page;
  std::vector<std::string> shown, opened;
  page.showProperties = [&](const std::string& p, HWND) {
    shown.push_back(p);
    return false;
  };
  page.openFolder = [&](const std::string& f) {
    opened.push_back(f);
    return true;
  };
  page.RefreshClick();
  page.IEExListColumnClick();
  EXPECT_EQ(Captions(), (std::vector<std::string>{"", "Alpha Bar", "Mid Button", "Zeta &Menu"}));
  page.RefreshClick();  // stays sorted
  EXPECT_EQ(Captions()[1], "Alpha Bar");
  host_.Select(1);
  page.IEExListDblClick();
  const std::string program = ExtractExecutablePath(GetWindowsDir() + "\\system32\\shell32.dll");
  EXPECT_EQ(shown, std::vector<std::string>{program});
  EXPECT_NE(host_.ui.status.find("Cannot show the properties"), std::string::npos);
  page.OpenDirectoryClick();
  EXPECT_EQ(opened, std::vector<std::string>{FolderOf(program)});
}

}  // namespace
}  // namespace wl
