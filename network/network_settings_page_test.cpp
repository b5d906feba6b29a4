// The "Network Settings" page in a window, over planted rows; the repair
// through its seam.
#include "network/network_settings_page.h"

#include <gtest/gtest.h>

#include "ui/page_test_host.h"

namespace wl {
namespace {

class NetworkSettingsPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    NetworkSettingRow hosts;
    hosts.kind = "Hosts";
    hosts.name = "www.google.com";
    hosts.value = "203.0.113.7";
    hosts.location = "C:\\hosts, line 5";
    hosts.verdict = "A well-known site (Search engine) is redirected";
    hosts.flagged = true;
    hosts.repair = NetworkRepair::CommentOutHostsLine;
    hosts.file = "C:\\hosts";
    hosts.line = 5;
    hosts.lineText = "203.0.113.7 www.google.com";
    NetworkSettingRow note;
    note.kind = "Note";
    note.name = "Hosts file";
    note.problem = true;
    NetworkSettingRow provider;
    provider.kind = "Winsock Provider";
    provider.name = "MSAFD Tcpip";
    NetworkSettingRow script;
    script.kind = "Proxy Script";
    script.name = "User: AutoConfigURL";
    script.flagged = true;
    script.repair = NetworkRepair::DeleteValues;
    script.registryKey = "HKEY_CURRENT_USER\\Software\\X";
    script.valueNames = {"AutoConfigURL"};
    rows_ = {hosts, note, provider, script};
    host_.page->scan = [this] { return rows_; };
    host_.page->repair = [this](const NetworkSettingRow& row) {
      repaired_.push_back(row.name);
      return result_;
    };
    host_.page->RefreshClick();
  }

  std::vector<NetworkSettingRow> rows_;
  std::vector<std::string> repaired_;
  WriteResult result_;
  ui::test::PageHost<NetworkSettingsPage> host_;
};

TEST_F(NetworkSettingsPageTest, ListsRowsWithVerdictImagesAndReportsTheFlaggedOnes) {
  auto& list = host_.page->List();
  ASSERT_EQ(list.Count(), 4u);
  EXPECT_EQ(list.View().ColumnCount(), 5);
  EXPECT_EQ(list.CellText(0, 1), "www.google.com");
  EXPECT_EQ(list.CellText(0, 3), "C:\\hosts, line 5");
  EXPECT_EQ(list.View().imageOf(0, 0), ui::stock::kWarning);
  EXPECT_EQ(list.View().imageOf(1, 0), ui::stock::kCross);
  EXPECT_EQ(list.View().imageOf(2, 0), ui::stock::kCheck);
  ASSERT_EQ(host_.hijack.Count(), 2u);
  EXPECT_EQ(host_.hijack.Rows()[0].description, "Network Setting");
  EXPECT_EQ(host_.hijack.Rows()[0].itemName, "Hosts: www.google.com = 203.0.113.7");
  EXPECT_EQ(host_.ui.status, "4 network settings, 2 distrustful.");
}

TEST_F(NetworkSettingsPageTest, RepairAsksFollowsTheSelectionAndShowsAFailure) {
  host_.Select(2);  // a provider: listed only
  EXPECT_FALSE(host_.MenuEnabled(NetworkSettingsPage::kRepairMenuItem));
  EXPECT_FALSE(host_.ButtonEnabled(NetworkSettingsPage::kRepairButton));
  host_.page->RepairClick();
  EXPECT_TRUE(host_.ui.messages.empty());

  host_.Select(0);
  EXPECT_TRUE(host_.MenuEnabled(NetworkSettingsPage::kRepairMenuItem));
  host_.ui.answer = [](const auto&) { return IDNO; };
  host_.page->RepairClick();
  ASSERT_EQ(host_.ui.messages.size(), 1u);
  EXPECT_EQ(host_.ui.messages[0].text, "Comment out line 5 of C:\\hosts (203.0.113.7 www.google.com)?");
  EXPECT_TRUE(repaired_.empty());

  host_.ui.answer = [](const auto&) { return IDYES; };
  host_.Select(3);
  result_.error = ERROR_ACCESS_DENIED;
  result_.message = "Could not delete the value \"AutoConfigURL\": Access denied.";
  host_.page->RepairClick();
  ASSERT_EQ(host_.ui.messages.size(), 3u);
  EXPECT_EQ(host_.ui.messages[1].text, "Delete AutoConfigURL from HKEY_CURRENT_USER\\Software\\X?");
  EXPECT_EQ(host_.ui.messages[2].text, result_.message);
  EXPECT_EQ(host_.ui.messages[2].flags, static_cast<UINT>(MB_OK | MB_ICONERROR));
  EXPECT_EQ(repaired_, std::vector<std::string>{"User: AutoConfigURL"});
}

}  // namespace
}  // namespace wl
