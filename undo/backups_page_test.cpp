// The "Backups" page in a window, over a store of real change sets.
#include "undo/backups_page.h"

#include <gtest/gtest.h>

#include "sysroutines/system_write.h"
#include "tests/support/test_support.h"
#include "ui/page_test_host.h"
#include "win32/registry.h"
#include "win32/registry_write.h"

namespace wl::undo {
namespace {

class BackupsPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(win32::RegWriteKey::Create(HKEY_CURRENT_USER, key_)->WriteString("v", "before") == ERROR_SUCCESS);
    {
      ChangeSet set("System Service", "Remove");
      ASSERT_TRUE(DeleteRegValue(HKEY_CURRENT_USER, key_, "v"));
      ASSERT_TRUE(WriteRegString(HKEY_CURRENT_USER, key_, "w", "new"));
    }
    host_.page->RefreshClick();
  }
  void TearDown() override { win32::RegWriteKey::DeleteTree(HKEY_CURRENT_USER, key_); }
  std::optional<std::string> Value(const std::string& name) {
    auto key = win32::RegKey::Open(HKEY_CURRENT_USER, key_);
    return key ? key->ReadString(name) : std::nullopt;
  }

  const std::string key_ = "Software\\WardenlakeTest\\backups-page-" + std::to_string(GetCurrentProcessId());
  test::ScratchDir dir_{"wlbackpage"};
  ScopedBackupStoreRoot root_{dir_.File("store")};
  ScopedBackupRecording recording_;
  ui::test::PageHost<BackupsPage> host_;
};

TEST_F(BackupsPageTest, ListsTheSetAndOpensItToItsItems) {
  auto& list = host_.page->List();
  ASSERT_EQ(list.Count(), 1u);
  EXPECT_EQ(list.CellText(0, 1), "System Service");
  EXPECT_EQ(list.CellText(0, 2), "Remove");
  EXPECT_EQ(list.CellText(0, 3), "2");
  EXPECT_EQ(list.CellText(0, 5), "yes");
  EXPECT_EQ(host_.ui.status.substr(0, 14), "1 change set, ") << host_.ui.status;
  EXPECT_FALSE(host_.page->IsActionEnabled(BackupsPage::kRestore));
  list.View().Select(0);
  host_.page->BackupListPopup();
  EXPECT_TRUE(host_.page->IsActionEnabled(BackupsPage::kRestore));
  host_.page->BackupListDblClick();
  ASSERT_EQ(list.Count(), 3u);
  EXPECT_NE(list.CellText(1, 0).find("Delete the value \"v\""), std::string::npos);
  EXPECT_EQ(list.CellText(1, 5), "yes");
  host_.page->BackupListDblClick();  // closes again
  EXPECT_EQ(list.Count(), 1u);
}

TEST_F(BackupsPageTest, RestoreAsksAboutChangedItemsAndReportsPerItem) {
  ASSERT_TRUE(win32::RegWriteKey::Open(HKEY_CURRENT_USER, key_, KEY_ALL_ACCESS)->WriteString("w", "user's") ==
              ERROR_SUCCESS);
  auto& ui = host_.ui;
  // Yes to restore, No to overwriting the changed item.
  ui.answer = [](const ui::test::RecordingUi::Shown& m) {
    return m.text.find("changed since the backup") != std::string::npos ? IDNO : IDYES;
  };
  host_.page->List().View().Select(0);
  host_.page->RestoreClick();
  ASSERT_EQ(ui.messages.size(), 3u);
  // Before it starts, the restore says what it would overwrite or delete.
  EXPECT_NE(ui.messages[0].text.find("Restoring overwrites or deletes nothing that is there now."), std::string::npos)
      << ui.messages[0].text;
  EXPECT_NE(ui.messages[1].text.find("1 item changed since the backup"), std::string::npos) << ui.messages[1].text;
  EXPECT_NE(ui.messages[1].text.find("With them: Restoring deletes 1 value"), std::string::npos) << ui.messages[1].text;
  EXPECT_NE(ui.messages[2].text.find("Some items were not restored"), std::string::npos);
  EXPECT_EQ(Value("v"), "before");
  EXPECT_EQ(Value("w"), "user's");

  // The restore is a change set of its own, newest first.
  auto& list = host_.page->List();
  ASSERT_EQ(list.Count(), 2u);
  EXPECT_EQ(list.CellText(0, 1), "Backups");
  EXPECT_EQ(list.CellText(0, 2).substr(0, 8), "Restore ");
  ui.messages.clear();
  ui.answer = [](const ui::test::RecordingUi::Shown&) { return IDYES; };
  list.View().Select(1);
  host_.page->RestoreClick();
  ASSERT_EQ(ui.messages.size(), 3u);
  EXPECT_NE(ui.messages[1].text.find("With them: Restoring deletes 1 value"), std::string::npos) << ui.messages[1].text;
  EXPECT_EQ(ui.messages[2].text,
            "Every item of the change set was restored.\nWhat the restore overwrote is kept in a change set of its own.");
  EXPECT_FALSE(Value("w"));
}

TEST_F(BackupsPageTest, DeleteBackupAndOpenFolder) {
  auto& page = *host_.page;
  std::string opened;
  page.shellOpen = [&](const std::string& folder) {
    opened = folder;
    return true;
  };
  page.List().View().Select(0);
  page.OpenFolderClick();
  EXPECT_EQ(opened, ListChangeSets()[0].folder);
  host_.ui.answer = [](const ui::test::RecordingUi::Shown&) { return IDNO; };
  page.DeleteBackupClick();
  EXPECT_EQ(page.List().Count(), 1u);
  host_.ui.answer = [](const ui::test::RecordingUi::Shown&) { return IDYES; };
  page.List().View().Select(0);
  page.DeleteBackupClick();
  EXPECT_EQ(page.List().Count(), 0u);
  EXPECT_TRUE(ListChangeSets().empty());
}

}  // namespace
}  // namespace wl::undo
