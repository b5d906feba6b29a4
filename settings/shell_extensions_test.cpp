#include "settings/shell_extensions.h"

#include <gtest/gtest.h>

#include <memory>

#include "settings/key_backup_fixture.h"
#include "win32/registry.h"
#include "win32/registry_write.h"

namespace wl {
namespace {

using win32::RegKey;
using win32::RegWriteKey;

class ShellExtensionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const auto& source : ShellExtensionSources()) {
      std::string path = std::string(source.key).substr(1);
      if (path.back() == '\\') path.pop_back();
      backups_.push_back(std::make_unique<test::KeyBackup>(HKEY_CLASSES_ROOT, path));
      RegWriteKey::DeleteTree(HKEY_CLASSES_ROOT, path);
    }
  }
  static void Put(const std::string& key, const std::string* value) {
    auto k = RegWriteKey::Create(HKEY_CLASSES_ROOT, key);
    ASSERT_TRUE(k);
    if (value) {
      ASSERT_EQ(k->WriteString("", *value), ERROR_SUCCESS);
    }
  }
  static void Put(const std::string& key, const std::string& value) { Put(key, &value); }
  static void PutEmpty(const std::string& key) { Put(key, nullptr); }

  test::RegistryLock lock_;  // declared before the backups: held until they are restored
  std::vector<std::unique_ptr<test::KeyBackup>> backups_;
};

TEST_F(ShellExtensionsTest, NoSourcesNoRows) { EXPECT_TRUE(ScanShellExtensions().empty()); }

TEST_F(ShellExtensionsTest, RowsFollowTheSourcesAndTheirConditions) {
  PutEmpty("*\\shell\\bare");  // no display text, no command: still a row
  Put("*\\shell\\edit", "&Edit it");
  Put("*\\shell\\edit\\Command", "notepad.exe \"%1\"");
  Put("*\\shellex\\ContextMenuHandlers\\Open With", "{09799AFB-AD67-11D1-ABCD-00C04FC30936}");
  PutEmpty("Directory\\shell\\nodisplay");
  Put("Directory\\shell\\nodisplay\\command", "x.exe");
  Put("Directory\\shell\\sharekey", "Sharing");
  Put("Drive\\shellex\\ContextMenuHandlers\\Sharing", "");
  Put("Folder\\shellex\\ContextMenuHandlers\\Tool", "{2}");
  Put("CLSID\\{645FF040-5081-101B-9F08-00AA002F954E}\\Shell\\empty\\command", "emptybin.exe");

  const auto rows = ScanShellExtensions();
  std::vector<std::string> seen;
  for (const auto& r : rows) seen.push_back(r.type + "|" + r.itemName + "|" + r.value + "|" + r.key);
  // Source order; within a source the registry's own order (not assumed here).
  auto has = [&](const std::string& s) { return std::find(seen.begin(), seen.end(), s) != seen.end(); };
  EXPECT_TRUE(has("All File(Shell)|||\\*\\shell\\bare"));
  EXPECT_TRUE(has("All File(Shell)|&Edit it|notepad.exe \"%1\"|\\*\\shell\\edit"));
  EXPECT_TRUE(has("All File(ContextMenu)|Open With (Default setting,do not remove!)|"
                  "{09799AFB-AD67-11D1-ABCD-00C04FC30936}|\\*\\shellex\\ContextMenuHandlers\\Open With"));
  EXPECT_TRUE(has("Recycle Bin(ContextMenu)|empty|emptybin.exe|"
                  "\\CLSID\\{645FF040-5081-101B-9F08-00AA002F954E}\\Shell\\empty"));
  EXPECT_TRUE(has("Directory(Shell)|Sharing (Default setting,do not remove!)||\\Directory\\shell\\sharekey"));
  EXPECT_TRUE(has("Folder(ContextMenu)|Tool|{2}|\\Folder\\shellex\\ContextMenuHandlers\\Tool"));
  EXPECT_EQ(rows.size(), 6u);  // no row for the unnamed directory verb nor the empty drive handler
  for (std::size_t i = 1; i < rows.size(); ++i) {
    const auto order = [](const std::string& type) {
      for (std::size_t n = 0; n < ShellExtensionSources().size(); ++n)
        if (type == ShellExtensionSources()[n].type) return n;
      return std::size_t(99);
    };
    EXPECT_LE(order(rows[i - 1].type), order(rows[i].type));
  }
  EXPECT_EQ(rows.front().image, 16);
}

TEST_F(ShellExtensionsTest, MarksFollowTheNameAsStored) {
  // Key names are case-insensitive, so each spelling gets a scan of its own.
  Put("Drive\\shellex\\ContextMenuHandlers\\Sharing", "{f81e9010-6ea4-11ce-a7ff-00aa003ca9f6}");
  auto rows = ScanShellExtensions();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].itemName, "Sharing (Default setting,do not remove!)");
  EXPECT_TRUE(rows[0].isDefault);
  EXPECT_EQ(rows[0].image, 13);
  RegWriteKey::DeleteTree(HKEY_CLASSES_ROOT, "Drive\\shellex\\ContextMenuHandlers\\Sharing");
  Put("Drive\\shellex\\ContextMenuHandlers\\sharing", "{f81e9010-6ea4-11ce-a7ff-00aa003ca9f6}");
  rows = ScanShellExtensions();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].itemName, "sharing");
  EXPECT_FALSE(rows[0].isDefault);
}

}  // namespace
}  // namespace wl
