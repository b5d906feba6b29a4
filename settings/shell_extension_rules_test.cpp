#include "settings/shell_extension_rules.h"

#include <gtest/gtest.h>

namespace wl {
namespace {

const ShellExtensionSource& Source(int n) { return ShellExtensionSources().at(static_cast<std::size_t>(n - 1)); }

TEST(ShellExtensionRules, KeysJoinWithOneBackslash) {
  EXPECT_EQ(ShellExtensionEntryKey(Source(1), "edit"), "\\*\\shell\\edit");
  EXPECT_EQ(ShellExtensionValueKey(Source(1), "edit"), "\\*\\shell\\edit\\Command");
  EXPECT_EQ(ShellExtensionValueKey(Source(2), "Open With"), "\\*\\shellex\\ContextMenuHandlers\\Open With");
  EXPECT_EQ(ShellExtensionValueKey(Source(3), "empty"),
            "\\CLSID\\{645FF040-5081-101B-9F08-00AA002F954E}\\Shell\\empty\\command");
  EXPECT_EQ(ShellExtensionValueKey(Source(4), "find"), "\\Directory\\shell\\find\\command");
}

TEST(ShellExtensionRules, MarksAreExactAndCaseSensitive) {
  auto row = MakeShellExtensionRow(Source(2), "Open With", "", "{09799AFB-AD67-11D1-ABCD-00C04FC30936}");
  ASSERT_TRUE(row);
  EXPECT_EQ(row->itemName, "Open With (Default setting,do not remove!)");
  EXPECT_TRUE(row->isDefault);
  EXPECT_EQ(row->type, "All File(ContextMenu)");
  EXPECT_EQ(row->image, 3);
  row = MakeShellExtensionRow(Source(2), "open with", "", "{x}");
  ASSERT_TRUE(row);
  EXPECT_EQ(row->itemName, "open with");
  EXPECT_FALSE(row->isDefault);
  // "Sharing" is a default name for drives but not for all files or folders.
  EXPECT_TRUE(MakeShellExtensionRow(Source(7), "Sharing", "", "{x}")->isDefault);
  EXPECT_FALSE(MakeShellExtensionRow(Source(2), "Sharing", "", "{x}")->isDefault);
  EXPECT_FALSE(MakeShellExtensionRow(Source(6), "Sharing", "", "{x}")->isDefault);
}

TEST(ShellExtensionRules, ConditionsPerSource) {
  // All-file verbs: always a row, even with nothing in it; the display text is the item.
  auto verb = MakeShellExtensionRow(Source(1), "edit", "", "");
  ASSERT_TRUE(verb);
  EXPECT_EQ(verb->itemName, "");
  EXPECT_EQ(verb->key, "\\*\\shell\\edit");
  EXPECT_TRUE(MakeShellExtensionRow(Source(3), "empty", "", ""));
  // Directory verbs need a display text; the mark follows the display text, not the key name.
  EXPECT_FALSE(MakeShellExtensionRow(Source(4), "share", "", "cmd"));
  auto shared = MakeShellExtensionRow(Source(4), "share", "Sharing", "");
  ASSERT_TRUE(shared);
  EXPECT_EQ(shared->itemName, "Sharing (Default setting,do not remove!)");
  EXPECT_EQ(shared->key, "\\Directory\\shell\\share");
  // Directory, folder and drive handlers need a value.
  for (int n : {5, 6, 7}) {
    EXPECT_FALSE(MakeShellExtensionRow(Source(n), "Sharing", "", "")) << n;
    EXPECT_TRUE(MakeShellExtensionRow(Source(n), "Sharing", "", "{x}")) << n;
  }
}

}  // namespace
}  // namespace wl
