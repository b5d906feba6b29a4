#include "autorun/autorun_scan.h"

#include <gtest/gtest.h>

#include "judge/testing/system_judge.h"
#include "sysroutines/system_info.h"

#include <chrono>

#include "autorun/autorun_actions.h"
#include "autorun/testing/autorun_fixture.h"
#include "sysroutines/test_files.h"
#include "tests/support/test_support.h"
#include "win32/registry_write.h"

namespace wl {
namespace {

using test::FindRow;
using test::RowIndex;
using test::ScopedValues;
using test::UniqueName;

const HKEY CU = HKEY_CURRENT_USER;
const HKEY LM = HKEY_LOCAL_MACHINE;

std::string Text(const char* root, const char* path, bool trailingBackslash = true) {
  return std::string(root) + "\\" + path + (trailingBackslash ? "\\" : "");
}

TEST(ScanAutorun, RegistrySourcesFollowTheirValueRulesInScanOrder) {
  ScopedValues values;
  test::ScratchPlaces scratch;
  const std::string sz = UniqueName("sz"), exp = UniqueName("exp"), once = UniqueName("once"),
                    dw = UniqueName("dw"), qw = UniqueName("qw"), bin = UniqueName("bin"), envLm = UniqueName("env"),
                    drive = UniqueName("drive"), quoted = UniqueName("quoted"), clsid = UniqueName("clsid"),
                    ssodl = UniqueName("ssodl"), userinit = UniqueName("userinit"), bare = UniqueName("bare"),
                    load = UniqueName("load"), parent = UniqueName("parent"), ex = UniqueName("ex"),
                    exSub = UniqueName("exsub"), run32 = UniqueName("run32");
  // Run keys take plain strings only; RunOnce of the user takes everything.
  values.String(CU, test::kRun, sz, "C:\\a\\one.exe");
  values.String(CU, test::kRun, exp, "%SystemRoot%\\exp.exe", REG_EXPAND_SZ);
  values.String(CU, test::kRunOnce, once, "%SystemRoot%\\once.exe", REG_EXPAND_SZ);
  values.Raw(CU, test::kRunOnce, dw, REG_DWORD, {0xFF, 0xFF, 0xFF, 0xFF});
  values.Raw(CU, test::kRunOnce, qw, REG_QWORD, {0, 0, 0, 0, 1, 0, 0, 0});
  values.Raw(CU, test::kRunOnce, bin, REG_BINARY, {0x01, 0xAB});
  // The machine's Run key has no drive test; its RunOnce key has.
  values.String(LM, test::kRun, envLm, "%ProgramFiles%\\env.exe");
  values.String(LM, test::kRunOnce, envLm, "%ProgramFiles%\\env.exe");
  values.String(LM, test::kRunOnce, drive, "C:\\y.exe");
  values.String(LM, test::kRunOnce, quoted, "\"C:\\y.exe\"");
  values.String(LM, test::kSsodl, clsid, "{AEB6717E-7E19-11D0-97EE-00C04FD91972}");
  values.String(LM, test::kSsodl, ssodl, "C:\\WINDOWS\\ssodl.dll");
  values.String(CU, test::kWinlogon, userinit, "C:\\WINDOWS\\system32\\userinit.exe,");
  values.String(CU, test::kWinlogon, bare, "Explorer.exe");
  // The Load key below Windows is read, not the Windows key itself; of
  // RunOnceEx only its own values.
  values.String(CU, std::string(test::kWindows) + "\\Load", load, "C:\\load.exe");
  values.String(CU, test::kWindows, parent, "C:\\parent.exe");
  values.String(CU, test::kRunOnceEx, ex, "C:\\ex.exe");
  values.String(CU, std::string(test::kRunOnceEx) + "\\" + exSub, exSub, "C:\\exsub.exe");
  // 32-bit programs' machine-wide Run key.
  values.String(LM, test::kRun32, run32, "C:\\x86\\run32.exe");

  const auto scan = ScanAutorun(test::SystemJudge(), scratch.Places());
  win32::RegWriteKey::DeleteTree(CU, std::string(test::kRunOnceEx) + "\\" + exSub);
  const auto& rows = scan.rows;

  const AutorunRow* row = FindRow(rows, sz);
  ASSERT_NE(row, nullptr);
  EXPECT_EQ(row->value, "C:\\a\\one.exe");
  EXPECT_EQ(row->registryKey, test::kCuRunText);
  EXPECT_EQ(row->source, 1);
  // What a rule of sources 1 to 21 drops (an expandable string in Run, a command that
  // does not begin with a drive in the machine's RunOnce, a RunOnceEx
  // section) a place of the table lists after them.
  ASSERT_NE(FindRow(rows, exp), nullptr);
  EXPECT_GT(FindRow(rows, exp)->source, kScheduledTaskSource);

  const std::string runOnceText = Text("HKEY_CURRENT_USER", test::kRunOnce);
  ASSERT_NE(FindRow(rows, once, runOnceText), nullptr);
  EXPECT_EQ(FindRow(rows, once)->value, "%SystemRoot%\\once.exe");  // as stored, not expanded
  ASSERT_NE(FindRow(rows, dw), nullptr);
  EXPECT_EQ(FindRow(rows, dw)->value, "4294967295");
  ASSERT_NE(FindRow(rows, qw), nullptr);
  EXPECT_EQ(FindRow(rows, qw)->value, "4294967296");
  ASSERT_NE(FindRow(rows, bin), nullptr);
  EXPECT_EQ(FindRow(rows, bin)->value, "01 AB");

  const std::string lmRunText = Text("HKEY_LOCAL_MACHINE", test::kRun);
  const std::string lmRunOnceText = Text("HKEY_LOCAL_MACHINE", test::kRunOnce);
  EXPECT_NE(FindRow(rows, envLm, lmRunText), nullptr);
  ASSERT_NE(FindRow(rows, envLm, lmRunOnceText), nullptr);
  EXPECT_GT(FindRow(rows, envLm, lmRunOnceText)->source, kScheduledTaskSource);
  EXPECT_NE(FindRow(rows, drive, lmRunOnceText), nullptr);
  ASSERT_NE(FindRow(rows, quoted), nullptr);  // a quote before the drive letter fails the drive rule only
  EXPECT_GT(FindRow(rows, quoted)->source, kScheduledTaskSource);
  EXPECT_EQ(FindRow(rows, clsid), nullptr);
  EXPECT_NE(FindRow(rows, ssodl, Text("HKEY_LOCAL_MACHINE", test::kSsodl)), nullptr);
  EXPECT_NE(FindRow(rows, userinit, Text("HKEY_CURRENT_USER", test::kWinlogon)), nullptr);
  EXPECT_EQ(FindRow(rows, bare), nullptr);
  EXPECT_NE(FindRow(rows, load, Text("HKEY_CURRENT_USER", test::kWindows) + "Load\\"), nullptr);
  EXPECT_EQ(FindRow(rows, parent), nullptr);
  EXPECT_NE(FindRow(rows, ex, Text("HKEY_CURRENT_USER", test::kRunOnceEx, false)), nullptr);
  ASSERT_NE(FindRow(rows, exSub), nullptr);
  EXPECT_EQ(FindRow(rows, exSub)->registryKey, Text("HKEY_CURRENT_USER", test::kRunOnceEx) + exSub + "\\");
  ASSERT_NE(FindRow(rows, run32), nullptr);
  EXPECT_EQ(FindRow(rows, run32)->registryKey, Text("HKEY_LOCAL_MACHINE", test::kRun32));

  // Rows come source by source: the user's Run, RunOnce, RunOnceEx, Load,
  // Winlogon, then the machine's Run, its 32-bit twin, RunOnce, the
  // delayed-load key.
  const std::vector<int> order = {RowIndex(rows, sz),    RowIndex(rows, once),   RowIndex(rows, ex),
                                  RowIndex(rows, load),  RowIndex(rows, userinit), RowIndex(rows, envLm),
                                  RowIndex(rows, run32), RowIndex(rows, drive),  RowIndex(rows, ssodl)};
  EXPECT_TRUE(std::is_sorted(order.begin(), order.end())) << ::testing::PrintToString(order);
}

TEST(ScanAutorun, MissingKeysStayMissingAndAKeyThatCannotBeOpenedGivesNothing) {
  // The scan only reads: a source key that is not there is not created.
  const std::string key = "Software\\Microsoft\\Windows\\CurrentVersion\\RunServicesOnce";
  if (auto existing = win32::RegKey::Open(CU, key)) {
    if (!existing->Values().empty() || !existing->SubKeyNames().empty()) GTEST_SKIP() << "the key is in use";
  }
  win32::RegWriteKey::DeleteTree(CU, key);
  ASSERT_FALSE(win32::RegKey::Exists(CU, key));
  ScopedValues values;
  test::ScratchPlaces scratch;
  const std::string name = UniqueName("readonly");
  values.String(CU, test::kRun, name, "C:\\ro.exe");
  EXPECT_NE(FindRow(ScanAutorun(test::SystemJudge(), scratch.Places()).rows, name), nullptr);
  EXPECT_FALSE(win32::RegKey::Exists(CU, key));

  // A key that cannot be opened at all contributes nothing; the scan goes on.
  test::ScopedIniValue shell(scratch.Places().SystemIniPath(), "boot", "shell", "Explorer.exe");
  const SourceKeyOpener nothing = [](HKEY, const std::string&) { return std::optional<win32::RegKey>(); };
  const auto scan = ScanAutorun(test::SystemJudge(), scratch.Places(), nothing);
  EXPECT_EQ(FindRow(scan.rows, name), nullptr);
  EXPECT_NE(FindRow(scan.rows, "Explorer.exe", "System.ini"), nullptr);
}

// The last row of sources 1 to 21 (scheduled tasks and hooks follow).
const AutorunRow& LastRowBeforeTasks(const std::vector<AutorunRow>& rows) {
  std::size_t last = 0;
  for (std::size_t i = 0; i < rows.size(); ++i)
    if (rows[i].source <= kCommonStartupSource) last = i;
  return rows.at(last);
}

TEST(ScanAutorun, IniEntriesFromTheWindowsDirectory) {
  test::ScratchPlaces scratch;
  const auto& places = scratch.Places();
  {
    test::ScopedIniValue run(places.WinIniPath(), "Windows", "Run", "C:\\ini\\run.exe /q");
    test::ScopedIniValue load(places.WinIniPath(), "Windows", "Load", "");
    test::ScopedIniValue shell(places.SystemIniPath(), "boot", "shell", "Explorer.exe");
    const auto rows = ScanAutorun(test::SystemJudge(), places).rows;
    const AutorunRow* run1 = FindRow(rows, "C:\\ini\\run.exe /q", "Win.ini");
    ASSERT_NE(run1, nullptr);
    EXPECT_EQ(run1->value, "C:\\ini\\run.exe /q");
    EXPECT_EQ(run1->source, kWinIniRunSource);
    int winIniRows = 0;
    for (const auto& r : rows) winIniRows += r.registryKey == "Win.ini";
    EXPECT_EQ(winIniRows, 1);  // the empty Load makes no row
    const AutorunRow* shellRow = FindRow(rows, "Explorer.exe", "System.ini");
    ASSERT_NE(shellRow, nullptr);
    EXPECT_EQ(shellRow->value, "Explorer.exe");
    EXPECT_EQ(shellRow->source, kSystemIniShellSource);
    // The INI rows follow every registry row of sources 1 to 16.
    EXPECT_EQ(LastRowBeforeTasks(rows).registryKey, "System.ini");
  }
  // No System.ini: no row, no failure.
  AutorunPlaces elsewhere = places;
  elsewhere.windowsDir = scratch.Folder("empty");
  for (const auto& r : ScanAutorun(test::SystemJudge(), elsewhere).rows) EXPECT_NE(r.registryKey, "System.ini");
}

TEST(ScanAutorun, StartupFolderShortcuts) {
  test::ScratchPlaces scratch;
  const auto& places = scratch.Places();
  const std::string foo = scratch.Folder("Foo") + "\\foo.exe";
  const std::string bar = scratch.Folder("Bar \xC3\xA4") + "\\bar.exe";
  test::WriteFileAt(foo, "MZ");
  test::WriteFileAt(bar, "MZ");
  test::SaveShortcut(places.userStartupFolder + "\\Foo.lnk", foo, "");
  test::SaveShortcut(places.userStartupFolder + "\\Bar \xC3\xA4.lnk", bar, "-x y");
  test::SaveShortcut(places.commonStartupFolder + "\\Foo.lnk", bar, "");
  test::WriteFileAt(places.userStartupFolder + "\\notes.txt", "not a shortcut");

  const auto rows = ScanAutorun(test::SystemJudge(), places).rows;
  const int userFoo = RowIndex(rows, "Foo", "Startup Menu");
  const int userBar = RowIndex(rows, "Bar \xC3\xA4", "Startup Menu");
  const int commonFoo = RowIndex(rows, "Foo", "Common_Startup Menu");
  ASSERT_GE(userFoo, 0);
  ASSERT_GE(userBar, 0);
  ASSERT_GE(commonFoo, 0);
  EXPECT_EQ(rows[userFoo].value, foo + " ");  // the target, a blank, no arguments
  EXPECT_EQ(rows[userFoo].iconText, foo);
  EXPECT_EQ(rows[userBar].value, bar + " -x y");
  EXPECT_EQ(rows[commonFoo].value, bar + " ");
  EXPECT_LT(std::max(userFoo, userBar), commonFoo);  // the user's folder first
  // A file that is no shortcut starts too: it follows the shortcuts.
  EXPECT_EQ(RowIndex(rows, "notes"), -1);
  const int notes = RowIndex(rows, "notes.txt", "Startup Menu");
  ASSERT_GE(notes, 0);
  EXPECT_EQ(rows[notes].value, places.userStartupFolder + "\\notes.txt");
  EXPECT_EQ(StartupShortcutPath(rows[notes], places), places.userStartupFolder + "\\notes.txt");
  EXPECT_GT(notes, commonFoo);
  EXPECT_EQ(LastRowBeforeTasks(rows).registryKey, "Startup Menu");
}

TEST(ScanAutorun, HijackRowsPointAtTheirRows) {
  ScopedValues values;
  test::ScratchPlaces scratch;
  ReferenceTables tables;
  tables.process = StringTable::FromText("wlvirus.exe=$Test worm\nnotepad.exe=@Test system\n");
  const std::string unknown1 = UniqueName("u1"), unknown2 = UniqueName("u2"), virus = UniqueName("v"),
                    system = UniqueName("s");
  values.String(CU, test::kRun, unknown1, "C:\\x\\wlunknown1.exe");
  values.String(CU, test::kRunOnce, unknown2, "\"C:\\Program Files\\x\\wlunknown2.exe\" /min");
  values.String(CU, test::kRun, virus, "C:\\x\\WLVIRUS.EXE -s");
  values.String(CU, test::kRun, system, GetWindowsDir() + "\\system32\\notepad.exe");

  const auto scan = ScanAutorun(test::SystemJudge(tables), scratch.Places());
  int found = 0;
  for (const auto& h : scan.hijack) {
    ASSERT_GE(h.index, 0);
    ASSERT_LT(h.index, static_cast<int>(scan.rows.size()));
    EXPECT_EQ(h.itemName, scan.rows[h.index].itemName);  // every index names its own row
    EXPECT_EQ(h.description, "Startup Item");
    if (h.itemName == unknown1 || h.itemName == unknown2 || h.itemName == virus) ++found;
    EXPECT_NE(h.itemName, system);
  }
  EXPECT_EQ(found, 3);
  EXPECT_TRUE(FindRow(scan.rows, virus)->analysis.starts_with("(Virus/Trojan/Worm) Test worm"));
  EXPECT_EQ(FindRow(scan.rows, virus)->statusImage, kStatusCross);
  EXPECT_EQ(FindRow(scan.rows, unknown2)->statusImage, kStatusWarning);
  EXPECT_EQ(FindRow(scan.rows, system)->analysis, "(System Process) Test system");
  EXPECT_EQ(FindRow(scan.rows, system)->statusImage, kStatusCheck);
}

TEST(ScanAutorun, LargeKeysLongAndNonAsciiValuesComeThroughIntact) {
  ScopedValues values;
  test::ScratchPlaces scratch;
  const std::string prefix = UniqueName("many");
  {
    auto run = win32::RegWriteKey::Create(CU, test::kRun);
    ASSERT_TRUE(run);
    for (int i = 0; i < 10000; ++i) {
      const std::string name = prefix + "-" + std::to_string(i);
      values.Track(CU, test::kRun, name);
      ASSERT_EQ(run->WriteString(name, "C:\\many\\p" + std::to_string(i) + ".exe"), ERROR_SUCCESS);
    }
  }
  const std::string big = UniqueName("big");
  const std::string bigData = "C:\\big\\" + std::string(64 * 1024, 'b') + ".exe";
  values.String(CU, test::kRun, big, bigData);
  const std::string umlaut = UniqueName("K\xC3\xA4se \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80");
  const std::string umlautData = "C:\\Pr\xC3\xB6gramme\\\xE6\x97\xA5\xE6\x9C\xAC.exe";
  values.String(CU, test::kRun, umlaut, umlautData);

  const auto scan = ScanAutorun(test::SystemJudge(), scratch.Places());
  int many = 0;
  for (const auto& row : scan.rows)
    if (row.itemName.starts_with(prefix + "-")) {
      ++many;
      EXPECT_EQ(row.value, "C:\\many\\p" + row.itemName.substr(prefix.size() + 1) + ".exe");
    }
  EXPECT_EQ(many, 10000);
  ASSERT_NE(FindRow(scan.rows, big), nullptr);
  EXPECT_EQ(FindRow(scan.rows, big)->value, bigData);
  ASSERT_NE(FindRow(scan.rows, umlaut), nullptr);
  EXPECT_EQ(FindRow(scan.rows, umlaut)->value, umlautData);
}

}  // namespace
}  // namespace wl
