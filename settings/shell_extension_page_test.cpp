// The shell extension page in a window, over real registry keys.
#include "settings/shell_extension_page.h"

#include <gtest/gtest.h>

#include "ui/page_test_host.h"
#include "settings/key_backup_fixture.h"
#include "sysroutines/system_write.h"
#include "win32/registry_write.h"

namespace wl {
namespace {

using win32::RegKey;
using win32::RegWriteKey;

class ShellExtensionPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegWriteKey::DeleteTree(HKEY_CLASSES_ROOT, "Drive\\shellex\\ContextMenuHandlers");
    ASSERT_TRUE(WriteRegString(HKEY_CLASSES_ROOT, "Drive\\shellex\\ContextMenuHandlers\\Sharing", "", "{1}"));
    ASSERT_TRUE(WriteRegString(HKEY_CLASSES_ROOT, "Drive\\shellex\\ContextMenuHandlers\\WlTool", "", "{2}"));
    ASSERT_TRUE(WriteRegString(HKEY_CLASSES_ROOT, "Drive\\shellex\\ContextMenuHandlers\\WlTool\\Sub", "x", "y"));
    host_.page->RefreshClick();
  }
  std::optional<std::size_t> RowOf(const std::string& item) {
    const auto& rows = host_.page->List().Rows();
    for (std::size_t i = 0; i < rows.size(); ++i)
      if (rows[i].itemName == item) return i;
    return std::nullopt;
  }

  test::RegistryLock lock_;
  test::KeyBackup drive_{HKEY_CLASSES_ROOT, "Drive\\shellex\\ContextMenuHandlers"};
  ui::test::PageHost<ShellExtensionPage> host_;
};

TEST_F(ShellExtensionPageTest, ListsTheEntriesWithoutAPopupMenu) {
  ASSERT_TRUE(RowOf("Sharing (Default setting,do not remove!)"));
  ASSERT_TRUE(RowOf("WlTool"));
  EXPECT_EQ(host_.page->List().CellText(*RowOf("WlTool"), 0), "Drive(ContextMenu)");
  EXPECT_EQ(host_.page->List().View().ColumnWidth(3), 0);  // the key column is hidden
  EXPECT_EQ(GetMenuItemCount(host_.page->PopupMenu()), 0);
  host_.page->List().Select(std::nullopt);
  host_.page->ShellListClick();
  EXPECT_FALSE(host_.ButtonEnabled(ShellExtensionPage::kRemoveButton));
  EXPECT_TRUE(host_.ButtonEnabled(ShellExtensionPage::kRefreshButton));
}

TEST_F(ShellExtensionPageTest, RemoveRefusesDefaultsAndAsksFirst) {
  auto& page = *host_.page;
  host_.Select(*RowOf("Sharing (Default setting,do not remove!)"));
  page.RemoveClick();
  ASSERT_EQ(host_.ui.messages.size(), 1u);
  EXPECT_EQ(host_.ui.messages[0].flags & MB_ICONMASK, static_cast<UINT>(MB_ICONWARNING));
  EXPECT_TRUE(RegKey::Exists(HKEY_CLASSES_ROOT, "Drive\\shellex\\ContextMenuHandlers\\Sharing"));

  host_.ui.answer = [](const auto&) { return IDNO; };
  host_.Select(*RowOf("WlTool"));
  page.RemoveClick();
  EXPECT_TRUE(RegKey::Exists(HKEY_CLASSES_ROOT, "Drive\\shellex\\ContextMenuHandlers\\WlTool"));

  host_.ui.answer = [](const auto&) { return IDYES; };
  host_.Select(*RowOf("WlTool"));
  page.RemoveClick();
  EXPECT_FALSE(RegKey::Exists(HKEY_CLASSES_ROOT, "Drive\\shellex\\ContextMenuHandlers\\WlTool"));
  EXPECT_FALSE(RowOf("WlTool"));  // the list was read again
  EXPECT_EQ(host_.ui.messages.size(), 3u);  // the warning and two questions; no error
}

}  // namespace
}  // namespace wl
