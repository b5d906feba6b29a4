#include "software/installed_software.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>

#include "core/testing/hive_tree.h"
#include "core/utf8_path.h"
#include "software/uninstall_command.h"
#include "sysroutines/system_source.h"
#include "tests/support/test_support.h"
#include "win32/registry.h"
#include "win32/registry_write.h"

namespace wl {
namespace {

using win32::RegKey;
using win32::RegWriteKey;
using win32::RegView;

// Entries of this test live under the real uninstall keys with names of their
// own, removed afterwards; other entries of the machine are left alone.
class InstalledSoftwareTest : public ::testing::Test {
 protected:
  ~InstalledSoftwareTest() override {
    for (const auto& [name, view] : made_) RegWriteKey::DeleteTree(HKEY_LOCAL_MACHINE, Path(name), view);
  }
  static std::string Path(const std::string& name) { return std::string(kUninstallKey) + "\\" + name; }
  std::string NewEntry(RegView view = RegView::Force64) {
    static std::atomic<int> counter{0};
    const std::string name = "WlTestApp" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(counter++);
    made_.push_back({name, view});
    EXPECT_TRUE(RegWriteKey::Create(HKEY_LOCAL_MACHINE, Path(name), KEY_READ | KEY_WRITE, view));
    return name;
  }
  static RegWriteKey Key(const std::string& name, RegView view = RegView::Force64) {
    return *RegWriteKey::Open(HKEY_LOCAL_MACHINE, Path(name), KEY_READ | KEY_WRITE, view);
  }
  static const SoftwareRow* Find(const SoftwareScanResult& r, const std::string& name) {
    for (const auto& row : r.rows)
      if (row.registryKey.size() > name.size() && row.registryKey.ends_with("\\" + name)) return &row;
    return nullptr;
  }

  std::vector<std::pair<std::string, RegView>> made_;
};

TEST_F(InstalledSoftwareTest, ListsEntriesWithAnUninstallCommandAndCountsThem) {
  const std::string full = NewEntry();
  Key(full).WriteString("DisplayName", "Wl Full App");
  Key(full).WriteString("DisplayVersion", "1.2.3");
  Key(full).WriteString("Publisher", "Acme");
  Key(full).WriteString("HelpLink", "http://acme.example/help");
  Key(full).WriteString("UninstallString", "\"C:\\Program Files\\Acme\\uninst.exe\" /S");
  const std::string linkOnly = NewEntry();
  Key(linkOnly).WriteString("DisplayName", "Wl Link Only");
  Key(linkOnly).WriteString("HelpLink", "http://h");
  Key(linkOnly).WriteString("UninstallString", "C:\\x\\u.exe");
  const std::string noCommand = NewEntry();
  Key(noCommand).WriteString("DisplayName", "Wl No Command");
  const std::string emptyCommand = NewEntry();
  Key(emptyCommand).WriteString("DisplayName", "Wl Empty Command");
  Key(emptyCommand).WriteString("UninstallString", "");
  const std::string noName = NewEntry();
  Key(noName).WriteString("UninstallString", "C:\\x\\u.exe");

  const auto before = ScanInstalledSoftware();
  const SoftwareRow* row = Find(before, full);
  ASSERT_TRUE(row);
  EXPECT_EQ(row->displayName, "Wl Full App");
  EXPECT_EQ(row->helpInfo, "Acme  (http://acme.example/help)");
  EXPECT_EQ(row->version, "1.2.3");
  EXPECT_EQ(row->registryKey,
            "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + full);
  EXPECT_EQ(row->uninstallCommand, "\"C:\\Program Files\\Acme\\uninst.exe\" /S");
  ASSERT_TRUE(Find(before, linkOnly));
  EXPECT_EQ(Find(before, linkOnly)->helpInfo, "  (http://h)");
  EXPECT_FALSE(Find(before, noCommand));
  EXPECT_FALSE(Find(before, emptyCommand));
  EXPECT_FALSE(Find(before, noName));
  EXPECT_EQ(before.header, "Installed Software (Total " + std::to_string(before.rows.size()) + ")");
}

TEST_F(InstalledSoftwareTest, ValuesOfOtherTypesShowAsTextAndDoNotStopTheScan) {
  const std::string odd = NewEntry();
  Key(odd).WriteDword("DisplayName", 42);
  Key(odd).WriteRaw("DisplayVersion", REG_BINARY, {0x01, 0x02});
  Key(odd).WriteString("UninstallString", "MsiExec.exe /X{1}", REG_EXPAND_SZ);
  const std::string after = NewEntry();
  Key(after).WriteString("DisplayName", "Wl After Odd");
  Key(after).WriteString("UninstallString", "C:\\after.exe");
  const auto r = ScanInstalledSoftware();
  ASSERT_TRUE(Find(r, odd));
  EXPECT_EQ(Find(r, odd)->displayName, "42");
  EXPECT_EQ(Find(r, odd)->version, "01 02");
  EXPECT_EQ(Find(r, odd)->uninstallCommand, "MsiExec.exe /X{1}");
  EXPECT_TRUE(Find(r, after));
}

TEST_F(InstalledSoftwareTest, ThirtyTwoBitProgramsAreListedWithTheirOwnKeyAndUserEntriesAreNot) {
  const std::string x86 = NewEntry(RegView::Force32);
  Key(x86, RegView::Force32).WriteString("DisplayName", "Wl 32-bit App");
  Key(x86, RegView::Force32).WriteString("UninstallString", "C:\\x86\\u.exe");
  const std::string user = "WlUserApp" + std::to_string(GetCurrentProcessId());
  const std::string userPath = std::string(kUninstallKey) + "\\" + user;
  {
    auto k = RegWriteKey::Create(HKEY_CURRENT_USER, userPath);
    ASSERT_TRUE(k);
    k->WriteString("DisplayName", "Wl User App");
    k->WriteString("UninstallString", "C:\\user\\u.exe");
  }
  const auto r = ScanInstalledSoftware();
  RegWriteKey::DeleteTree(HKEY_CURRENT_USER, userPath);
  ASSERT_TRUE(Find(r, x86));
  EXPECT_EQ(Find(r, x86)->registryKey,
            "HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + x86);
  EXPECT_FALSE(Find(r, user));
}

}  // namespace
}  // namespace wl

namespace wl {
namespace {

using hive::testing::BuildHive;
using hive::testing::Sz;
using hive::testing::TreeKey;

// The programs of another Windows, from its SOFTWARE hive in a folder laid
// out like its volume: both views, entries as the live scan takes them,
// nothing of this PC's.
TEST_F(InstalledSoftwareTest, AnOfflineSystemsProgramsComeFromItsHive) {
  const std::string live = NewEntry();
  Key(live).WriteString("DisplayName", "Wl Live Only");
  Key(live).WriteString("UninstallString", "C:\\x\\u.exe");
  TreeKey software;
  software.name = "SOFTWARE";
  software.At(std::string("Microsoft\\Windows\\CurrentVersion\\Uninstall\\Offline64"))
      .Set("DisplayName", hive::kRegSz, Sz("Offline 64"))
      .Set("UninstallString", hive::kRegExpandSz, Sz("%ProgramFiles%\\O64\\uninst.exe"))
      .Set("Publisher", hive::kRegSz, Sz("Acme"))
      .Set("DisplayVersion", hive::kRegSz, Sz("6.4"));
  software.At(std::string("Microsoft\\Windows\\CurrentVersion\\Uninstall\\NoCommand"))
      .Set("DisplayName", hive::kRegSz, Sz("No Command"));
  software.At(std::string("WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Offline32"))
      .Set("DisplayName", hive::kRegSz, Sz("Offline 32"))
      .Set("UninstallString", hive::kRegSz, Sz("C:\\O32\\uninst.exe"));
  test::ScratchDir dir("wl-software");
  const std::filesystem::path config = dir.Path() / "Windows" / "System32" / "config";
  std::filesystem::create_directories(config);
  test::WriteBytes(Utf8FromPath(config / "SOFTWARE"), BuildHive(software));

  const SoftwareScanResult r = ScanInstalledSoftware(OfflineSystemSource(Utf8FromPath(dir.Path())));
  ASSERT_EQ(r.rows.size(), 2u);
  EXPECT_EQ(r.header, SoftwareListHeader(2));
  EXPECT_EQ(r.rows[0].displayName, "Offline 64");
  EXPECT_EQ(r.rows[0].version, "6.4");
  EXPECT_EQ(r.rows[0].uninstallCommand, "%ProgramFiles%\\O64\\uninst.exe");
  EXPECT_EQ(r.rows[0].registryKey, std::string("HKEY_LOCAL_MACHINE\\") + kUninstallKey + "\\Offline64");
  EXPECT_EQ(r.rows[1].displayName, "Offline 32");
  EXPECT_EQ(r.rows[1].registryKey, std::string("HKEY_LOCAL_MACHINE\\") + kUninstallKey32 + "\\Offline32");

  // A set of hives without SOFTWARE: no programs, and the source says why.
  std::filesystem::remove(config / "SOFTWARE");
  const SystemSource without = OfflineSystemSource(Utf8FromPath(dir.Path()));
  EXPECT_TRUE(ScanInstalledSoftware(without).rows.empty());
  const auto problems = without.Problems();
  EXPECT_TRUE(std::any_of(problems.begin(), problems.end(),
                          [](const std::string& p) { return p.starts_with("SOFTWARE ("); }));
}

}  // namespace
}  // namespace wl
