// The "Other Browsers" page in a window, over planted rows and, for the
// repair, a real policy value.
#include "browser/other_browsers_page.h"

#include <gtest/gtest.h>

#include "browser/other_browsers_actions.h"
#include "ui/page_test_host.h"
#include "win32/registry.h"

namespace wl {
namespace {

BrowserRow Row(const std::string& browser, const std::string& kind, const std::string& name, bool flagged) {
  BrowserRow r;
  r.browser = browser;
  r.kind = kind;
  r.name = name;
  r.value = "http://start.hijack.example/";
  r.location = "C:\\x";
  SetVerdict(r, flagged);
  return r;
}

class OtherBrowsersPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    BrowserRow policy = Row("Google Chrome", kKindPolicy, "HomepageLocation", true);
    policy.repair = BrowserRepair::DeleteRegistryValue;
    policy.root = "HKEY_CURRENT_USER";
    policy.keyPath = key_;
    policy.valueName = "HomepageLocation";
    BrowserRow setting = Row("Firefox", kKindSetting, "browser.startup.homepage", true);
    setting.profile = "default";
    setting.settingsPage = "about:preferences";
    setting.program = "C:\\Program Files\\Mozilla Firefox\\firefox.exe";
    BrowserRow plain = Row("Microsoft Edge", kKindSetting, "Home page", false);
    BrowserRow damaged = Row("Brave", kKindDamagedFile, "Preferences", false);
    damaged.verdict = kUnreadableFile;
    rows_ = {policy, setting, plain, damaged};
    ASSERT_TRUE(WriteRegString(HKEY_CURRENT_USER, key_, "HomepageLocation", "http://start.hijack.example/"));
    host_.page->scan = [this] { return rows_; };
    host_.page->isRunning = [](const std::string&) { return false; };
    host_.page->RefreshClick();
  }
  void TearDown() override { DeleteRegTree(HKEY_CURRENT_USER, key_); }

  const std::string key_ = "Software\\WlBrowsersPage" + std::to_string(GetCurrentProcessId()) + "\\Chrome";
  std::vector<BrowserRow> rows_;
  ui::test::PageHost<OtherBrowsersPage> host_;
};

TEST_F(OtherBrowsersPageTest, ListsRowsWithVerdictImagesAndAddsTheFlaggedOnesToTheReport) {
  auto& list = host_.page->List();
  ASSERT_EQ(list.Count(), 4u);
  EXPECT_EQ(list.CellText(0, 0), "Google Chrome");
  EXPECT_EQ(list.CellText(1, 1), "default");
  EXPECT_EQ(list.CellText(0, 6), "Distrustful setting");
  EXPECT_EQ(list.CellText(3, 2), "Damaged File");
  EXPECT_EQ(list.View().imageOf(0, 0), ui::stock::kWarning);
  EXPECT_EQ(list.View().imageOf(2, 0), ui::stock::kCheck);
  EXPECT_EQ(list.View().imageOf(3, 0), ui::stock::kCross);
  ASSERT_EQ(host_.hijack.Count(), 2u);
  EXPECT_EQ(host_.hijack.Rows()[0].description, "Browser Setting");
  EXPECT_EQ(host_.hijack.Rows()[1].itemName, "Firefox (default): browser.startup.homepage = http://start.hijack.example/");
  EXPECT_EQ(host_.ui.status, "4 browser settings and add-ons, 2 distrustful.");
}

TEST_F(OtherBrowsersPageTest, ActionsFollowTheSelectedRow) {
  EXPECT_FALSE(host_.MenuEnabled(OtherBrowsersPage::kRepairMenuItem));
  host_.Select(0);
  EXPECT_TRUE(host_.MenuEnabled(OtherBrowsersPage::kRepairMenuItem));
  EXPECT_TRUE(host_.ButtonEnabled(OtherBrowsersPage::kRepairButton));
  EXPECT_FALSE(host_.MenuEnabled(OtherBrowsersPage::kOpenSettingsMenuItem));
  host_.Select(1);
  EXPECT_FALSE(host_.MenuEnabled(OtherBrowsersPage::kRepairMenuItem));
  EXPECT_TRUE(host_.MenuEnabled(OtherBrowsersPage::kOpenSettingsMenuItem));
  std::string opened;
  host_.page->openSettings = [&](const BrowserRow& r, std::string&) {
    opened = SettingsCommandLine(r);
    return true;
  };
  host_.page->OpenSettingsClick();
  EXPECT_EQ(opened, "\"C:\\Program Files\\Mozilla Firefox\\firefox.exe\" about:preferences");
}

TEST_F(OtherBrowsersPageTest, RepairAsksDeletesTheValueAndRefreshes) {
  host_.Select(0);
  host_.ui.answer = [](const auto&) { return IDNO; };
  host_.page->RepairClick();
  ASSERT_EQ(host_.ui.messages.size(), 1u);
  EXPECT_EQ(host_.ui.messages[0].text, "Delete \"HomepageLocation\" of Google Chrome?");
  EXPECT_TRUE(win32::RegKey::Open(HKEY_CURRENT_USER, key_)->HasValue("HomepageLocation"));

  host_.ui.answer = [](const auto&) { return IDYES; };
  host_.page->isRunning = [](const std::string& program) { return program == "chrome.exe"; };
  rows_.erase(rows_.begin());
  host_.Select(0);
  host_.page->RepairClick();
  EXPECT_FALSE(win32::RegKey::Open(HKEY_CURRENT_USER, key_)->HasValue("HomepageLocation"));
  ASSERT_EQ(host_.ui.messages.size(), 3u);
  EXPECT_EQ(host_.ui.messages[2].text,
            "Google Chrome is running: close it and start it again for the change to take effect.");
  EXPECT_EQ(host_.page->List().Count(), 3u);
}

TEST_F(OtherBrowsersPageTest, AFailedRepairIsShown) {
  host_.Select(0);
  host_.ui.answer = [](const auto&) { return IDYES; };
  host_.page->repair = [](const BrowserRow&) {
    WriteResult r;
    r.error = ERROR_ACCESS_DENIED;
    r.message = "Could not delete the value \"HomepageLocation\": Access denied.";
    return r;
  };
  host_.page->RepairClick();
  ASSERT_EQ(host_.ui.messages.size(), 2u);
  EXPECT_EQ(host_.ui.messages[1].text, "Could not delete the value \"HomepageLocation\": Access denied.");
  EXPECT_EQ(host_.ui.messages[1].flags, static_cast<UINT>(MB_OK | MB_ICONERROR));
}

}  // namespace
}  // namespace wl
