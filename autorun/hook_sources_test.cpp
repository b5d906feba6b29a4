#include "autorun/hook_sources.h"

#include <gtest/gtest.h>

#include "judge/testing/fake_facts.h"

#include <algorithm>
#include <set>
#include <stdexcept>

namespace wl {
namespace {

const HookSource& Source(int number) {
  for (const HookSource& source : HookSources())
    if (source.number == number) return source;
  throw std::runtime_error("no source " + std::to_string(number));
}

TEST(HookSources, OneLineEachAfterSource21AndTwinsOnlyForMachineSoftwareKeys) {
  std::set<std::pair<int, std::string>> seen;
  int last = kScheduledTaskSource;
  const auto categories = AutorunCategories();
  for (const HookSource& source : HookSources()) {
    EXPECT_GT(source.number, last);
    last = source.number;
    EXPECT_TRUE(source.keyPath.starts_with("\\") && source.keyPath.ends_with("\\")) << source.keyPath;
    EXPECT_EQ(source.keyPath.find("\\\\"), std::string_view::npos) << source.keyPath;
    EXPECT_EQ(source.values == HookValues::Named, !HookValueNames(source).empty()) << source.number;
    // A default to restore is one of the defaults (AppInit_DLLs: empty).
    if (source.removal == HookRemoval::RestoreDefault) {
      EXPECT_TRUE(!source.defaults.empty() || source.number == 27) << source.number;
    }
    EXPECT_NE(std::find(categories.begin(), categories.end(), source.category), categories.end()) << source.number;
    // What Windows puts back is itself a default.
    if (source.removal == HookRemoval::RestoreDefault && !source.restore.empty()) {
      EXPECT_TRUE(IsHookDefault(source, HookDefaultValue(source, "C:\\Windows"), "C:\\Windows") ||
                  (source.split != ValueSplit::Whole &&
                   IsHookDefault(source, SplitHookList(source.split, HookDefaultValue(source, "C:\\Windows"))[0],
                                 "C:\\Windows")))
          << source.number;
    }
    const auto paths = HookKeyPaths(source);
    const bool twin = source.views == RegViews::Both && source.root == RegRoot::LocalMachine &&
                      source.keyPath.starts_with("\\Software\\");
    ASSERT_EQ(paths.size(), twin ? 2u : 1u) << source.number;
    if (twin) {
      EXPECT_EQ(paths[1], "\\Software\\Wow6432Node\\" + paths[0].substr(10));
    }
    for (const auto& path : paths)
      EXPECT_TRUE(seen.insert({source.root == RegRoot::LocalMachine, path + "|" + std::string(source.valueNames)})
                      .second)
          << path;
  }
  EXPECT_EQ(HookKeyText(RegRoot::CurrentUser, "\\Software\\X\\"), "HKEY_CURRENT_USER\\Software\\X\\");
  EXPECT_EQ(HookValueNames(Source(53)), (std::vector<std::string>{"Load", "Run"}));
  EXPECT_EQ(HookValueNames(Source(102)), (std::vector<std::string>{"", "DelegateExecute"}));
}

TEST(FilePlaces, NumberedApartFromTheHooksAndEachProgramKnowsItsOwnNames) {
  std::set<int> hooks;
  for (const HookSource& source : HookSources()) hooks.insert(source.number);
  int last = kScheduledTaskSource;
  for (const FilePlace& place : FilePlaces()) {
    EXPECT_GT(place.number, last);
    EXPECT_EQ(hooks.count(place.number), 0u) << place.number;
    last = place.number;
    EXPECT_FALSE(place.path.empty());
    EXPECT_EQ(place.check == FileCheck::NotItsName, !place.names.empty()) << place.path;
  }
  const FilePlace& sethc = FilePlaces()[0];
  ASSERT_EQ(sethc.path, "sethc.exe");
  EXPECT_TRUE(IsOwnName(sethc, "SETHC.EXE"));
  EXPECT_TRUE(IsOwnName(sethc, " sethc.exe.mui "));
  EXPECT_FALSE(IsOwnName(sethc, "cmd.exe"));
  EXPECT_FALSE(IsOwnName(sethc, ""));
}

TEST(DriverPaths, TheLoadersSpellingsAreFullPathsAndOnlyTheDriverFoldersCount) {
  const std::string windows = "C:\\Windows";
  EXPECT_EQ(DriverImagePath("", "beep", windows), "C:\\Windows\\System32\\drivers\\beep.sys");
  EXPECT_EQ(DriverImagePath("\\SystemRoot\\System32\\drivers\\a.sys", "a", windows),
            "C:\\Windows\\System32\\drivers\\a.sys");
  EXPECT_EQ(DriverImagePath("system32\\DRIVERS\\b.sys", "b", windows), "C:\\Windows\\system32\\DRIVERS\\b.sys");
  EXPECT_EQ(DriverImagePath("\\??\\C:\\Tools\\c.sys", "c", windows), "C:\\Tools\\c.sys");
  EXPECT_EQ(DriverImagePath("\"C:\\Tools\\d.sys\"", "d", windows), "C:\\Tools\\d.sys");
  EXPECT_TRUE(IsInDriverFolders("c:\\windows\\system32\\drivers\\wd\\WdFilter.sys", windows));
  EXPECT_TRUE(IsInDriverFolders("C:\\Windows\\System32\\DriverStore\\FileRepository\\x.inf_amd64\\x.sys", windows));
  EXPECT_FALSE(IsInDriverFolders("C:\\Windows\\System32\\drivers\\..\\evil.sys", windows));
  EXPECT_FALSE(IsInDriverFolders("C:\\Windows\\System32\\evil.sys", windows));
  EXPECT_FALSE(IsInDriverFolders("C:\\Windows\\System32\\drivers", windows));
  EXPECT_FALSE(IsInDriverFolders("C:\\Tools\\c.sys", windows));
  // Safe mode's own entries, in any case, are defaults; another service is not.
  EXPECT_TRUE(IsHookDefault(Source(209), "appinfo", windows));
  EXPECT_TRUE(IsHookDefault(Source(210), "{4d36e972-e325-11ce-bfc1-08002be10318}", windows));
  EXPECT_FALSE(IsHookDefault(Source(209), "{4d36e972-e325-11ce-bfc1-08002be10318}", windows));
  EXPECT_FALSE(IsHookDefault(Source(210), "Backdoor", windows));
}

TEST(HookDefaults, TheSystemsOwnElementsInAnySpellingAreDefaultsAndNothingElse) {
  const std::string windows = "C:\\Windows";
  const HookSource& shell = Source(23);
  const HookSource& userinit = Source(24);
  EXPECT_EQ(HookDefaultValue(shell, windows), "explorer.exe");
  EXPECT_EQ(HookDefaultValue(userinit, windows), "C:\\Windows\\system32\\userinit.exe,");
  EXPECT_TRUE(IsHookDefault(shell, " Explorer.EXE ", windows));
  EXPECT_TRUE(IsHookDefault(shell, "c:\\windows\\explorer.exe", windows));
  EXPECT_TRUE(IsHookDefault(shell, "%SystemRoot%\\explorer.exe", windows));
  EXPECT_FALSE(IsHookDefault(shell, "C:\\evil.exe", windows));
  EXPECT_FALSE(IsHookDefault(shell, "D:\\Windows\\explorer.exe", windows));
  EXPECT_FALSE(IsHookDefault(shell, "C:\\Windowsx\\explorer.exe", windows));
  EXPECT_TRUE(IsHookDefault(userinit, "C:\\WINDOWS\\system32\\userinit.exe", windows));
  EXPECT_TRUE(IsHookDefault(userinit, "\"C:\\Windows\\system32\\userinit.exe\"", windows));
  EXPECT_FALSE(IsHookDefault(userinit, "C:\\Windows\\userinit.exe", windows));
  // Modules: the system folder and ".dll" may be written out or not.
  const HookSource& auth = Source(63);
  EXPECT_TRUE(IsHookDefault(auth, "MSV1_0", windows));
  EXPECT_TRUE(IsHookDefault(auth, "msv1_0.dll", windows));
  EXPECT_TRUE(IsHookDefault(auth, "C:\\Windows\\System32\\msv1_0.dll", windows));
  EXPECT_FALSE(IsHookDefault(auth, "C:\\Temp\\msv1_0.dll", windows));
  EXPECT_FALSE(IsHookDefault(auth, "evil", windows));
  EXPECT_TRUE(IsHookDefault(Source(64), "\"\"", windows));
  EXPECT_TRUE(IsHookDefault(Source(86), "autocheck  autochk *", windows));
  EXPECT_FALSE(IsHookDefault(Source(86), "autocheck autochk /k:C *", windows));
  EXPECT_TRUE(IsHookDefault(Source(105), "\"%1\" %*", windows));
  EXPECT_FALSE(IsHookDefault(Source(105), "C:\\x.exe \"%1\" %*", windows));

  EXPECT_EQ(ModulePath("evil", windows), "C:\\Windows\\system32\\evil.dll");
  EXPECT_EQ(ModulePath("\"net.ocx\"", windows), "C:\\Windows\\system32\\net.ocx");
  EXPECT_EQ(ModulePath("D:\\x\\y.dll", windows), "D:\\x\\y.dll");

  EXPECT_TRUE(IsSystemProgram("%SystemRoot%\\system32\\rundll32.exe setup", windows));
  EXPECT_TRUE(IsSystemProgram("\"C:\\windows\\system32\\ie4uinit.exe\" -UserConfig", windows));
  EXPECT_FALSE(IsSystemProgram("C:\\WindowsApps\\x.exe", windows));
  EXPECT_FALSE(IsSystemProgram("C:\\Program Files\\x.exe", windows));
  EXPECT_FALSE(IsSystemProgram("C:\\Windows\\x.exe", ""));
}

TEST(HookLists, ElementsSplitAndOneRemovedKeepsTheRestAndItsSeparators) {
  using V = std::vector<std::string>;
  EXPECT_EQ(SplitHookList(ValueSplit::Commas, "C:\\W\\userinit.exe, C:\\x y.exe,"), (V{"C:\\W\\userinit.exe", "C:\\x y.exe"}));
  EXPECT_EQ(SplitHookList(ValueSplit::CommasBlanks, " a.dll,b.dll  c.dll "), (V{"a.dll", "b.dll", "c.dll"}));
  EXPECT_EQ(SplitHookList(ValueSplit::Whole, "  "), V{});
  EXPECT_EQ(SplitHookList(ValueSplit::Commas, ",,,"), V{});

  EXPECT_EQ(ListWithout(ValueSplit::Commas, "C:\\W\\userinit.exe,C:\\evil.exe,", "c:\\EVIL.exe"), "C:\\W\\userinit.exe,");
  EXPECT_EQ(ListWithout(ValueSplit::Commas, "C:\\W\\userinit.exe, C:\\evil.exe", "C:\\evil.exe"), "C:\\W\\userinit.exe,");
  EXPECT_EQ(ListWithout(ValueSplit::Commas, "C:\\evil.exe, explorer.exe", "C:\\evil.exe"), "explorer.exe");
  EXPECT_EQ(ListWithout(ValueSplit::CommasBlanks, "a.dll b.dll c.dll", "b.dll"), "a.dll c.dll");
  EXPECT_EQ(ListWithout(ValueSplit::CommasBlanks, "a.dll b.dll", "b.dll"), "a.dll");
  EXPECT_EQ(ListWithout(ValueSplit::Commas, "only.exe", "only.exe"), "");
  // Part of an element is no element.
  EXPECT_EQ(ListWithout(ValueSplit::Commas, "C:\\evil.exe2,x", "C:\\evil.exe"), std::nullopt);

  EXPECT_EQ(ElementsWithout({"msv1_0", "evil", "kerberos"}, "EVIL"), (V{"msv1_0", "kerberos"}));
  EXPECT_EQ(ElementsWithout({"msv1_0"}, "evil"), std::nullopt);
}

TEST(MergeHookRows, AValueAnEarlierSourceListedIsListedOnceAndKeepsTheDefault) {
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
