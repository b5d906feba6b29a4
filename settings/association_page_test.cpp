// The association page in a window, over the real classes of the registry.
#include "settings/association_page.h"

#include <gtest/gtest.h>

#include "ui/page_test_host.h"
#include "settings/key_backup_fixture.h"
#include "sysroutines/system_info.h"
#include "sysroutines/system_write.h"
#include "win32/registry_write.h"

namespace wl {
namespace {

class AssociationPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* cls : {"exefile", "txtfile", "giffile"})
      backups_.push_back(std::make_unique<test::KeyBackup>(HKEY_CLASSES_ROOT, cls));
    ASSERT_TRUE(WriteRegString(HKEY_CLASSES_ROOT, "exefile\\shell\\open\\command", "", "evil.exe \"%1\" %*"));
    ASSERT_TRUE(WriteRegString(HKEY_CLASSES_ROOT, "txtfile\\shell\\open\\command", "",
                               "%SystemRoot%\\system32\\NOTEPAD.EXE %1", REG_EXPAND_SZ));
    win32::RegWriteKey::DeleteTree(HKEY_CLASSES_ROOT, "giffile");
    host_.page->RefreshClick();
  }
  const AssociationItem& Item(std::size_t i) { return host_.page->List().Rows().at(i); }

  test::RegistryLock lock_;
  std::vector<std::unique_ptr<test::KeyBackup>> backups_;
  ui::test::PageHost<AssociationPage> host_;
};

TEST_F(AssociationPageTest, ShowsTheTwentyClassesWithVerdictsAndReportsLaunchers) {
  auto& list = host_.page->List();
  ASSERT_EQ(list.Count(), 20u);
  for (std::size_t i = 0; i < 20; ++i) {
    EXPECT_EQ(Item(i).index, i);
    // A program icon after the stock images, or none.
    EXPECT_TRUE(Item(i).icon == -1 || Item(i).icon >= ui::stock::kRowImageCount) << i;
  }
  EXPECT_EQ(list.CellText(1, 1), "evil.exe \"%1\" %*");
  EXPECT_EQ(list.CellText(1, 2), "Distrustful setting.Be careful !");
  EXPECT_EQ(Item(1).row.image, ui::stock::kWarning);
  EXPECT_EQ(list.CellText(7, 2), "All Right");
  EXPECT_EQ(list.CellText(13, 0), "giffile");
  EXPECT_EQ(list.CellText(13, 2), "On Your Own Verdict");
  bool reported = false;
  for (const auto& h : host_.hijack.Rows())
    reported |= h.index == 1 && h.description == "System Association" && h.image == -1;
  EXPECT_TRUE(reported);
  // The program icons do not pile up: each scan makes them afresh.
  const int images = ImageList_GetImageCount(host_.page->Images());
  host_.page->RefreshClick();
  EXPECT_EQ(ImageList_GetImageCount(host_.page->Images()), images);
}

TEST_F(AssociationPageTest, ActionsFollowTheRowKind) {
  auto& page = *host_.page;
  using P = AssociationPage;
  page.List().Select(std::nullopt);
  page.PMFileAssPopup();
  for (int id : {P::kRestoreDefaultsMenuItem, P::kCustomSetMenuItem, P::kFilePropertyMenuItem,
                 P::kOpenDirectoryMenuItem, P::kViewEntryMenuItem})
    EXPECT_FALSE(host_.MenuEnabled(id)) << id;
  EXPECT_FALSE(host_.ButtonEnabled(P::kRestoreDefaultButton));
  EXPECT_FALSE(host_.ButtonEnabled(P::kCustomSetButton));
  EXPECT_TRUE(host_.MenuEnabled(P::kRefreshMenuItem));
  EXPECT_TRUE(host_.ButtonEnabled(P::kRefreshButton));

  host_.Select(10);
  EXPECT_TRUE(host_.MenuEnabled(P::kRestoreDefaultsMenuItem));
  EXPECT_TRUE(host_.ButtonEnabled(P::kRestoreDefaultButton));
  EXPECT_FALSE(host_.MenuEnabled(P::kCustomSetMenuItem));
  EXPECT_FALSE(host_.ButtonEnabled(P::kCustomSetButton));
  EXPECT_TRUE(host_.MenuEnabled(P::kViewEntryMenuItem));
  host_.Select(11);
  EXPECT_FALSE(host_.MenuEnabled(P::kRestoreDefaultsMenuItem));
  EXPECT_TRUE(host_.MenuEnabled(P::kCustomSetMenuItem));
  EXPECT_TRUE(host_.ButtonEnabled(P::kCustomSetButton));
  EXPECT_TRUE(host_.MenuEnabled(P::kOpenDirectoryMenuItem));
  EXPECT_EQ(host_.MenuText(P::kFilePropertyMenuItem), "File Poperty");
}

TEST_F(AssociationPageTest, RestoreDefaultAsksThenRepairs) {
  auto& page = *host_.page;
  host_.ui.answer = [](const auto&) { return IDNO; };
  host_.Select(1);
  page.RestoreDefaultsClick();
  ASSERT_EQ(host_.ui.messages.size(), 1u);
  EXPECT_EQ(host_.ui.messages[0].flags & MB_ICONMASK, static_cast<UINT>(MB_ICONQUESTION));
  EXPECT_EQ(Item(1).row.command, "evil.exe \"%1\" %*");

  host_.ui.answer = [](const auto&) { return IDYES; };
  page.RestoreDefaultsClick();
  EXPECT_EQ(Item(1).row.command, "\"%1\" %*");
  EXPECT_EQ(Item(1).row.analysis, "All Right");
  EXPECT_EQ(page.List().SelectedIndex(), 1u);  // the row stays selected
}

TEST_F(AssociationPageTest, CustomSetWritesTheChosenProgram) {
  auto& page = *host_.page;
  std::optional<std::string> choice;
  page.chooseProgram = [&](HWND) { return choice; };
  host_.Select(13);
  page.CustomSetClick();  // cancelled: nothing written
  EXPECT_EQ(Item(13).row.command, "");
  choice = "C:\\Viewers\\gif view.exe";
  host_.Select(13);
  page.CustomSetClick();
  EXPECT_EQ(Item(13).row.command, "\"C:\\Viewers\\gif view.exe\" \"%1\"");
  EXPECT_TRUE(host_.ui.messages.empty());
}

TEST_F(AssociationPageTest, PropertiesFolderAndRegistryEntryOfTheRow) {
  auto& page = *host_.page;
  std::vector<std::string> calls;
  page.showProperties = [&](const std::string& path, HWND) {
    calls.push_back("properties " + path);
    return true;
  };
  page.shellOpen = [&](const std::string& target) {
    calls.push_back("open " + target);
    return true;
  };
  page.jumpToRegistry = [&](const std::string& key, const std::string& value) {
    calls.push_back("jump " + key + "|" + value);
    return true;
  };
  const std::string system32 = GetWindowsDir() + "\\SYSTEM32";
  host_.Select(7);
  page.FileSListDblClick();
  page.OpenDirectoryClick();
  page.ViewEntryClick();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0], "properties " + system32 + "\\NOTEPAD.EXE");
  EXPECT_EQ(calls[1], "open " + system32);
  EXPECT_EQ(calls[2], "jump HKEY_CLASSES_ROOT\\txtfile\\shell\\open\\command|");
  // A command that names no folder opens nothing.
  host_.Select(13);
  page.OpenDirectoryClick();
  EXPECT_EQ(calls.size(), 3u);
  EXPECT_FALSE(host_.ui.status.empty());
}

}  // namespace
}  // namespace wl
