// The helper-object page in a window; the enabled state through real
// per-user settings keys of the test's own.
#include "browser/helper_object_page.h"

#include <gtest/gtest.h>

#include "ui/page_test_host.h"
#include "win32/registry.h"
#include "win32/registry_write.h"

namespace wl {
namespace {

using ui::test::PageHost;
using win32::RegKey;
using win32::RegWriteKey;

const std::string kBase = "Software\\WardenlakeTest\\HelperObjectPage" + std::to_string(GetCurrentProcessId());

class HelperObjectPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegWriteKey::DeleteTree(HKEY_CURRENT_USER, kBase);
    places_.settingsKey = kBase + "\\Settings";
    rows_ = {MakeClassRow("Helper", kIeAssistantActiveX, "C:\\h\\h.dll", "{H}", false,
                          HelperObjectSource::Statistics),
             MakeClassRow("Control", kIeActiveXControl, "C:\\c.ocx", "{C}", true, HelperObjectSource::Statistics),
             MakeExtensionProgramRow("Program", "C:\\p.exe", "{P}", false)};
    auto& page = *host_.page;
    page.scan = [this] {
      ++scans_;
      HelperObjectScanResult r;
      r.rows = rows_;
      r.hijack = HelperObjectHijackRows(rows_);
      r.skipped = skipped_;
      return r;
    };
    page.readDisabled = [this](const std::string& id) { return ReadComponentDisabled(id, places_); };
    page.setDisabled = [this](const std::string& id, bool d) { return SetComponentDisabled(id, d, places_); };
    page.canRemove = [](const HelperObjectRow& row) { return row.clsid != "{C}"; };
    page.remove = [this](const HelperObjectRow& row) {
      removed_.push_back(row.clsid);
      return removeAnswer_;
    };
  }
  void TearDown() override { RegWriteKey::DeleteTree(HKEY_CURRENT_USER, kBase); }
  std::size_t RowOf(const std::string& id) {
    const auto& rows = host_.page->List().Rows();
    for (std::size_t i = 0; i < rows.size(); ++i)
      if (rows[i].clsid == id) return i;
    return rows.size();
  }

  PageHost<HelperObjectPage> host_;
  HelperObjectPlaces places_;
  std::vector<HelperObjectRow> rows_;
  std::vector<std::string> removed_;
  WriteResult removeAnswer_;
  std::vector<std::string> skipped_;
  int scans_ = 0;
};

TEST_F(HelperObjectPageTest, HeadersCountAndReportRows) {
  auto& page = *host_.page;
  EXPECT_EQ(page.HeaderText(0), "Item Name");
  EXPECT_EQ(page.HeaderText(3), "Analysis");
  page.RefreshClick();
  EXPECT_EQ(page.HeaderText(0), "Item Name (Total 3)");
  EXPECT_EQ(page.HeaderText(1), "Item Name (Installed 3)");
  EXPECT_EQ(page.List().CellText(0, 4), "{H}");
  ASSERT_EQ(host_.hijack.Count(), 3u);
  EXPECT_EQ(host_.hijack.Rows()[2].IndexText(), "2");
  EXPECT_EQ(host_.hijack.Rows()[2].image, 15);
  EXPECT_EQ(host_.ui.status, "");
  // Damaged statistics entries do not hide the rest, and the user is told.
  skipped_ = {"{Bad}"};
  page.RefreshClick();
  EXPECT_EQ(page.List().Count(), 3u);
  EXPECT_NE(host_.ui.status.find("{Bad}"), std::string::npos);
}

TEST_F(HelperObjectPageTest, DisableAndEnableRoundTripWithRescans) {
  auto& page = *host_.page;
  page.RefreshClick();
  page.List().Select(std::nullopt);
  page.PMBHOPopup();
  for (int id : {HelperObjectPage::kEnableMenuItem, HelperObjectPage::kRemoveMenuItem,
                 HelperObjectPage::kFilePropertyMenuItem, HelperObjectPage::kOpenDirectoryMenuItem})
    EXPECT_FALSE(host_.MenuEnabled(id)) << id;
  EXPECT_FALSE(host_.ButtonEnabled(HelperObjectPage::kRemoveItemButton));

  host_.Select(RowOf("{H}"));
  EXPECT_EQ(host_.MenuText(HelperObjectPage::kStateMenuItem), "State: Enabled");
  EXPECT_EQ(host_.MenuText(HelperObjectPage::kEnableMenuItem), "Disable It");
  EXPECT_FALSE(host_.MenuEnabled(HelperObjectPage::kStateMenuItem));
  EXPECT_EQ(page.OfferedAction(), 1);
  page.EnableClick();
  EXPECT_EQ(scans_, 2);
  auto key = RegKey::Open(HKEY_CURRENT_USER, places_.settingsKey + "\\{H}");
  ASSERT_TRUE(key);
  EXPECT_EQ(key->ReadDword("Flags"), 1u);
  EXPECT_EQ(key->ReadString("Version"), "*");
  host_.Select(RowOf("{H}"));
  EXPECT_EQ(host_.MenuText(HelperObjectPage::kStateMenuItem), "State: Disabled");
  EXPECT_EQ(host_.MenuText(HelperObjectPage::kEnableMenuItem), "Enable It");
  EXPECT_EQ(page.OfferedAction(), 0);
  page.EnableClick();
  EXPECT_EQ(scans_, 3);
  EXPECT_FALSE(RegKey::Exists(HKEY_CURRENT_USER, places_.settingsKey + "\\{H}"));
  host_.Select(RowOf("{H}"));
  EXPECT_EQ(host_.MenuText(HelperObjectPage::kStateMenuItem), "State: Enabled");

  // "Version" other than "*": enabled.
  ASSERT_EQ(RegWriteKey::Create(HKEY_CURRENT_USER, places_.settingsKey + "\\{P}")->WriteDword("Flags", 1), 0);
  ASSERT_EQ(RegWriteKey::Open(HKEY_CURRENT_USER, places_.settingsKey + "\\{P}", KEY_WRITE)->WriteString("Version", "7"), 0);
  host_.Select(RowOf("{P}"));
  EXPECT_EQ(host_.MenuText(HelperObjectPage::kStateMenuItem), "State: Enabled");
  EXPECT_EQ(host_.MenuText(HelperObjectPage::kEnableMenuItem), "Disable It");
}

TEST_F(HelperObjectPageTest, RemoveAsksRemovesAndSaysWhyWhenItFails) {
  auto& page = *host_.page;
  page.RefreshClick();
  host_.Select(RowOf("{C}"));  // a control with no loading entry
  EXPECT_FALSE(host_.MenuEnabled(HelperObjectPage::kRemoveMenuItem));
  EXPECT_FALSE(host_.ButtonEnabled(HelperObjectPage::kRemoveItemButton));
  EXPECT_TRUE(host_.MenuEnabled(HelperObjectPage::kEnableMenuItem));

  host_.Select(RowOf("{H}"));
  EXPECT_TRUE(host_.ButtonEnabled(HelperObjectPage::kRemoveItemButton));
  host_.ui.answer = [](const auto&) { return IDNO; };
  page.RemoveClick();
  EXPECT_TRUE(removed_.empty());
  ASSERT_EQ(host_.ui.messages.size(), 1u);
  EXPECT_EQ(host_.ui.messages[0].caption, "Remove");

  host_.ui.answer = [](const auto&) { return IDYES; };
  removeAnswer_.error = ERROR_ACCESS_DENIED;
  removeAnswer_.message = "Could not delete the key X: Access denied.";
  page.RemoveClick();
  EXPECT_EQ(removed_, std::vector<std::string>{"{H}"});
  EXPECT_EQ(host_.ui.status, removeAnswer_.message);
  EXPECT_EQ(scans_, 2);
}

TEST_F(HelperObjectPageTest, PropertiesFolderAndSorting) {
  auto& page = *host_.page;
  std::vector<std::string> shown, opened;
  page.showProperties = [&](const std::string& p, HWND) {
    shown.push_back(p);
    return true;
  };
  page.openFolder = [&](const std::string& f) {
    opened.push_back(f);
    return true;
  };
  page.RefreshClick();
  page.IEBHOListColumnClick();
  EXPECT_EQ(page.List().Rows()[0].itemName, "Control");
  host_.Select(RowOf("{H}"));
  page.IEBHOListDblClick();
  page.OpenDirectoryClick();
  EXPECT_EQ(shown, std::vector<std::string>{"C:\\h\\h.dll"});
  EXPECT_EQ(opened, std::vector<std::string>{"C:\\h"});
}

// After a column sort the list shows "Control", "Helper", "Program" instead
// of the scan's "Helper", "Control", "Program": each report row's index
// still names its own row (the row keeps its place in the scan).
TEST_F(HelperObjectPageTest, ReportIndexesNameTheirRowsAfterASort) {
  auto& page = *host_.page;
  page.RefreshClick();
  page.IEBHOListColumnClick();
  host_.hijack.Clear();
  page.RefreshClick();  // the list stays sorted
  ASSERT_EQ(page.List().Rows()[0].itemName, "Control");
  ASSERT_EQ(host_.hijack.Count(), 3u);
  for (const HijackRow& h : host_.hijack.Rows()) {
    SCOPED_TRACE(h.itemName);
    ASSERT_GE(h.index, 0);
    ASSERT_LT(static_cast<std::size_t>(h.index), page.List().Count());
    const auto at = static_cast<std::size_t>(h.index);
    EXPECT_EQ(page.List().CellText(at, 0), h.itemName);
    const HelperObjectRow& row = page.List().Rows()[at];
    EXPECT_EQ(row.clsid + (row.wow32 ? " (32-bit)" : ""), h.entryKey);
  }
  EXPECT_EQ(host_.hijack.Rows()[0].itemName, "Helper");
  EXPECT_EQ(host_.hijack.Rows()[0].IndexText(), "1");
}

}  // namespace
}  // namespace wl
