#include "autorun/autorun_actions.h"

#include <gtest/gtest.h>

#include "judge/testing/system_judge.h"

#include "autorun/testing/autorun_fixture.h"
#include "process/process_rows.h"
#include "process/testing/child_process.h"
#include "sysroutines/store_folder.h"
#include "sysroutines/test_files.h"
#include "tests/support/test_support.h"
#include "win32/file_path.h"

namespace wl {
namespace {

using test::FindRow;
using test::ScopedValues;
using test::UniqueName;

const HKEY CU = HKEY_CURRENT_USER;

AutorunRow RegistryRow(const std::string& name, const std::string& value, const std::string& keyText) {
  AutorunRow row;
  row.itemName = name;
  row.value = value;
  row.registryKey = keyText;
  return row;
}

bool HasValue(HKEY root, const char* path, const std::string& name) {
  auto key = win32::RegKey::Open(root, path);
  return key && key->HasValue(name);
}

TEST(RemoveAutorunItem, RegistryValueEntry) {
  ScopedValues values;
  test::ScratchPlaces scratch;
  const std::string name = UniqueName("del");
  values.String(CU, test::kRun, name, "C:\\del\\del.exe");
  const AutorunRow row = RegistryRow(name, "C:\\del\\del.exe", test::kCuRunText);

  // Neither box checked: nothing changes.
  EXPECT_FALSE(RemoveAutorunItem(row, {}, scratch.Places()).entryRemoved);
  EXPECT_TRUE(HasValue(CU, test::kRun, name));

  // A write the user may not make leaves the value and the row, and says why.
  {
    ScopedWriteInterceptor denied([](const WriteRequest&) { return uint32_t(ERROR_ACCESS_DENIED); });
    const RemovalOutcome out = RemoveAutorunItem(row, {.deleteEntry = true}, scratch.Places());
    EXPECT_FALSE(out.entryRemoved);
    EXPECT_NE(out.entryError, "");
    EXPECT_TRUE(HasValue(CU, test::kRun, name));
  }

  const RemovalOutcome out = RemoveAutorunItem(row, {.deleteEntry = true}, scratch.Places());
  EXPECT_TRUE(out.entryRemoved);
  EXPECT_FALSE(out.programFileNotRemoved);
  EXPECT_FALSE(HasValue(CU, test::kRun, name));
  // Already gone counts as removed.
  EXPECT_TRUE(RemoveAutorunItem(row, {.deleteEntry = true}, scratch.Places()).entryRemoved);
}

TEST(RemoveAutorunItem, ShortcutEntriesAreDeletedFromTheirOwnFolder) {
  test::ScratchPlaces scratch;
  const auto& places = scratch.Places();
  const std::string target = scratch.Folder("t") + "\\foo.exe";
  test::WriteFileAt(target, "MZ");
  test::SaveShortcut(places.userStartupFolder + "\\Foo.lnk", target, "");
  test::SaveShortcut(places.commonStartupFolder + "\\Foo.lnk", target, "");
  const auto rows = ScanAutorun(test::SystemJudge(), places).rows;
  const AutorunRow* common = FindRow(rows, "Foo", "Common_Startup Menu");
  ASSERT_NE(common, nullptr);

  EXPECT_TRUE(RemoveAutorunItem(*common, {.deleteEntry = true}, places).entryRemoved);
  EXPECT_FALSE(test::PathExists(places.commonStartupFolder + "\\Foo.lnk"));
  EXPECT_TRUE(test::PathExists(places.userStartupFolder + "\\Foo.lnk"));
  EXPECT_TRUE(test::PathExists(target));  // only the entry

  const AutorunRow* user = FindRow(rows, "Foo", "Startup Menu");
  ASSERT_NE(user, nullptr);
  EXPECT_EQ(StartupShortcutPath(*user, places), places.userStartupFolder + "\\Foo.lnk");
  EXPECT_TRUE(RemoveAutorunItem(*user, {.deleteEntry = true}, places).entryRemoved);
  EXPECT_FALSE(test::PathExists(places.userStartupFolder + "\\Foo.lnk"));
}

TEST(RemoveAutorunItem, IniEntries) {
  test::ScratchPlaces scratch;
  const auto& places = scratch.Places();
  test::ScopedIniValue run(places.WinIniPath(), "Windows", "Run", "C:\\ini\\wlrun.exe");
  test::ScopedIniValue load(places.WinIniPath(), "Windows", "Load", "C:\\ini\\wlload.exe");
  test::ScopedIniValue shell(places.SystemIniPath(), "boot", "shell", "Explorer.exe C:\\ini\\evil.exe");
  const auto rows = ScanAutorun(test::SystemJudge(), places).rows;
  const AutorunRow* runRow = FindRow(rows, "C:\\ini\\wlrun.exe", "Win.ini");
  const AutorunRow* loadRow = FindRow(rows, "C:\\ini\\wlload.exe", "Win.ini");
  const AutorunRow* shellRow = FindRow(rows, "Explorer.exe C:\\ini\\evil.exe", "System.ini");
  ASSERT_TRUE(runRow && loadRow && shellRow);

  EXPECT_TRUE(RemoveAutorunItem(*runRow, {.deleteEntry = true}, places).entryRemoved);
  EXPECT_EQ(ReadIniValue(places.WinIniPath(), "Windows", "Run"), "");
  EXPECT_EQ(ReadIniValue(places.WinIniPath(), "Windows", "Load"), "C:\\ini\\wlload.exe");
  // The shell is set back to the system's own, never emptied.
  EXPECT_TRUE(RemoveAutorunItem(*shellRow, {.deleteEntry = true}, places).entryRemoved);
  EXPECT_EQ(ReadIniValue(places.SystemIniPath(), "boot", "shell"), "Explorer.exe");
  // An entry that changed since the scan is not touched.
  WriteIniValue(places.WinIniPath(), "Windows", "Load", "C:\\ini\\newer.exe");
  EXPECT_TRUE(RemoveAutorunItem(*loadRow, {.deleteEntry = true}, places).entryRemoved);
  EXPECT_EQ(ReadIniValue(places.WinIniPath(), "Windows", "Load"), "C:\\ini\\newer.exe");
}

// The flagged program's processes end; a program of the same name in
// another folder (a copy, or the real one a look-alike is named after)
// keeps running, and the outcome says which process was ended.
TEST(RemoveAutorunItem, ProgramFileIsEndedAndRecycledBeforeTheEntry) {
  ScopedValues values;
  test::ScratchPlaces scratch;
  test::ScratchDir dir, elsewhere;
  const std::string program = test::CopyIdleHelper(dir, "wlautorun.exe");
  test::ChildProcess running(test::Quoted(program), true);
  test::ChildProcess sameName(test::IdleCommand(elsewhere, "wlautorun.exe"), true);
  ASSERT_TRUE(running.Running() && sameName.Running());
  const std::string name = UniqueName("prog");
  values.String(CU, test::kRun, name, program);

  const RemovalOutcome out =
      RemoveAutorunItem(RegistryRow(name, program, test::kCuRunText), {true, true}, scratch.Places());
  EXPECT_TRUE(running.WaitEnded(0));
  EXPECT_TRUE(sameName.Running());
  EXPECT_EQ(out.programsEnded, "Ended wlautorun.exe (" + std::to_string(running.Id()) + ").");
  EXPECT_FALSE(out.programFileNotRemoved) << out.programFileReason;
  EXPECT_FALSE(win32::FileExists(program));
  EXPECT_TRUE(out.entryRemoved);
  EXPECT_FALSE(HasValue(CU, test::kRun, name));
}

TEST(RemoveAutorunItem, QuotedValueWithArgumentsEndsTheProgramButKeepsItsFile) {
  test::ScratchPlaces scratch;
  test::ScratchDir dir;
  const std::string program = test::CopyIdleHelper(dir, "wl autorun args.exe");
  test::ChildProcess running(test::Quoted(program), true);
  test::ChildProcess other(test::IdleCommand(dir, "xwl autorun args.exe"), true);
  ASSERT_TRUE(running.Running() && other.Running());
  const std::string value = "\"" + program + "\" /background";

  const RemovalOutcome out =
      RemoveAutorunItem(RegistryRow("x", value, test::kCuRunText), {.deleteProgramFile = true}, scratch.Places());
  // The name handed to the termination is that of the program path, so the
  // quotes and the switch do not defeat it; the file named by the whole
  // text does not exist, so nothing is moved and the page says so.
  EXPECT_TRUE(running.WaitEnded(0));
  EXPECT_TRUE(other.Running());
  EXPECT_TRUE(out.programFileNotRemoved);
  EXPECT_TRUE(win32::FileExists(program));
  EXPECT_FALSE(out.entryRemoved);
}

TEST(AddProgramToRun, WritesTheValueAndTheRescanListsIt) {
  ScopedValues values;
  test::ScratchPlaces scratch;
  const std::string plain = "C:\\Tools\\" + UniqueName("tool") + ".exe";
  const std::string blank = "C:\\Program Files\\My Tools\\" + UniqueName("blank") + ".exe";
  values.Track(CU, test::kRun, RunValueName(plain));
  values.Track(CU, test::kRun, RunValueName(blank));

  ASSERT_TRUE(AddProgramToRun(plain).ok());
  ASSERT_TRUE(AddProgramToRun(blank).ok());
  auto run = win32::RegKey::Open(CU, test::kRun);
  ASSERT_TRUE(run);
  EXPECT_EQ(run->Read(RunValueName(plain))->type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(run->ReadString(RunValueName(plain)), plain);
  EXPECT_EQ(run->ReadString(RunValueName(blank)), "\"" + blank + "\"");
  ASSERT_TRUE(AddProgramToRun(plain).ok());  // an existing value is overwritten

  ReferenceTables tables;
  tables.process = StringTable::FromText(AsciiLower(RunValueName(blank)) + "=%Test tool\n");
  const auto rows = ScanAutorun(test::SystemJudge(tables), scratch.Places()).rows;
  const AutorunRow* plainRow = FindRow(rows, RunValueName(plain));
  ASSERT_NE(plainRow, nullptr);
  EXPECT_EQ(plainRow->value, plain);
  EXPECT_EQ(plainRow->registryKey, test::kCuRunText);
  EXPECT_EQ(plainRow->source, 1);
  const AutorunRow* blankRow = FindRow(rows, RunValueName(blank));
  ASSERT_NE(blankRow, nullptr);
  EXPECT_EQ(blankRow->judgement.program, blank);  // the quotes do not disturb what is judged
  EXPECT_EQ(blankRow->analysis, "(Suspicious) File not found");
}

}  // namespace
}  // namespace wl

namespace wl {
namespace {

// A user swaps a folder of his for a link after the scan (the build's
// write-links/user/Startup leads to write-links/protected): removing the
// Startup shortcut, the Run value's program or Terminal's logon setting
// behind it, with administrative rights, changes nothing there and says
// which link stopped it.
TEST(RemoveAutorunItem, FilesBehindALinkSwappedInAfterTheScanAreLeftAlone) {
  StoreFolderSystem elevated;
  elevated.isElevated = [] { return true; };
  ScopedStoreFolderSystem scope(elevated);
  const std::string bin = test::BinaryDir();
  const std::string links = bin.substr(0, bin.find_last_of('\\')) + "\\write-links";
  const std::string startup = links + "\\user\\Startup", kept = links + "\\protected";
  ASSERT_TRUE(win32::DirectoryExists(kept)) << kept;
  const std::string pid = std::to_string(GetCurrentProcessId());
  const std::string shortcut = "Foo" + pid + ".lnk", program = "tool" + pid + ".exe", settings = "settings" + pid + ".json";
  const std::string settingsText = "{\"startOnUserLogin\": true}";
  test::WriteFileAt(kept + "\\" + shortcut, "protected shortcut");
  test::WriteFileAt(kept + "\\" + program, "MZ protected");
  test::WriteFileAt(kept + "\\" + settings, settingsText);
  test::ScratchPlaces scratch;
  AutorunPlaces places = scratch.Places();
  places.userStartupFolder = startup;

  AutorunRow link;
  link.itemName = "Foo" + pid;
  link.registryKey = kStartupMenuText;
  link.filePath = startup + "\\" + shortcut;
  const RemovalOutcome shortcutOut = RemoveAutorunItem(link, {.deleteEntry = true}, places);
  EXPECT_FALSE(shortcutOut.entryRemoved);
  EXPECT_NE(shortcutOut.entryError.find(startup), std::string::npos) << shortcutOut.entryError;

  const RemovalOutcome programOut =
      RemoveAutorunItem(RegistryRow("x", startup + "\\" + program, test::kCuRunText), {.deleteProgramFile = true}, places);
  EXPECT_TRUE(programOut.programFileNotRemoved);
  EXPECT_NE(programOut.programFileReason.find("link or junction"), std::string::npos) << programOut.programFileReason;

  AutorunRow terminal;
  terminal.itemName = "Windows Terminal";
  terminal.registryKey = startup + "\\" + settings;
  terminal.filePath = startup + "\\" + settings;
  terminal.removal = AutorunRemoval::TerminalLogon;
  const RemovalOutcome terminalOut = RemoveAutorunItem(terminal, {.deleteEntry = true}, places);
  EXPECT_FALSE(terminalOut.entryRemoved);
  EXPECT_NE(terminalOut.entryError.find("link or junction"), std::string::npos) << terminalOut.entryError;

  EXPECT_EQ(test::ReadBytes(kept + "\\" + shortcut), "protected shortcut");
  EXPECT_EQ(test::ReadBytes(kept + "\\" + program), "MZ protected");
  EXPECT_EQ(test::ReadBytes(kept + "\\" + settings), settingsText);
  for (const std::string& name : {shortcut, program, settings}) DeleteFileW(win32::ApiPath(kept + "\\" + name).c_str());
}

}  // namespace
}  // namespace wl
