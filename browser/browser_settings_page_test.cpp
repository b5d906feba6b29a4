// The browser settings page in a window.
#include "browser/browser_settings_page.h"

#include <gtest/gtest.h>

#include "ui/page_test_host.h"

namespace wl {
namespace {

using ui::test::PageHost;
using F = SettingsField;

class BrowserSettingsPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    stored_[SettingsFieldIndex(F::HomePage)] = "http://start.example/";
    stored_[SettingsFieldIndex(F::CaptionText)] = "Caption";
    stored_[SettingsFieldIndex(F::DownloadPath)] = "C:\\Downloads";
    auto& page = *host_.page;
    page.load = [this] { return stored_; };
    page.load32 = [this] { return stored32_; };
    page.save = [this](const SettingsTexts& t) {
      ++saves_;
      if (refuse_) {
        SettingsSaveResult r;
        r.write.error = ERROR_ACCESS_DENIED;
        r.write.message = "Could not write the value \"Wizard_Version\": Access denied.";
        r.valueName = "Wizard_Version";
        return r;
      }
      stored_ = t;
      return SettingsSaveResult{};
    };
    page.chooseFolder = [this](const std::string& caption, HWND) {
      captions_.push_back(caption);
      return folder_;
    };
  }

  PageHost<BrowserSettingsPage> host_;
  SettingsTexts stored_{};
  SettingsTexts stored32_{};
  int saves_ = 0;
  bool refuse_ = false;
  std::string folder_;
  std::vector<std::string> captions_;
};

TEST_F(BrowserSettingsPageTest, LoadButtonsRestoreAndSave) {
  auto& page = *host_.page;
  EXPECT_TRUE(page.IsEmpty());
  page.RefreshPage();
  EXPECT_EQ(page.FieldText(F::HomePage), "http://start.example/");
  EXPECT_EQ(page.FieldHint(F::HomePage), "http://start.example/");
  EXPECT_EQ(page.HintAt(page.Control(BrowserSettingsPage::kRestoreSettingsButton), {}), "Undo changes.");

  page.ClearCaptionClick();
  page.BlankPageClick();
  page.DefaultPageClick();
  page.SearchPageClick();
  page.DefaultSearchPageClick();
  page.LocalPageClick();
  page.ClearSearchBarClick();
  EXPECT_EQ(page.FieldText(F::CaptionText), "");
  EXPECT_EQ(page.FieldText(F::HomePage), "about:blank");
  EXPECT_EQ(page.FieldText(F::LocalPage), "about:blank");
  EXPECT_EQ(page.FieldText(F::DefaultPage), kDefaultStartPage);
  EXPECT_EQ(page.FieldText(F::SearchPage), kDefaultSearchAssistant);
  EXPECT_EQ(page.FieldText(F::DefaultSearchPage), kDefaultSearchRedirector);
  page.CustomizeClick();  // cancelled
  EXPECT_EQ(page.FieldText(F::DownloadPath), "C:\\Downloads");
  EXPECT_EQ(captions_, std::vector<std::string>{"Select a directory"});
  folder_ = "D:\\New Folder";
  page.CustomizeClick();
  EXPECT_EQ(page.FieldText(F::DownloadPath), "D:\\New Folder");
  EXPECT_EQ(saves_, 0);  // nothing written before "Save Settings"

  page.RestoreSettingsClick();  // back to the load
  EXPECT_EQ(page.FieldText(F::HomePage), "http://start.example/");
  EXPECT_EQ(page.FieldText(F::DownloadPath), "C:\\Downloads");
  EXPECT_EQ(page.FieldText(F::SearchPage), "");

  page.BlankPageClick();
  page.SaveSettingsClick();
  EXPECT_EQ(saves_, 1);
  EXPECT_EQ(stored_[SettingsFieldIndex(F::HomePage)], "about:blank");
  EXPECT_EQ(stored_[SettingsFieldIndex(F::CaptionText)], "Caption");
  // The hints stay those of the load: Restore brings back what was there before the save.
  page.RestoreSettingsClick();
  EXPECT_EQ(page.FieldText(F::HomePage), "http://start.example/");
  // A new load discards edits and takes the saved values.
  SetWindowTextW(page.Control(BrowserSettingsPage::kFirstEdit + 1), L"edited");
  page.RefreshPage();
  EXPECT_EQ(page.FieldText(F::HomePage), "about:blank");
  EXPECT_EQ(page.FieldText(F::CaptionText), "Caption");
  EXPECT_TRUE(host_.ui.messages.empty());
}

TEST_F(BrowserSettingsPageTest, RefusedSaveShowsTheMessage) {
  auto& page = *host_.page;
  page.RefreshPage();
  refuse_ = true;
  page.SaveSettingsClick();
  ASSERT_EQ(host_.ui.messages.size(), 1u);
  EXPECT_EQ(host_.ui.messages[0].text, "Failed to set data for 'Wizard_Version'");
  EXPECT_NE(host_.ui.status.find("Access denied"), std::string::npos);
}

// A machine value that differs in the 32-bit view: the field shows the
// machine's own, the hint names both; "Restore Settings" puts back the field.
TEST_F(BrowserSettingsPageTest, MachineValuesOfBothViewsAreShown) {
  stored_[SettingsFieldIndex(F::IeVersion)] = "8.0";
  stored32_[SettingsFieldIndex(F::IeVersion)] = "7.0";
  stored_[SettingsFieldIndex(F::DefaultPage)] = "http://same.example/";
  stored32_[SettingsFieldIndex(F::DefaultPage)] = "http://same.example/";
  stored32_[SettingsFieldIndex(F::DefaultSearchPage)] = "http://only32.example/";
  stored32_[SettingsFieldIndex(F::HomePage)] = "http://user-values-have-one-view.example/";
  auto& page = *host_.page;
  page.LoadSettings();
  EXPECT_EQ(page.FieldText(F::IeVersion), "8.0");
  EXPECT_EQ(page.FieldHint(F::IeVersion), "64-bit: 8.0; 32-bit: 7.0");
  EXPECT_EQ(page.FieldHint(F::DefaultPage), "http://same.example/");
  EXPECT_EQ(page.FieldText(F::DefaultSearchPage), "");
  EXPECT_EQ(page.FieldHint(F::DefaultSearchPage), "64-bit: (none); 32-bit: http://only32.example/");
  EXPECT_EQ(page.FieldHint(F::HomePage), "http://start.example/");
  page.SetFieldText(F::IeVersion, "typed");
  page.RestoreSettingsClick();
  EXPECT_EQ(page.FieldText(F::IeVersion), "8.0");
}

}  // namespace
}  // namespace wl
