// The two immunization dialogs over a small table, on the real registry.
#include "immunize/immunize_dialogs.h"

#include <gtest/gtest.h>

#include "sysroutines/system_write.h"
#include "ui/ui_test_support.h"
#include "win32/registry_write.h"

namespace wl {
namespace {

using win32::RegKey;
using win32::RegWriteKey;
using win32::RegView;

class ImmunizeFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui::test::EnsureUi();
    const std::string pid = std::to_string(GetCurrentProcessId());
    for (int i = 0; i < 3; ++i) clsids_.push_back("{WLFORM-" + pid + "-" + std::to_string(i) + "}");
    for (int i = 0; i < 3; ++i) domains_.push_back("s" + std::to_string(i) + "-" + pid + ".wlform.example");
    tables_.hijack = StringTable::FromText(clsids_[0] + "=Alpha Control\n" + clsids_[1] + "=x=Beta Control\n" +
                                           clsids_[2] + "=Gamma Control\n");
    tables_.sites = StringTable::FromText(domains_[0] + "=Phishing\n" + domains_[1] + "=Malware site\n" +
                                          domains_[2] + "=Scam\n");
  }
  void TearDown() override {
    for (const auto& id : clsids_)
      for (RegView v : {RegView::Force64, RegView::Force32})
        RegWriteKey::DeleteTree(HKEY_LOCAL_MACHINE, ImmunityKeyPath(ImmunityKind::Spyware, id), v);
    for (const auto& d : domains_) RegWriteKey::DeleteTree(HKEY_CURRENT_USER, ImmunityKeyPath(ImmunityKind::Sites, d));
  }
  void Answer(ImmunizeDialog& form, int answer) {
    form.messageBox = [this, answer](HWND, const std::string& text, const std::string& caption, UINT) {
      messages_.push_back(caption + "|" + text);
      return answer;
    };
  }

  ReferenceTables tables_;
  std::vector<std::string> clsids_, domains_, messages_;
};

TEST_F(ImmunizeFormTest, SpywareDialogShowsTheStoredStatusAndAsksBeforeClearing) {
  for (RegView v : {RegView::Force64, RegView::Force32})
    ASSERT_TRUE(WriteRegDword(HKEY_LOCAL_MACHINE, ImmunityKeyPath(ImmunityKind::Spyware, clsids_[1]),
                              kCompatibilityFlags, 1025, v));
  SpywareImmunizeDialog form(tables_);
  Answer(form, IDNO);
  ASSERT_TRUE(form.Create(nullptr));
  ASSERT_EQ(form.Count(), 3u);
  EXPECT_EQ(form.ItemText(0), "Unimmunized                  Alpha Control");
  EXPECT_EQ(form.ItemText(1), "Immunized                      Beta Control");
  EXPECT_TRUE(form.Checked(1));
  EXPECT_FALSE(form.Checked(0));
  EXPECT_EQ(form.Text(ImmunizeDialog::kStatusHeader), "Status(1 Immunized)");
  EXPECT_EQ(form.Text(ImmunizeDialog::kCountHeader), "Item Name(Total 3)");
  // Loading only read: a missing key stays missing, in both views.
  for (RegView v : {RegView::Force64, RegView::Force32})
    EXPECT_FALSE(RegKey::Exists(HKEY_LOCAL_MACHINE, ImmunityKeyPath(ImmunityKind::Spyware, clsids_[0]), v));

  form.ClickItem(1);
  EXPECT_EQ(form.StatusText(), "CLSID: " + clsids_[1]);

  // "Unselect All" + "Apply", answered No: nothing is written.
  form.UnselectAllClick();
  form.ApplyClick();
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_NE(messages_[0].find("1 ActiveX control would be allowed to run again"), std::string::npos) << messages_[0];
  EXPECT_EQ(form.StatusText(), "Nothing was changed.");
  EXPECT_TRUE(ReadImmunized(ImmunityKind::Spyware, clsids_[1]));
  EXPECT_FALSE(form.Checked(1));  // the user's marks stay until applied

  // Answered Yes: only the kill bit goes; the other flag stays.
  Answer(form, IDYES);
  form.ApplyClick();
  ASSERT_EQ(messages_.size(), 3u);
  EXPECT_EQ(messages_[1], messages_[0]);  // asked again, answered Yes
  EXPECT_EQ(messages_[2], "Wardenlake|The immunized spyware will not be installed in your computer any more.");
  EXPECT_EQ(form.StatusText(), "Done");
  for (RegView v : {RegView::Force64, RegView::Force32})
    EXPECT_EQ(ReadStoredFlag(ImmunityKind::Spyware, clsids_[1], v).value, 1u);
  EXPECT_EQ(form.Text(ImmunizeDialog::kStatusHeader), "Status(0 Immunized)");
  EXPECT_EQ(form.ItemText(1), "Unimmunized                  Beta Control");

  // "Select All" + "Apply": no question, everything immunized.
  form.SelectAllClick();
  form.ApplyClick();
  ASSERT_EQ(messages_.size(), 4u);
  EXPECT_EQ(messages_[3], messages_[2]);
  EXPECT_EQ(form.Text(ImmunizeDialog::kStatusHeader), "Status(3 Immunized)");
  for (RegView v : {RegView::Force64, RegView::Force32})
    EXPECT_EQ(ReadStoredFlag(ImmunityKind::Spyware, clsids_[1], v).value, 1025u);
}

TEST_F(ImmunizeFormTest, SiteDialogReportsFailuresInsteadOfDone) {
  SiteImmunizeDialog form(tables_);
  Answer(form, IDOK);
  ASSERT_TRUE(form.Create(nullptr));
  EXPECT_EQ(form.Text(ImmunizeDialog::kCountHeader), "Website Address(Total 3)");
  EXPECT_EQ(form.ItemText(2), "Unimmunized                  " + domains_[2]);
  form.ClickItem(1);
  EXPECT_EQ(form.StatusText(), "Potential infection: Malware site");

  form.SetChecked(0, true);
  {
    ScopedWriteInterceptor deny([](const WriteRequest&) { return static_cast<uint32_t>(ERROR_ACCESS_DENIED); });
    form.ApplyClick();
  }
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].find("Immunize Restricted Sites|1 of 1 change could not be made"), 0u) << messages_[0];
  EXPECT_EQ(form.StatusText().find("1 change failed. Could not write the value \"*\""), 0u) << form.StatusText();
  EXPECT_FALSE(form.Checked(0));  // reloaded: what is stored

  form.SetChecked(0, true);
  form.ApplyClick();
  EXPECT_EQ(form.StatusText(), "Done");
  EXPECT_EQ(messages_.back(),
            "Wardenlake|The website immunized can be visited all the same,but it has been protected.");
  EXPECT_EQ(form.ItemText(0), "Immunized                      " + domains_[0]);
  EXPECT_TRUE(ReadImmunized(ImmunityKind::Sites, domains_[0]));
}

}  // namespace
}  // namespace wl
