#include "settings/association_scan.h"

#include <gtest/gtest.h>

#include <memory>

#include "settings/key_backup_fixture.h"
#include "win32/registry.h"
#include "win32/registry_write.h"

namespace wl {
namespace {

using win32::RegKey;
using win32::RegWriteKey;

// Every class the check reads is put back as it was after each test.
class AssociationScanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const auto& key : tables_.AssociationKeys) {
      const std::string cls = AssociationBareName(key);
      backups_.push_back(std::make_unique<test::KeyBackup>(HKEY_CLASSES_ROOT, cls));
    }
  }

  void SetCommand(std::size_t index, const std::string& command, DWORD type = REG_SZ) {
    auto key = RegWriteKey::Create(HKEY_CLASSES_ROOT, tables_.AssociationKeys[index].substr(1));
    ASSERT_TRUE(key);
    ASSERT_EQ(key->WriteString("", command, type), ERROR_SUCCESS);
  }
  void RemoveClass(std::size_t index) {
    RegWriteKey::DeleteTree(HKEY_CLASSES_ROOT, AssociationBareName(tables_.AssociationKeys[index]));
  }
  static bool HasHijackRow(const AssociationScanResult& r, int index) {
    for (const auto& h : r.hijack)
      if (h.index == index) return h.description == "System Association" && h.itemName == r.rows[index].caption;
    return false;
  }

  AssociationTables tables_ = BuildAssociationTables();
  test::RegistryLock lock_;  // declared before the backups: held until they are restored
  std::vector<std::unique_ptr<test::KeyBackup>> backups_;
};

TEST_F(AssociationScanTest, LaunchersAreJudgedAndDistrustedOnesReported) {
  SetCommand(1, "\"%1\" %*");
  SetCommand(3, "\"%1\"  %*");  // two blanks
  RemoveClass(2);
  auto r = ScanAssociations(tables_);
  ASSERT_EQ(r.rows.size(), 20u);
  EXPECT_EQ(r.rows[1].analysis, "All Right");
  EXPECT_EQ(r.rows[1].image, 5);
  EXPECT_FALSE(HasHijackRow(r, 1));
  EXPECT_EQ(r.rows[3].command, "\"%1\"  %*");
  EXPECT_EQ(r.rows[3].analysis, "Distrustful setting.Be careful !");
  EXPECT_EQ(r.rows[3].image, 4);
  EXPECT_TRUE(HasHijackRow(r, 3));
  // A missing class: bare name, empty command, distrusted and reported.
  EXPECT_EQ(r.rows[2].caption, "comfile");
  EXPECT_EQ(r.rows[2].command, "");
  EXPECT_EQ(r.rows[2].verdict, AssociationVerdict::Distrustful);
  EXPECT_TRUE(HasHijackRow(r, 2));
  // Only launchers and the help class reach the report.
  for (const auto& h : r.hijack) EXPECT_TRUE(AssociationReportsHijack(static_cast<std::size_t>(h.index)));
}

TEST_F(AssociationScanTest, CommandsShowAsStoredAndCaptionsComeFromTheClass) {
  SetCommand(7, "%SystemRoot%\\system32\\NOTEPAD.EXE %1", REG_EXPAND_SZ);
  SetCommand(8, "C:\\WINDOWS\\system32\\notepad.exe %1");
  SetCommand(0, "regedit.exe \"%1\"");
  ASSERT_EQ(RegWriteKey::Create(HKEY_CLASSES_ROOT, "txtfile")->WriteString("", "Text Document"), ERROR_SUCCESS);
  RegWriteKey::Open(HKEY_CLASSES_ROOT, "regedit", KEY_WRITE)->DeleteValue("");
  RemoveClass(13);
  SetCommand(11, "evil.exe %1");
  auto r = ScanAssociations(tables_);
  EXPECT_EQ(r.rows[7].command, "%SystemRoot%\\system32\\NOTEPAD.EXE %1");  // not expanded
  EXPECT_EQ(r.rows[7].analysis, "All Right");
  EXPECT_EQ(r.rows[7].caption, "Text Document");
  EXPECT_EQ(r.rows[8].analysis, "Distrustful setting.Be careful !");
  EXPECT_FALSE(HasHijackRow(r, 8));
  EXPECT_EQ(r.rows[0].analysis, "All Right");
  EXPECT_EQ(r.rows[0].caption, "regedit");
  EXPECT_EQ(r.rows[13].caption, "giffile");
  for (std::size_t i : {11, 13}) {
    EXPECT_EQ(r.rows[i].analysis, "On Your Own Verdict");
    EXPECT_EQ(r.rows[i].image, 7);
  }
  EXPECT_EQ(AssociationRegistryPath(tables_, 1), "HKEY_CLASSES_ROOT\\exefile\\shell\\open\\command");
}

TEST_F(AssociationScanTest, ACommandOfTheWrongTypeIsShownAndDistrusted) {
  auto key = RegWriteKey::Create(HKEY_CLASSES_ROOT, tables_.AssociationKeys[4].substr(1));
  ASSERT_TRUE(key);
  key->WriteDword("", 7);
  auto r = ScanAssociations(tables_);
  EXPECT_EQ(r.rows[4].command, "7");
  EXPECT_EQ(r.rows[4].verdict, AssociationVerdict::Distrustful);
}

}  // namespace
}  // namespace wl
