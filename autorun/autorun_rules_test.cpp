#include "autorun/autorun_rules.h"

#include <gtest/gtest.h>


namespace wl {
namespace {

TEST(AutorunRules, ValueRules) {
  // all: any type, any data.
  EXPECT_TRUE(PassesValueRule(ValueRule::All, false, "4294967295"));
  EXPECT_TRUE(PassesValueRule(ValueRule::All, false, ""));
  // string: plain strings only, whatever they hold.
  EXPECT_TRUE(PassesValueRule(ValueRule::String, true, "%ProgramFiles%\\x.exe"));
  EXPECT_FALSE(PassesValueRule(ValueRule::String, false, "%ProgramFiles%\\x.exe"));  // e.g. REG_EXPAND_SZ
  // string + drive: a colon as the second character.
  EXPECT_TRUE(PassesValueRule(ValueRule::StringDrive, true, "C:\\WINDOWS\\system32\\userinit.exe,"));
  EXPECT_FALSE(PassesValueRule(ValueRule::StringDrive, true, "Explorer.exe"));
  EXPECT_FALSE(PassesValueRule(ValueRule::StringDrive, true, "\"C:\\x.exe\""));  // second character is the letter
  EXPECT_FALSE(PassesValueRule(ValueRule::StringDrive, true, "{AEB6717E-7E19-11D0-97EE-00C04FD91972}"));
  EXPECT_FALSE(PassesValueRule(ValueRule::StringDrive, true, "%SystemRoot%\\x.exe"));
  EXPECT_FALSE(PassesValueRule(ValueRule::StringDrive, false, "C:\\x.exe"));
  EXPECT_FALSE(PassesValueRule(ValueRule::StringDrive, true, "C"));
  EXPECT_FALSE(PassesValueRule(ValueRule::StringDrive, true, ""));
  // The second character, not the second byte, of a text that starts with a
  // letter of several bytes.
  EXPECT_TRUE(PassesValueRule(ValueRule::StringDrive, true, "\xC3\x84:\\x.exe"));
  EXPECT_FALSE(PassesValueRule(ValueRule::StringDrive, true, "\xC3\x84\\x.exe"));
}

TEST(AutorunRules, SourcesInScanOrderWithTheirKeyTexts) {
  const auto sources = RegistrySources();
  // Sources 1 to 16 in order, each machine-wide key that a 64-bit system
  // keeps apart for 32-bit programs right after its twin.
  std::vector<int> numbers;
  for (const auto& s : sources) numbers.push_back(s.number);
  EXPECT_EQ(numbers, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 10, 11, 12, 12, 13, 13, 14, 14, 15, 15, 16}));

  EXPECT_EQ(RegistryKeyText(sources[0]), "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\");
  EXPECT_EQ(RegistryKeyText(sources[4]), "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx");
  EXPECT_EQ(RegistryKeyText(sources[5]),
            "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows\\Load\\");
  EXPECT_EQ(RegistryKeyText(sources[7]),
            "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System\\Shell\\");
  EXPECT_EQ(RegistryKeyText(sources[9]), "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\");
  EXPECT_EQ(RegistryKeyText(sources[10]),
            "HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run\\");
  EXPECT_EQ(RegistryKeyText(sources[20]),
            "HKEY_LOCAL_MACHINE\\Software\\Policies\\Microsoft\\Windows\\System\\Scripts\\");
  EXPECT_EQ(RegistryOpenPath(sources[0]), "Software\\Microsoft\\Windows\\CurrentVersion\\Run");
  EXPECT_EQ(RegistryOpenPath(sources[4]), "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx");

  const std::vector<ValueRule> rules16 = {
      ValueRule::String, ValueRule::String, ValueRule::All, ValueRule::All, ValueRule::All, ValueRule::All,
      ValueRule::StringDrive, ValueRule::StringDrive, ValueRule::StringDrive, ValueRule::String,
      ValueRule::StringDrive, ValueRule::StringDrive, ValueRule::StringDrive, ValueRule::StringDrive,
      ValueRule::StringDrive, ValueRule::StringDrive};
  for (const auto& s : sources) {
    EXPECT_EQ(s.rule, rules16[s.number - 1]) << s.keyPath;
    EXPECT_EQ(s.root, s.number <= 9 ? RegRoot::CurrentUser : RegRoot::LocalMachine);
  }
}

TEST(AutorunRules, EntryKindsByRegistryKeyText) {
  EXPECT_EQ(EntryKindOf("HKEY_CURRENT_USER\\Software\\x\\"), AutorunEntryKind::RegistryValue);
  EXPECT_EQ(EntryKindOf("Startup Menu"), AutorunEntryKind::UserShortcut);
  EXPECT_EQ(EntryKindOf("Common_Startup Menu"), AutorunEntryKind::CommonShortcut);
  EXPECT_EQ(EntryKindOf("Win.ini"), AutorunEntryKind::IniEntry);
  EXPECT_EQ(EntryKindOf("System.ini"), AutorunEntryKind::IniEntry);
  EXPECT_EQ(EntryKindOf("startup menu"), AutorunEntryKind::Other);
}

TEST(AutorunRules, AnalysisGivesStatusImagesAndFlagsSuspectRows) {
  ReferenceTables tables;
  tables.process = StringTable::FromText(
      "explorer.exe=@Windows shell\nvirus.exe=$A worm\nspy.exe=#An adware\ntool.exe=%A tool\nodd.exe=plain\n");
  auto row = [](std::string name, std::string value) {
    AutorunRow r;
    r.itemName = std::move(name);
    r.value = std::move(value);
    return r;
  };
  std::vector<AutorunRow> rows = {
      row("Shell", "Explorer.exe"),
      row("Unknown one", "C:\\x\\unknown.exe /s"),
      row("Virus", "\"C:\\Program Files\\V\\VIRUS.EXE\" -run"),
      row("Tool", "c:\\t\\tool.exe"),
      row("Spy", "C:\\spy\\SPY.EXE"),
      row("Odd", "C:\\odd.exe"),
      row("Unknown two", "%SystemRoot%\\system32\\other.exe"),
  };
  std::vector<HijackRow> hijack = {{"earlier", "Other", 9}};  // what other scanners appended stays
  AnalyzeAutorunRows(rows, tables, "C:\\WINDOWS", hijack);

  EXPECT_EQ(rows[0].analysis, "(System Process) Windows shell");
  EXPECT_EQ(rows[0].statusImage, kStatusCheck);
  EXPECT_EQ(rows[1].analysis, "(Unknown)");
  EXPECT_EQ(rows[1].statusImage, kStatusWarning);
  EXPECT_EQ(rows[2].analysis, "(Virus/Trojan/Worm) A worm");
  EXPECT_EQ(rows[2].statusImage, kStatusCross);
  EXPECT_EQ(rows[3].statusImage, kStatusCheck);
  EXPECT_EQ(rows[4].analysis, "(Spyware/Adware) An adware");
  EXPECT_EQ(rows[4].statusImage, kStatusCross);
  EXPECT_EQ(rows[5].analysis, "plain");
  EXPECT_EQ(rows[5].statusImage, -1);

  ASSERT_EQ(hijack.size(), 5u);
  EXPECT_EQ(hijack[0].itemName, "earlier");
  const std::vector<std::pair<std::string, int>> flagged = {
      {"Unknown one", 1}, {"Virus", 2}, {"Spy", 4}, {"Unknown two", 6}};
  for (std::size_t i = 0; i < flagged.size(); ++i) {
    EXPECT_EQ(hijack[i + 1].itemName, flagged[i].first);
    EXPECT_EQ(hijack[i + 1].description, "Startup Item");
    EXPECT_EQ(hijack[i + 1].index, flagged[i].second);
    EXPECT_EQ(hijack[i + 1].image, kStartupItemImage);
  }
}

TEST(AutorunRules, ReferenceKeyIsTheLowerCasedProgramFileName) {
  EXPECT_EQ(AutorunReferenceKey("\"C:\\Program Files\\App\\App.EXE\" /min", "C:\\Windows"), "app.exe");
  EXPECT_EQ(AutorunReferenceKey("C:\\Foo\\foo.exe ", "C:\\Windows"), "foo.exe");
  EXPECT_EQ(AutorunReferenceKey("Explorer.exe", "C:\\Windows"), "explorer.exe");
  EXPECT_EQ(AutorunReferenceKey("", "C:\\Windows"), "");
}

TEST(AutorunRules, AddProgramQuotesAPathWithABlank) {
  EXPECT_EQ(RunValueName("C:\\Tools\\tool.exe"), "tool.exe");
  EXPECT_EQ(RunValueData("C:\\Tools\\tool.exe"), "C:\\Tools\\tool.exe");
  EXPECT_EQ(RunValueName("C:\\Program Files\\My App\\app.dll"), "app.dll");
  EXPECT_EQ(RunValueData("C:\\Program Files\\My App\\app.dll"), "\"C:\\Program Files\\My App\\app.dll\"");
}

TEST(AutorunRules, RowTexts) {
  AutorunRow row;
  row.itemName = "name";
  row.value = "C:\\x.exe";
  row.registryKey = "Win.ini";
  row.analysis = "(Unknown)";
  EXPECT_EQ(AutorunRowText(row), (TextRow{"name", "C:\\x.exe", "Win.ini", "(Unknown)"}));
  EXPECT_EQ(AutorunListHeader(), (TextRow{"Item Name", "Value", "Registry Key", "Analysis"}));
  EXPECT_EQ(FileInformationText("Acme", "(Unknown)"), "File CommpanyName:  Acme\r\nDescription:  (Unknown)");
  EXPECT_EQ(FileInformationText("", "x"), "File CommpanyName:  \r\nDescription:  x");
}

}  // namespace
}  // namespace wl
