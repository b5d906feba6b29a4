#include "settings/settings_repair.h"

#include <gtest/gtest.h>

#include <memory>

#include "settings/association_scan.h"
#include "settings/key_backup_fixture.h"
#include "settings/shell_extensions.h"
#include "win32/registry.h"
#include "win32/registry_write.h"

namespace wl {
namespace {

using win32::RegKey;
using win32::RegWriteKey;

class AssociationRepairTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (std::size_t i : {1, 2, 7, 13, 14})
      backups_.push_back(
          std::make_unique<test::KeyBackup>(HKEY_CLASSES_ROOT, AssociationBareName(tables_.AssociationKeys[i])));
  }
  std::optional<win32::RegValue> Command(std::size_t i) {
    const auto key = RegKey::Open(HKEY_CLASSES_ROOT, tables_.AssociationKeys[i].substr(1), KEY_READ);
    return key ? key->Read("") : std::nullopt;
  }

  AssociationTables tables_ = BuildAssociationTables();
  test::RegistryLock lock_;
  std::vector<std::unique_ptr<test::KeyBackup>> backups_;
};

TEST_F(AssociationRepairTest, RestoreDefaultMakesADistrustedRowAllRight) {
  ASSERT_TRUE(WriteRegString(HKEY_CLASSES_ROOT, "exefile\\shell\\open\\command", "", "evil.exe \"%1\" %*"));
  RegWriteKey::DeleteTree(HKEY_CLASSES_ROOT, "comfile");  // a missing class is created
  ASSERT_EQ(ScanAssociations(tables_).rows[1].verdict, AssociationVerdict::Distrustful);
  ASSERT_TRUE(RestoreDefaultAssociation(tables_, 1));
  ASSERT_TRUE(RestoreDefaultAssociation(tables_, 2));
  ASSERT_TRUE(RestoreDefaultAssociation(tables_, 7));
  const auto r = ScanAssociations(tables_);
  for (std::size_t i : {1, 2, 7}) EXPECT_EQ(r.rows[i].analysis, "All Right") << i;
  for (const auto& h : r.hijack) EXPECT_NE(h.index, 1);
  EXPECT_EQ(Command(1)->type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(r.rows[1].command, "\"%1\" %*");
  EXPECT_EQ(Command(7)->type, static_cast<DWORD>(REG_EXPAND_SZ));
  EXPECT_EQ(r.rows[7].command, "%SYSTEMROOT%\\SYSTEM32\\NOTEPAD.EXE %1");
  // Rows without a default command are not restored.
  EXPECT_FALSE(RestoreDefaultAssociation(tables_, 13));
}

TEST_F(AssociationRepairTest, CustomSetWritesTheChosenProgram) {
  RegWriteKey::DeleteTree(HKEY_CLASSES_ROOT, "giffile");
  ASSERT_TRUE(SetCustomAssociation(tables_, 13, "C:\\Program Files\\Viewer\\view.exe"));
  const auto r = ScanAssociations(tables_);
  EXPECT_EQ(r.rows[13].command, "\"C:\\Program Files\\Viewer\\view.exe\" \"%1\"");
  EXPECT_EQ(r.rows[13].analysis, "On Your Own Verdict");
  // Launchers keep their fixed command; empty choices are refused.
  EXPECT_FALSE(SetCustomAssociation(tables_, 1, "C:\\x.exe"));
  EXPECT_FALSE(SetCustomAssociation(tables_, 14, ""));
  EXPECT_FALSE(SetCustomAssociation(tables_, 20, "C:\\x.exe"));
}

TEST_F(AssociationRepairTest, ARefusedWriteChangesNothingAndSaysWhy) {
  ASSERT_TRUE(WriteRegString(HKEY_CLASSES_ROOT, "exefile\\shell\\open\\command", "", "evil.exe %1"));
  ScopedWriteInterceptor deny([](const WriteRequest&) -> uint32_t { return ERROR_ACCESS_DENIED; });
  const auto result = RestoreDefaultAssociation(tables_, 1);
  EXPECT_EQ(result.error, static_cast<uint32_t>(ERROR_ACCESS_DENIED));
  EXPECT_NE(result.message.find("exefile"), std::string::npos) << result.message;
  EXPECT_EQ(ScanAssociations(tables_).rows[1].command, "evil.exe %1");
}

class ShellExtensionRemoveTest : public ::testing::Test {
 protected:
  test::RegistryLock lock_;
  test::KeyBackup folder_{HKEY_CLASSES_ROOT, "Folder\\shellex\\ContextMenuHandlers"};
  test::KeyBackup allFiles_{HKEY_CLASSES_ROOT, "*\\shellex\\ContextMenuHandlers"};
};

TEST_F(ShellExtensionRemoveTest, RemovesTheEntryKeyAndRefusesDefaultsAndForeignKeys) {
  ASSERT_TRUE(WriteRegString(HKEY_CLASSES_ROOT, "Folder\\shellex\\ContextMenuHandlers\\WlTool", "", "{1}"));
  ASSERT_TRUE(WriteRegString(HKEY_CLASSES_ROOT, "Folder\\shellex\\ContextMenuHandlers\\WlTool\\Deep", "x", "y"));
  ASSERT_TRUE(WriteRegString(HKEY_CLASSES_ROOT, "*\\shellex\\ContextMenuHandlers\\Open With", "", "{2}"));
  std::optional<ShellExtensionRow> tool, openWith;
  for (const auto& row : ScanShellExtensions()) {
    if (row.key == "\\Folder\\shellex\\ContextMenuHandlers\\WlTool") tool = row;
    if (row.key == "\\*\\shellex\\ContextMenuHandlers\\Open With") openWith = row;
  }
  ASSERT_TRUE(tool && openWith);

  EXPECT_FALSE(RemoveShellExtension(*openWith));
  EXPECT_TRUE(RegKey::Exists(HKEY_CLASSES_ROOT, "*\\shellex\\ContextMenuHandlers\\Open With"));

  ShellExtensionRow foreign = *tool;
  for (const char* key : {"\\Folder\\shellex\\ContextMenuHandlers", "\\Folder\\shellex\\ContextMenuHandlers\\",
                          "\\Folder\\shellex\\ContextMenuHandlers\\WlTool\\Deep", "\\Folder", ""}) {
    foreign.key = key;
    EXPECT_FALSE(RemoveShellExtension(foreign)) << key;
  }
  EXPECT_TRUE(RegKey::Exists(HKEY_CLASSES_ROOT, "Folder\\shellex\\ContextMenuHandlers\\WlTool\\Deep"));

  EXPECT_TRUE(RemoveShellExtension(*tool));
  EXPECT_FALSE(RegKey::Exists(HKEY_CLASSES_ROOT, "Folder\\shellex\\ContextMenuHandlers\\WlTool"));
  EXPECT_TRUE(RegKey::Exists(HKEY_CLASSES_ROOT, "Folder\\shellex\\ContextMenuHandlers"));
}

}  // namespace
}  // namespace wl
