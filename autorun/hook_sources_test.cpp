#include "autorun/hook_sources.h"

#include <gtest/gtest.h>

#include "judge/testing/fake_facts.h"

#include <set>

namespace wl {
namespace {

TEST(HookSources, OneLineEachAfterTheClassicSourcesAndTwinsOnlyForMachineSoftwareKeys) {
  std::set<std::pair<int, std::string>> seen;
  int last = kScheduledTaskSource;
  for (const HookSource& source : HookSources()) {
    EXPECT_GT(source.number, last);
    last = source.number;
    EXPECT_TRUE(source.keyPath.starts_with("\\Software\\") && source.keyPath.ends_with("\\")) << source.keyPath;
    EXPECT_EQ(source.rule == HookRule::StringValues, source.valueName.empty()) << source.number;
    EXPECT_EQ(source.removal == HookRemoval::RestoreDefault, source.byDefault != HookDefault::None) << source.number;
    const auto paths = HookKeyPaths(source);
    const bool twin = source.views == RegViews::Both && source.root == RegRoot::LocalMachine;
    ASSERT_EQ(paths.size(), twin ? 2u : 1u) << source.number;
    if (twin) {
      EXPECT_EQ(paths[1], "\\Software\\Wow6432Node\\" + paths[0].substr(10));
    }
    for (const auto& path : paths)
      EXPECT_TRUE(seen.insert({source.root == RegRoot::LocalMachine, path + "|" + std::string(source.valueName)})
                      .second)
          << path;
  }
  EXPECT_EQ(HookKeyText(RegRoot::CurrentUser, "\\Software\\X\\"), "HKEY_CURRENT_USER\\Software\\X\\");
}

TEST(HookDefaults, TheSystemsOwnValuesInAnyCaseAreDefaultsAndNothingElse) {
  const std::string windows = "C:\\Windows";
  EXPECT_EQ(HookDefaultValue(HookDefault::Shell, windows), "explorer.exe");
  EXPECT_EQ(HookDefaultValue(HookDefault::Userinit, windows), "C:\\Windows\\system32\\userinit.exe,");
  EXPECT_TRUE(IsHookDefault(HookDefault::Shell, " Explorer.EXE ", windows));
  EXPECT_TRUE(IsHookDefault(HookDefault::Shell, "c:\\windows\\explorer.exe", windows));
  EXPECT_FALSE(IsHookDefault(HookDefault::Shell, "explorer.exe, C:\\evil.exe", windows));
  EXPECT_FALSE(IsHookDefault(HookDefault::Shell, "D:\\Windows\\explorer.exe", windows));
  EXPECT_TRUE(IsHookDefault(HookDefault::Userinit, "C:\\WINDOWS\\system32\\userinit.exe,", windows));
  EXPECT_TRUE(IsHookDefault(HookDefault::Userinit, "C:\\Windows\\system32\\userinit.exe", windows));
  EXPECT_FALSE(IsHookDefault(HookDefault::Userinit, "C:\\Windows\\system32\\userinit.exe,C:\\x.exe", windows));
  EXPECT_FALSE(IsHookDefault(HookDefault::Userinit, "C:\\Windows\\userinit.exe,", windows));
  EXPECT_TRUE(IsHookDefault(HookDefault::Empty, "  ", windows));
  EXPECT_FALSE(IsHookDefault(HookDefault::None, "", windows));

  EXPECT_TRUE(IsSystemProgram("%SystemRoot%\\system32\\rundll32.exe setup", windows));
  EXPECT_TRUE(IsSystemProgram("\"C:\\windows\\system32\\ie4uinit.exe\" -UserConfig", windows));
  EXPECT_FALSE(IsSystemProgram("C:\\WindowsApps\\x.exe", windows));
  EXPECT_FALSE(IsSystemProgram("C:\\Program Files\\x.exe", windows));
  EXPECT_FALSE(IsSystemProgram("C:\\Windows\\x.exe", ""));
}

TEST(MergeHookRows, AValueTheClassicSourcesListedIsListedOnceAndKeepsTheDefault) {
  std::vector<AutorunRow> rows(4);
  rows[0].itemName = "Shell";
  rows[0].registryKey = "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\";
  rows[1].itemName = "other";
  rows[1].registryKey = rows[0].registryKey;
  rows[2] = rows[0];  // the hook source's row of the same value, other case
  rows[2].registryKey = "HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\";
  rows[2].defaultValue = "explorer.exe";
  rows[2].alwaysFlag = true;
  rows[3].itemName = "Debugger";  // a value of the same name in another key
  rows[3].registryKey = "HKEY_LOCAL_MACHINE\\X\\";
  MergeHookRows(rows, 2);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].defaultValue, "explorer.exe");
  EXPECT_TRUE(rows[0].alwaysFlag);
  EXPECT_FALSE(rows[1].defaultValue);
  EXPECT_EQ(rows[2].itemName, "Debugger");
}

TEST(TaskRows, OneRowPerActionWithTheTasksPathFolderStateAndTriggers) {
  ScheduledTask task;
  task.path = "\\Vendor\\Update";
  task.enabled = false;
  task.hidden = true;
  task.triggers = {"At log on", "On idle"};
  task.actions.resize(4);
  task.actions[0].command = "C:\\Program Files\\Vendor\\up.exe";
  task.actions[0].arguments = " /quiet ";
  task.actions[1].kind = TaskAction::Kind::ComHandler;
  task.actions[1].classId = "{C1}";
  task.actions[2].kind = TaskAction::Kind::ComHandler;
  task.actions[2].classId = "{C2}";
  task.actions[3].kind = TaskAction::Kind::ShowMessage;
  task.actions[3].title = "Hello";
  const auto rows = TaskRows(task, [](const std::string& id) { return id == "{C1}" ? "C:\\x\\h.dll" : ""; });
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0].itemName, "\\Vendor\\Update");
  EXPECT_EQ(rows[0].value, "\"C:\\Program Files\\Vendor\\up.exe\" /quiet");
  EXPECT_EQ(rows[0].registryKey, "Task Scheduler\\Vendor");
  EXPECT_EQ(EntryKindOf(rows[0].registryKey), AutorunEntryKind::ScheduledTask);
  EXPECT_EQ(rows[0].taskPath, "\\Vendor\\Update");
  EXPECT_EQ(rows[0].source, kScheduledTaskSource);
  EXPECT_EQ(rows[0].details, "Task disabled, hidden. Triggers: At log on, On idle. Action 1 of 4.");
  EXPECT_EQ(rows[1].value, "C:\\x\\h.dll");
  EXPECT_NE(rows[1].details.find("COM handler {C1}"), std::string::npos);
  EXPECT_EQ(rows[2].value, "{C2}");
  EXPECT_EQ(rows[3].value, "Message: Hello");

  ScheduledTask root;
  root.path = "\\Top";
  root.actions.resize(1);
  root.actions[0].command = "C:\\t.exe";
  const auto top = TaskRows(root, nullptr);
  ASSERT_EQ(top.size(), 1u);
  EXPECT_EQ(top[0].registryKey, "Task Scheduler\\");
  EXPECT_EQ(top[0].details, "Task enabled. Triggers: none (started on demand only).");
  root.actions.clear();
  EXPECT_TRUE(TaskRows(root, nullptr).empty());
}

TEST(AnalyzeAutorunRows, AHookThatDiffersFromTheDefaultIsReportedWhateverItsVerdict) {
  ReferenceTables tables;
  tables.process = StringTable::FromText("explorer.exe=@Windows shell\n");
  testing::FakeFacts facts;
  facts.AddFile("C:\\Windows\\explorer.exe");
  const Judge judge(tables, facts);
  std::vector<AutorunRow> rows(3);
  rows[0].value = rows[1].value = "C:\\Windows\\explorer.exe";
  rows[1].alwaysFlag = true;
  // A task is judged by its program and its arguments.
  rows[2].value = "C:\\Windows\\explorer.exe /select,C:\\x";
  rows[2].iconText = "C:\\Windows\\explorer.exe";
  rows[2].taskPath = "\\T";
  std::vector<HijackRow> hijack;
  AnalyzeAutorunRows(rows, judge, hijack);
  EXPECT_EQ(rows[0].statusImage, kStatusCheck);
  EXPECT_EQ(rows[2].statusImage, kStatusCheck);
  EXPECT_EQ(rows[1].statusImage, kStatusWarning);
  ASSERT_EQ(hijack.size(), 1u);
  EXPECT_EQ(hijack[0].index, 1);
}

}  // namespace
}  // namespace wl
