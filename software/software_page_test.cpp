// The installed-software page in a window, over real uninstall entries.
#include "software/software_page.h"

#include <gtest/gtest.h>

#include "ui/page_test_host.h"
#include "sysroutines/system_write.h"
#include "win32/file_path.h"
#include "win32/registry.h"
#include "win32/unicode.h"

namespace wl {
namespace {

using win32::RegKey;

class SoftwarePageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Put(app_, "Wl Page App", "\"" + dir_.Path().string() + "\\uninst.exe\" /S");
    Put(msi_, "wl page msi", "MsiExec.exe /X{00000000-0000-0000-0000-000000000001}");
    ASSERT_TRUE(WriteRegString(HKEY_LOCAL_MACHINE, Path(app_) + "\\Nested\\Deeper", "x", "y"));
    host_.page->RefreshClick();
  }
  void TearDown() override {
    for (const auto& name : {app_, msi_}) DeleteRegTree(HKEY_LOCAL_MACHINE, Path(name));
  }
  static std::string Path(const std::string& name) { return std::string(kUninstallKey) + "\\" + name; }
  static void Put(const std::string& name, const std::string& displayName, const std::string& command) {
    ASSERT_TRUE(WriteRegString(HKEY_LOCAL_MACHINE, Path(name), "DisplayName", displayName));
    ASSERT_TRUE(WriteRegString(HKEY_LOCAL_MACHINE, Path(name), "UninstallString", command));
  }
  // This process's row of that name: test programs beside this one plant
  // entries of the same names under their own keys.
  std::optional<std::size_t> RowOf(const std::string& displayName) {
    const auto& rows = host_.page->List().Rows();
    for (std::size_t i = 0; i < rows.size(); ++i)
      if (rows[i].displayName == displayName &&
          (rows[i].registryKey.ends_with("\\" + app_) || rows[i].registryKey.ends_with("\\" + msi_)))
        return i;
    return std::nullopt;
  }

  const std::string app_ = "WlPageApp" + std::to_string(GetCurrentProcessId());
  const std::string msi_ = "WlPageMsi" + std::to_string(GetCurrentProcessId());
  wl::test::ScratchDir dir_{"wlsoftpage"};
  ui::test::PageHost<SoftwarePage> host_;
};

TEST_F(SoftwarePageTest, ListsTheEntriesUnderACountedHeader) {
  auto& list = host_.page->List();
  ASSERT_TRUE(RowOf("Wl Page App"));
  EXPECT_EQ(host_.page->HeaderText(), "Installed Software (Total " + std::to_string(list.Count()) + ")");
  EXPECT_EQ(list.CellText(*RowOf("Wl Page App"), 3), "HKEY_LOCAL_MACHINE\\" + Path(app_));
  EXPECT_EQ(list.View().ColumnWidth(3), 0);
  EXPECT_EQ(list.View().ColumnWidth(4), 0);
  // A header click sorts by name from then on.
  host_.page->SoftListColumnClick();
  EXPECT_LT(*RowOf("Wl Page App"), *RowOf("wl page msi"));
  const auto& rows = list.Rows();
  for (std::size_t i = 1; i < rows.size(); ++i)
    EXPECT_LE(CompareStringW(LOCALE_USER_DEFAULT, 0, win32::Widen(rows[i - 1].displayName).c_str(), -1,
                             win32::Widen(rows[i].displayName).c_str(), -1),
              CSTR_EQUAL);
}

TEST_F(SoftwarePageTest, ActionsNeedASelectedRow) {
  auto& page = *host_.page;
  std::vector<std::string> started;
  page.startUninstaller = [&](const std::string& command, const std::string&) {
    started.push_back(command);
    return WriteResult{};
  };
  page.List().Select(std::nullopt);
  page.PMSoftPopup();
  for (int id : {SoftwarePage::kUninstallMenuItem, SoftwarePage::kLogOnMenuItem, SoftwarePage::kOpenDirectoryMenuItem,
                 SoftwarePage::kViewEntryMenuItem})
    EXPECT_FALSE(host_.MenuEnabled(id)) << id;
  EXPECT_FALSE(host_.ButtonEnabled(SoftwarePage::kUninstallButton));
  EXPECT_FALSE(host_.ButtonEnabled(SoftwarePage::kRemoveEntryButton));
  page.SoftListDblClick();  // nothing selected: nothing started
  EXPECT_TRUE(started.empty());

  host_.Select(*RowOf("Wl Page App"));
  EXPECT_TRUE(host_.MenuEnabled(SoftwarePage::kLogOnMenuItem));
  EXPECT_EQ(host_.MenuText(SoftwarePage::kLogOnMenuItem), "Log-On");
  page.SoftListDblClick();
  ASSERT_EQ(started.size(), 1u);
  EXPECT_EQ(started[0], "\"" + dir_.Path().string() + "\\uninst.exe\" /S");
}

TEST_F(SoftwarePageTest, AnUninstallerThatCannotStartIsReported) {
  host_.Select(*RowOf("Wl Page App"));
  host_.page->UninstallClick();  // the program does not exist
  ASSERT_EQ(host_.ui.messages.size(), 1u);
  EXPECT_EQ(host_.ui.messages[0].flags & MB_ICONMASK, static_cast<UINT>(MB_ICONERROR));
  EXPECT_TRUE(RowOf("Wl Page App"));
}

TEST_F(SoftwarePageTest, RemoveEntryAsksAndRemovesTheWholeKey) {
  auto& page = *host_.page;
  host_.ui.answer = [](const auto&) { return IDNO; };
  host_.Select(*RowOf("Wl Page App"));
  page.RemoveEntryClick();
  ASSERT_EQ(host_.ui.messages.size(), 1u);
  EXPECT_EQ(host_.ui.messages[0].text, "Are you sure to log-on the installation info?");
  EXPECT_EQ(host_.ui.messages[0].caption, "Log-on Installation info");
  EXPECT_EQ(host_.ui.messages[0].flags, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
  EXPECT_TRUE(RegKey::Exists(HKEY_LOCAL_MACHINE, Path(app_) + "\\Nested\\Deeper"));

  host_.ui.answer = [](const auto&) { return IDYES; };
  host_.Select(*RowOf("Wl Page App"));
  page.RemoveEntryClick();
  EXPECT_FALSE(RegKey::Exists(HKEY_LOCAL_MACHINE, Path(app_)));
  EXPECT_FALSE(RowOf("Wl Page App"));
  EXPECT_TRUE(RowOf("wl page msi"));
}

TEST_F(SoftwarePageTest, FolderAndRegistryEntry) {
  auto& page = *host_.page;
  std::vector<std::string> calls;
  page.shellOpen = [&](const std::string& target) {
    calls.push_back("open " + target);
    return true;
  };
  page.jumpToRegistry = [&](const std::string& key, const std::string& value) {
    calls.push_back("jump " + key + "|" + value);
    return true;
  };
  host_.Select(*RowOf("Wl Page App"));
  page.OpenDirectoryClick();
  page.ViewEntryClick();
  host_.Select(*RowOf("wl page msi"));
  page.OpenDirectoryClick();  // no folder in the command: nothing opened, said why
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_TRUE(calls[0].starts_with("open ")) << calls[0];
  EXPECT_TRUE(win32::DirectoryExists(calls[0].substr(5))) << calls[0];
  EXPECT_EQ(calls[1], "jump HKEY_LOCAL_MACHINE\\" + Path(app_) + "|DisplayName");
  EXPECT_NE(host_.ui.status.find("wl page msi"), std::string::npos);
}

}  // namespace
}  // namespace wl
