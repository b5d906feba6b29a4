// The service page in a window, over real test services.
#include "service/service_page.h"

#include <gtest/gtest.h>

#include "ui/page_test_host.h"
#include "judge/testing/system_judge.h"
#include "service/service_manager.h"
#include "service/test_service_fixture.h"
#include "sysroutines/version_info.h"
#include "win32/file_path.h"
#include "win32/registry.h"
#include "win32/registry_write.h"
#include "win32/unicode.h"

namespace wl {
namespace {

using ui::test::PageHost;

class ServicePageTest : public ::testing::Test {
 protected:
  std::optional<std::size_t> RowOf(const std::string& key) {
    const auto& rows = host_.page->List().Rows();
    for (std::size_t i = 0; i < rows.size(); ++i)
      if (rows[i].keyName == key) return i;
    return std::nullopt;
  }
  const ServiceRow& Row(const std::string& key) { return host_.page->List().Rows().at(RowOf(key).value()); }
  void SelectService(const std::string& key) { host_.Select(RowOf(key).value()); }

  test::TestService svc_;
  PageHost<ServicePage> host_;
};

TEST_F(ServicePageTest, ListsServicesAndReportsTheDistrustedOnes) {
  ASSERT_TRUE(svc_.ok());
  auto& page = *host_.page;
  page.RefreshClick();
  ASSERT_TRUE(RowOf(svc_.keyName()));
  const std::size_t i = *RowOf(svc_.keyName());
  EXPECT_EQ(page.List().CellText(i, 2), "Stopp");
  EXPECT_EQ(page.List().CellText(i, 3), "Manual_Start");
  // Its program lies in the temporary folder, unsigned.
  EXPECT_EQ(page.List().CellText(i, 5), "Distrustful File: Not signed, in a temporary folder (a folder users can write)");
  EXPECT_EQ(page.List().CellText(i, 6), "(Not signed)");
  EXPECT_EQ(page.ServiceListCustomDrawItem(Row(svc_.keyName())), ServicePage::kDistrustfulRowColor);
  // The mark beside the analysis never contradicts it: a check only beside a
  // file the judge trusts.
  for (std::size_t r = 0; r < page.List().Count(); ++r) {
    const int mark = page.List().View().imageOf(r, 5);
    if (page.List().CellText(r, 5).starts_with("Distrustful File")) EXPECT_EQ(mark, ui::stock::kWarning) << r;
    if (mark == ui::stock::kCheck) EXPECT_EQ(page.List().Rows()[r].judgement.verdict, Verdict::Trusted) << r;
  }
  bool reported = false;
  for (const auto& h : host_.hijack.Rows())
    reported |= h.itemName == svc_.keyName() && h.description == "System Service" &&
                h.image == ui::stock::kSystemService;
  EXPECT_TRUE(reported);
  // Each refresh reports them again (other tests' services come and go beside it).
  auto reports = [&] {
    std::size_t n = 0;
    for (const auto& h : host_.hijack.Rows()) n += h.itemName == svc_.keyName();
    return n;
  };
  EXPECT_EQ(reports(), 1u);
  page.RefreshClick();
  EXPECT_EQ(reports(), 2u);
}

TEST_F(ServicePageTest, ActionsFollowTheSelectionAndTheStartTypeIsMarked) {
  ASSERT_TRUE(svc_.ok());
  auto& page = *host_.page;
  page.RefreshClick();
  page.List().Select(std::nullopt);
  page.PMServicePopup();
  for (int id :
       {ServicePage::kStartServiceMenuItem, ServicePage::kStopServiceMenuItem, ServicePage::kRemoveServiceMenuItem,
        ServicePage::kAutoStartMenuItem, ServicePage::kManualStartMenuItem, ServicePage::kDisabledMenuItem})
    EXPECT_FALSE(host_.MenuEnabled(id)) << id;
  for (int id : {ServicePage::kStartServiceButton, ServicePage::kStopServiceButton, ServicePage::kRemoveServiceButton})
    EXPECT_FALSE(host_.ButtonEnabled(id)) << id;
  EXPECT_TRUE(host_.ButtonEnabled(ServicePage::kRefreshButton));
  EXPECT_TRUE(host_.MenuEnabled(ServicePage::kRefreshMenuItem));

  SelectService(svc_.keyName());
  EXPECT_TRUE(host_.ButtonEnabled(ServicePage::kStartServiceButton));
  EXPECT_TRUE(host_.MenuChecked(ServicePage::kManualStartMenuItem));
  EXPECT_FALSE(host_.MenuChecked(ServicePage::kAutoStartMenuItem));

  page.AutoStartClick();
  EXPECT_EQ(Row(svc_.keyName()).startup, "Auto_Start");
  SelectService(svc_.keyName());
  EXPECT_TRUE(host_.MenuChecked(ServicePage::kAutoStartMenuItem));
  EXPECT_FALSE(host_.MenuChecked(ServicePage::kManualStartMenuItem));
  page.DisabledClick();
  EXPECT_EQ(Row(svc_.keyName()).startup, "Disabled");
  SelectService(svc_.keyName());
  EXPECT_TRUE(host_.MenuChecked(ServicePage::kDisabledMenuItem));
  page.ManualStartClick();
  EXPECT_EQ(Row(svc_.keyName()).startup, "Manual_Start");
}

TEST_F(ServicePageTest, StartAndStopChangeTheState) {
  ASSERT_TRUE(svc_.ok());
  auto& page = *host_.page;
  page.RefreshClick();
  SelectService(svc_.keyName());
  page.StartServiceClick();
  EXPECT_EQ(Row(svc_.keyName()).state, "Running");
  EXPECT_EQ(page.ServiceListCustomDrawItem(Row(svc_.keyName())), ServicePage::kDistrustfulRowColor);
  SelectService(svc_.keyName());
  page.StopServiceClick();
  EXPECT_EQ(Row(svc_.keyName()).state, "Stopp");
  // A start that fails is said in the status bar.
  page.startService = [](const std::string&) { return false; };
  SelectService(svc_.keyName());
  page.StartServiceClick();
  EXPECT_NE(host_.ui.status.find(svc_.keyName()), std::string::npos);
}

TEST_F(ServicePageTest, RemovalAsksFirstAndRefusesSystemServicesAndStubbornOnes) {
  test::TestService ms;
  test::TestService stubborn("--refuse-stop");
  ASSERT_TRUE(svc_.ok() && ms.ok() && stubborn.ok());
  // A service of a file of Windows itself.
  wchar_t system[MAX_PATH];
  GetSystemDirectoryW(system, MAX_PATH);
  win32::RegWriteKey::Open(HKEY_LOCAL_MACHINE, ms.registryKey(), KEY_WRITE)
      ->WriteString("ImagePath", win32::Narrow(system) + "\\kernel32.dll");
  ASSERT_TRUE(ServiceStart("", stubborn.keyName()));
  auto& page = *host_.page;
  page.RefreshClick();

  // Windows' own program: the warning, nothing removed, not even a question.
  SelectService(ms.keyName());
  page.RemoveServiceClick();
  ASSERT_EQ(host_.ui.messages.size(), 1u);
  EXPECT_EQ(host_.ui.messages[0].text, "The selected item is a system service.Do not remove it.");
  EXPECT_EQ(host_.ui.messages[0].caption, "Remove Service");
  EXPECT_EQ(host_.ui.messages[0].flags & MB_ICONMASK, static_cast<UINT>(MB_ICONWARNING));
  EXPECT_TRUE(win32::RegKey::Exists(HKEY_LOCAL_MACHINE, ms.registryKey()));

  // Answered No: nothing happens.
  host_.ui.messages.clear();
  host_.ui.answer = [](const auto&) { return IDNO; };
  SelectService(svc_.keyName());
  page.RemoveServiceClick();
  ASSERT_EQ(host_.ui.messages.size(), 1u);
  EXPECT_NE(host_.ui.messages[0].text.find(svc_.keyName()), std::string::npos);
  EXPECT_TRUE(win32::FileExists(svc_.program()));

  // A service that does not stop.
  host_.ui.messages.clear();
  host_.ui.answer = [](const auto&) { return IDYES; };
  const test::SystemJudge judge;
  page.removeService = [&judge](const ServiceRow& row) { return RemoveServiceEntry(row, judge.get(), 1000); };
  SelectService(stubborn.keyName());
  page.RemoveServiceClick();
  ASSERT_EQ(host_.ui.messages.size(), 2u);
  EXPECT_EQ(host_.ui.messages[1].text, "Can not stop " + stubborn.keyName());
  EXPECT_TRUE(win32::RegKey::Exists(HKEY_LOCAL_MACHINE, stubborn.registryKey()));

  // Yes: stopped, key and program gone, list refreshed.
  host_.ui.messages.clear();
  SelectService(svc_.keyName());
  page.RemoveServiceClick();
  EXPECT_EQ(host_.ui.messages.size(), 1u);  // only the question
  EXPECT_TRUE(test::WaitForServiceKeyGone(svc_.keyName()));
  EXPECT_FALSE(win32::FileExists(svc_.program()));
  page.RefreshClick();
  EXPECT_FALSE(RowOf(svc_.keyName()));
}

TEST_F(ServicePageTest, DoubleClickShowsTheProgramsPropertiesAndHeadersSort) {
  ASSERT_TRUE(svc_.ok());
  auto& page = *host_.page;
  std::string shown;
  page.showProperties = [&](const std::string& path, HWND) {
    shown = path;
    return true;
  };
  page.RefreshClick();
  page.ServiceListDblClick();  // nothing selected: nothing shown
  EXPECT_EQ(shown, "");
  SelectService(svc_.keyName());
  page.ServiceListDblClick();
  EXPECT_EQ(shown, AsciiUpper(svc_.program()));

  page.ServiceListColumnClick();
  const auto& rows = page.List().Rows();
  for (std::size_t i = 1; i < rows.size(); ++i)
    EXPECT_LE(CompareStringW(LOCALE_USER_DEFAULT, 0, win32::Widen(rows[i - 1].keyName).c_str(), -1,
                             win32::Widen(rows[i].keyName).c_str(), -1),
              CSTR_EQUAL);
}

}  // namespace
}  // namespace wl
