// The main window with the service, association, shell-extension and
// installed-software pages: start-up builds the association tables, the
// navigation fills the pages, page buttons open other pages, and the hijack
// scan gathers their rows.
#include <gtest/gtest.h>

#include <map>
#include <memory>

#include "app/application.h"
#include "browser/browser_settings_page.h"
#include "browser/helper_object_page.h"
#include "browser/ie_extension_page.h"
#include "browser/other_browsers_page.h"
#include "network/network_settings_page.h"
#include "ui/ui_test_support.h"
#include "core/utf8_path.h"
#include "service/service_page.h"
#include "settings/association_page.h"
#include "settings/key_backup_fixture.h"
#include "settings/shell_extension_page.h"
#include "software/software_page.h"
#include "sysroutines/system_info.h"

namespace wl::app {

namespace test = ui::test;
namespace {

class PagesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::EnsureUi();
    wl::test::WriteBytes(dir_.File("Ref.dbd"), test::TestArchive("svchost.exe=@Generic host\r\n", "2024-05-01\r\n1\r\n"));
    MainOptions options;
    options.appPath = Utf8FromPath(dir_.Path()) + "\\";
    options.quitOnDestroy = false;
    app_ = std::make_unique<Application>(options);
    MainWindow& f = app_->Main();
    f.messageBox = [this](HWND, const std::string& text, const std::string&, UINT) {
      messages_.push_back(text);
      return IDOK;
    };
    ASSERT_TRUE(app_->CreateWindows());
  }
  void TearDown() override {
    app_.reset();
    test::Pump();
  }
  MainWindow& Window() { return app_->Main(); }
  template <class P>
  P& PageOf(std::string_view name) {
    return *dynamic_cast<P*>(Window().PageAt(name));
  }

  wl::test::RegistryLock lock_;  // the association scan reads classes other tests change
  wl::test::ScratchDir dir_{"wlpages"};
  std::unique_ptr<Application> app_;
  std::vector<std::string> messages_;
};

TEST_F(PagesTest, StartUpBuildsTheAssociationTablesForThisWindowsDirectory) {
  EXPECT_EQ(PageOf<AssociationPage>("associations").Tables().ExpectedCommands[10], "\"" + GetWindowsDir() + "\\HH.EXE\" %1");
  EXPECT_EQ(PageOf<AssociationPage>("associations").Tables().AssociationKeys[0], "\\regedit\\shell\\open\\command");
}

TEST_F(PagesTest, NavigationShowsAndFillsThePages) {
  Window().OpenPage("services");
  EXPECT_EQ(Window().ActivePage(), "services");
  EXPECT_FALSE(PageOf<ServicePage>("services").IsEmpty());
  Window().OpenPage("associations");
  EXPECT_EQ(Window().ActivePage(), "associations");
  EXPECT_EQ(PageOf<AssociationPage>("associations").List().Count(), 20u);
  Window().OpenPage("shellext");
  EXPECT_EQ(Window().ActivePage(), "shellext");
  Window().OpenPage("software");
  EXPECT_EQ(Window().ActivePage(), "software");
  EXPECT_TRUE(PageOf<SoftwarePage>("software").HeaderText().starts_with("Installed Software (Total "));
  Window().OpenPage("browsers");
  EXPECT_EQ(Window().ActivePage(), "browsers");
  EXPECT_EQ(PageOf<OtherBrowsersPage>("browsers").List().View().ColumnCount(), 7);
  Window().OpenPage("network-settings");
  EXPECT_EQ(Window().ActivePage(), "network-settings");
  EXPECT_EQ(PageOf<NetworkSettingsPage>("network-settings").List().View().ColumnCount(), 5);
  // A fresh system's hosts file, proxies and DNS servers: nothing distrustful
  // (the roots need the public roots' table, which this test archive lacks).
  for (const auto& row : PageOf<NetworkSettingsPage>("network-settings").List().Rows())
    if (row.kind != "Root Certificate") EXPECT_FALSE(row.flagged) << row.kind << " " << row.name << " " << row.value;
}

TEST_F(PagesTest, NavigationShowsTheBrowserPages) {
  Window().OpenPage("ieext");
  EXPECT_EQ(Window().ActivePage(), "ieext");
  EXPECT_NE(dynamic_cast<IeExtensionPage*>(Window().PageAt("ieext")), nullptr);
  Window().OpenPage("bho");
  EXPECT_EQ(Window().ActivePage(), "bho");
  EXPECT_TRUE(PageOf<HelperObjectPage>("bho").HeaderText(0).starts_with("Item Name (Total "));
  Window().OpenPage("browser-settings");
  EXPECT_EQ(Window().ActivePage(), "browser-settings");
  auto& settings = PageOf<BrowserSettingsPage>("browser-settings");
  EXPECT_FALSE(settings.IsEmpty());
  EXPECT_EQ(settings.FieldText(SettingsField::HomePage),
            LoadBrowserSettings()[SettingsFieldIndex(SettingsField::HomePage)]);
}

TEST_F(PagesTest, OpenPageShowsTheSoftwarePageScannedFirst) {
  Window().OpenPage("software");
  EXPECT_EQ(Window().ActivePage(), "software");
  EXPECT_TRUE(PageOf<SoftwarePage>("software").HeaderText().starts_with("Installed Software (Total "));
}

TEST_F(PagesTest, TheHijackScanGathersDistrustedAssociationsAndServices) {
  // Wine's prefix has no comfile class and services without Microsoft programs.
  Window().HijackScanClick();
  int associations = 0, services = 0;
  for (const auto& row : Window().Hijack().Rows()) {
    associations += row.description == "System Association";
    services += row.description == "System Service";
  }
  EXPECT_GT(associations, 0);
  EXPECT_GT(services, 0);
  // A second scan starts afresh: no row of the first comes back more often
  // than it was found. Tests running beside this one plant and remove
  // entries meanwhile, so the two scans need not match row for row.
  auto tally = [this] {
    std::map<std::pair<std::string, std::string>, int> n;
    for (const auto& row : Window().Hijack().Rows()) ++n[{row.itemName, row.description}];
    return n;
  };
  const auto first = tally();
  Window().HijackScanClick();
  const auto second = tally();
  for (const auto& [row, times] : first) {
    auto again = second.find(row);
    if (again != second.end()) EXPECT_LE(again->second, times) << row.second << ": " << row.first;
  }
}

}  // namespace
}  // namespace wl::app
