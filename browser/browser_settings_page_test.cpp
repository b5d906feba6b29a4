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
    stored_[SettingsFieldIndex(F::Edit1)] = "http://start.example/";
    stored_[SettingsFieldIndex(F::Edit3)] = "Caption";
    stored_[SettingsFieldIndex(F::Edit12)] = "C:\\Downloads";
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
  EXPECT_EQ(page.FieldText(F::Edit1), "http://start.example/");
  EXPECT_EQ(page.FieldHint(F::Edit1), "http://start.example/");
  EXPECT_EQ(page.HintAt(page.Control(BrowserSettingsPage::kButton4), {}), "Undo changes.");

  page.Button17Click();
  page.Button10Click();
  page.Button11Click();
  page.Button12Click();
  page.Button13Click();
  page.Button46Click();
  page.Button3Click();
  EXPECT_EQ(page.FieldText(F::Edit3), "");
  EXPECT_EQ(page.FieldText(F::Edit1), "about:blank");
  EXPECT_EQ(page.FieldText(F::Edit10), "about:blank");
  EXPECT_EQ(page.FieldText(F::Edit9), kDefaultStartPage);
  EXPECT_EQ(page.FieldText(F::Edit2), kDefaultSearchAssistant);
  EXPECT_EQ(page.FieldText(F::Edit11), kDefaultSearchRedirector);
  page.Button2Click();  // cancelled
  EXPECT_EQ(page.FieldText(F::Edit12), "C:\\Downloads");
  EXPECT_EQ(captions_, std::vector<std::string>{"Select a directory"});
  folder_ = "D:\\New Folder";
  page.Button2Click();
  EXPECT_EQ(page.FieldText(F::Edit12), "D:\\New Folder");
  EXPECT_EQ(saves_, 0);  // nothing written before "Save Settings"

  page.Button4Click();  // back to the load
  EXPECT_EQ(page.FieldText(F::Edit1), "http://start.example/");
  EXPECT_EQ(page.FieldText(F::Edit12), "C:\\Downloads");
  EXPECT_EQ(page.FieldText(F::Edit2), "");

  page.Button10Click();
  page.Button1Click();
  EXPECT_EQ(saves_, 1);
  EXPECT_EQ(stored_[SettingsFieldIndex(F::Edit1)], "about:blank");
  EXPECT_EQ(stored_[SettingsFieldIndex(F::Edit3)], "Caption");
  // The hints stay those of the load: Restore brings back what was there before the save.
  page.Button4Click();
  EXPECT_EQ(page.FieldText(F::Edit1), "http://start.example/");
  // A new load discards edits and takes the saved values.
  SetWindowTextW(page.Control(BrowserSettingsPage::kFirstEdit + 1), L"edited");
  page.RefreshPage();
  EXPECT_EQ(page.FieldText(F::Edit1), "about:blank");
  EXPECT_EQ(page.FieldText(F::Edit3), "Caption");
  EXPECT_TRUE(host_.ui.messages.empty());
}

TEST_F(BrowserSettingsPageTest, RefusedSaveShowsTheMessage) {
  auto& page = *host_.page;
  page.RefreshPage();
  refuse_ = true;
  page.Button1Click();
  ASSERT_EQ(host_.ui.messages.size(), 1u);
  EXPECT_EQ(host_.ui.messages[0].text, "Failed to set data for 'Wizard_Version'");
  EXPECT_NE(host_.ui.status.find("Access denied"), std::string::npos);
}

// A machine value that differs in the 32-bit view: the field shows the
// machine's own, the hint names both; "Restore Settings" puts back the field.
TEST_F(BrowserSettingsPageTest, MachineValuesOfBothViewsAreShown) {
  stored_[SettingsFieldIndex(F::Edit13)] = "8.0";
  stored32_[SettingsFieldIndex(F::Edit13)] = "7.0";
  stored_[SettingsFieldIndex(F::Edit9)] = "http://same.example/";
  stored32_[SettingsFieldIndex(F::Edit9)] = "http://same.example/";
  stored32_[SettingsFieldIndex(F::Edit11)] = "http://only32.example/";
  stored32_[SettingsFieldIndex(F::Edit1)] = "http://user-values-have-one-view.example/";
  auto& page = *host_.page;
  page.LoadSettings();
  EXPECT_EQ(page.FieldText(F::Edit13), "8.0");
  EXPECT_EQ(page.FieldHint(F::Edit13), "64-bit: 8.0; 32-bit: 7.0");
  EXPECT_EQ(page.FieldHint(F::Edit9), "http://same.example/");
  EXPECT_EQ(page.FieldText(F::Edit11), "");
  EXPECT_EQ(page.FieldHint(F::Edit11), "64-bit: (none); 32-bit: http://only32.example/");
  EXPECT_EQ(page.FieldHint(F::Edit1), "http://start.example/");
  page.SetFieldText(F::Edit13, "typed");
  page.Button4Click();
  EXPECT_EQ(page.FieldText(F::Edit13), "8.0");
}

}  // namespace
}  // namespace wl
