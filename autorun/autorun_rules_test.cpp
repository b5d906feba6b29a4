#include "autorun/autorun_rules.h"

#include <gtest/gtest.h>

#include "judge/testing/fake_facts.h"


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

TEST(AutorunRules, AnalysisGivesStatusImagesAndFlagsWhatTheJudgeFlags) {
  ReferenceTables tables;
  tables.process = StringTable::FromText(
      "explorer.exe=@Windows shell\nvirus.exe=$A worm\nspy.exe=#An adware\ntool.exe=%A tool\n");
  testing::FakeFacts facts;
  facts.AddFile("C:\\Windows\\explorer.exe");
  facts.AddFile("C:\\Program Files\\V\\virus.exe");
  facts.AddFile("C:\\Program Files\\T\\tool.exe");
  facts.AddFile("C:\\spy\\spy.exe");
  const Judge judge(tables, facts);
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
      row("Tool", "c:\\program files\\t\\tool.exe"),
      row("Spy", "C:\\spy\\SPY.EXE"),
      row("Mail", "E-mail to x: y"),
  };
  rows[5].taskPath = "\\Mailer";  // a task action that starts no program
  std::vector<HijackRow> hijack = {{"earlier", "Other", 9}};  // what other scanners appended stays
  AnalyzeAutorunRows(rows, judge, hijack);

  EXPECT_EQ(rows[0].analysis, "(System Process) Windows shell");
  EXPECT_EQ(rows[0].statusImage, kStatusCheck);
  EXPECT_EQ(rows[1].analysis, "(Suspicious) File not found");
  EXPECT_EQ(rows[1].statusImage, kStatusWarning);
  EXPECT_EQ(rows[2].analysis, "(Virus/Trojan/Worm) A worm");
  EXPECT_EQ(rows[2].statusImage, kStatusCross);
  EXPECT_EQ(rows[3].analysis, "(General Software) A tool");
  EXPECT_EQ(rows[3].statusImage, kStatusCheck);
  EXPECT_TRUE(rows[4].analysis.starts_with("(Spyware/Adware) An adware"));
  EXPECT_EQ(rows[4].statusImage, kStatusCross);
  EXPECT_EQ(rows[5].analysis, "(Unknown)");
  EXPECT_EQ(rows[0].judgement.signer, "(Not signed)");

  ASSERT_EQ(hijack.size(), 5u);
  EXPECT_EQ(hijack[0].itemName, "earlier");
  const std::vector<std::pair<std::string, int>> flagged = {{"Unknown one", 1}, {"Virus", 2}, {"Spy", 4}, {"Mail", 5}};
  for (std::size_t i = 0; i < flagged.size(); ++i) {
    EXPECT_EQ(hijack[i + 1].itemName, flagged[i].first);
    EXPECT_EQ(hijack[i + 1].description, "Startup Item");
    EXPECT_EQ(hijack[i + 1].index, flagged[i].second);
    EXPECT_EQ(hijack[i + 1].image, kStartupItemImage);
  }
}

TEST(AutorunRules, DriversInTheDriverFoldersAreRowsOnlyWhenTheJudgeDoesNotTrustThem) {
  testing::FakeFacts facts;
  facts.catalogs = true;
  const std::string drivers = "C:\\Windows\\System32\\drivers\\";
  facts.AddFile(drivers + "unsigned.sys");
  facts.AddFile(drivers + "signed.sys", SignatureState::Verified, "Vendor", "ROOT");
  const ReferenceTables tables;
  const Judge judge(tables, facts);
  auto driver = [&](const std::string& name) {
    AutorunRow r;
    r.itemName = name;
    r.value = r.judgeText = drivers + name + ".sys";
    r.judgePath = r.driver = r.onlyUntrusted = true;
    return r;
  };
  std::vector<AutorunRow> rows = {driver("unsigned"), driver("signed"), driver("missing")};
  std::vector<HijackRow> hijack;
  AnalyzeAutorunRows(rows, judge, hijack);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].itemName, "unsigned");
  EXPECT_EQ(rows[1].itemName, "missing");
  EXPECT_EQ(hijack.size(), 2u);
  EXPECT_EQ(hijack[1].index, 1);

  // Without the catalogs an unsigned file there may be Windows' own: only
  // what the judge flags (a missing file) stays.
  facts.catalogs = false;
  const Judge blind(tables, facts);
  rows = {driver("unsigned"), driver("missing")};
  hijack.clear();
  AnalyzeAutorunRows(rows, blind, hijack);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].itemName, "missing");
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
  row.judgement.signer = "(Not signed)";
  row.category = "Logon";
  EXPECT_EQ(AutorunRowText(row), (TextRow{"name", "C:\\x.exe", "Win.ini", "(Unknown)", "(Not signed)", "Logon"}));
  EXPECT_EQ(AutorunListHeader(), (TextRow{"Item Name", "Value", "Registry Key", "Analysis", "Signer", "Category"}));
  EXPECT_EQ(FileInformationText("Acme", "(Unknown)"), "File CommpanyName:  Acme\r\nDescription:  (Unknown)");
  EXPECT_EQ(FileInformationText("", "x"), "File CommpanyName:  \r\nDescription:  x");
}

}  // namespace
}  // namespace wl
