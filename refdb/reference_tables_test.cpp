#include "refdb/reference_tables.h"

#include <gtest/gtest.h>

#include "refdb/zlb_archive.h"
#include "tests/support/test_support.h"
#include "tools/zlb_writer.h"

namespace wl {
namespace {

TEST(StringTable, SplitsAtEveryLineEnd) {
  const StringTable t = StringTable::FromText("a=1\r\nb=2\nc=3\rd=4\r\n\r\ne");
  ASSERT_EQ(t.Count(), 6u);
  EXPECT_EQ(t.Line(2), "c=3");
  EXPECT_EQ(t.Line(4), "");
  EXPECT_EQ(t.Line(5), "e");
  EXPECT_EQ(StringTable::FromText("x\n").Count(), 1u);
  EXPECT_EQ(StringTable::FromText("").Count(), 0u);
  // Loaded verbatim: blanks are kept.
  EXPECT_EQ(StringTable::FromText(" a = b ").Line(0), " a = b ");
}

TEST(LookupVerdict, FollowsTheTableRules) {
  const StringTable t = StringTable::FromText(
      "svchost.exe=@Generic host\n"
      "dup.exe=@First\n"
      "dup.exe=%Second\n"
      "two.exe=ignored=$Worm\n"
      "empty.exe=\n"
      "plain.exe=Just text\n"
      "spy.exe=#Adware # inside\n"
      "lateempty.exe=@Was known\n"
      "lateempty.exe=\n"
      "no equals sign\n");
  EXPECT_EQ(LookupVerdict("svchost.exe", t), "(System Process) Generic host");
  EXPECT_EQ(LookupVerdict("dup.exe", t), "(General Software) Second");  // last match wins
  EXPECT_EQ(LookupVerdict("SVCHOST.EXE", t), "(Unknown)");              // case-sensitive
  EXPECT_EQ(LookupVerdict("two.exe", t), "(Virus/Trojan/Worm) Worm");   // key to first "=", value from last
  EXPECT_EQ(LookupVerdict("two.exe=ignored", t), "(Unknown)");
  EXPECT_EQ(LookupVerdict("empty.exe", t), "(Unknown)");
  EXPECT_EQ(LookupVerdict("lateempty.exe", t), "(Unknown)");
  EXPECT_EQ(LookupVerdict("plain.exe", t), "Just text");
  EXPECT_EQ(LookupVerdict("spy.exe", t), "(Spyware/Adware) Adware # inside");
  EXPECT_EQ(LookupVerdict("", t), "no equals sign");  // a line without "=" has an empty key
  EXPECT_EQ(LookupVerdict("missing", StringTable()), "(Unknown)");
  // The index answers exactly what the line-by-line scan answers.
  for (const char* key : {"svchost.exe", "dup.exe", "two.exe", "empty.exe", "lateempty.exe", "", "x", "plain.exe"})
    EXPECT_EQ(LookupVerdict(key, t), LookupVerdictLinear(key, t)) << key;
}

TEST(LookupVerdict, CategoriesAndTheThreeUses) {
  ReferenceTables r;
  r.process = StringTable::FromText("smss.exe=@Session Manager\nbad.exe=$Worm\n");
  r.ports = StringTable::FromText("TCPhttp=%Web\nUDP53=@DNS\n");
  r.classes = StringTable::FromText("{0002DF01-0000-0000-C000-000000000046}=#Toolbar\n");
  EXPECT_EQ(ClassifyProcess("smss.exe", r), "(System Process) Session Manager");
  EXPECT_EQ(VerdictCategory(ClassifyProcess("smss.exe", r)), 'S');
  EXPECT_EQ(VerdictCategory(ClassifyProcess("bad.exe", r)), 'V');
  EXPECT_EQ(VerdictCategory(ClassifyProcess("other.exe", r)), 'U');
  EXPECT_EQ(DescribePort("TCP", "http", r), "(General Software) Web");
  EXPECT_EQ(DescribePort("UDP", "53", r), "(System Process) DNS");
  EXPECT_EQ(DescribePort("TCP", "53", r), "(Unknown)");
  EXPECT_EQ(LookupClass("{0002DF01-0000-0000-C000-000000000046}", r), "(Spyware/Adware) Toolbar");
  EXPECT_EQ(VerdictCategory(""), '\0');
}

TEST(MainDb, TwoValuesOrNothing) {
  const auto v = ParseMainDb("2026-12-07\r\n61234\r\n");
  ASSERT_TRUE(v);
  EXPECT_EQ(v->lastUpdated, "2026-12-07");
  EXPECT_EQ(v->definitions, "61234");
  const auto named = ParseMainDb("Date=2005-10-1\nCount=3000\n");
  ASSERT_TRUE(named);
  EXPECT_EQ(named->lastUpdated, "2005-10-1");
  EXPECT_EQ(named->definitions, "3000");
  EXPECT_FALSE(ParseMainDb("only one line\n"));
}

TEST(LoadReferenceTables, LoadsTheSixMembers) {
  test::ScratchDir dir;
  const std::string file = dir.File("Ref.dbd");
  test::WriteBytes(file, BuildArchive({{"Site.db", "", "evil.example=Bad site\n", false},
                                 {"Process.db", "", "a.exe=%A\r\n", false},
                                 {"Class.db", "", "", false},
                                 {"Port.db", "", "TCP80=%Web\r", false},
                                 {"Main.db", "", "2026-12-07\n5\n", false},
                                 {"Hijack.db", "", "{X}=Control\n", false}}));
  TZLBArchive a;
  ASSERT_TRUE(a.Open(file));
  ReferenceTables r;
  MainDbValues m;
  LoadReferenceTables(a, r, m);
  EXPECT_EQ(ClassifyProcess("a.exe", r), "(General Software) A");
  EXPECT_EQ(DescribePort("TCP", "80", r), "(General Software) Web");
  EXPECT_EQ(r.hijack.Line(0), "{X}=Control");
  EXPECT_EQ(r.sites.Count(), 1u);
  EXPECT_EQ(m.definitions, "5");

  test::WriteBytes(file, BuildArchive({{"Process.db", "", "a.exe=%A\r\n", false}}));
  ASSERT_TRUE(a.Open(file));
  ReferenceTables partial;
  try {
    LoadReferenceTables(a, partial, m);
    FAIL() << "expected an error";
  } catch (const ArchiveError& e) {
    EXPECT_STREQ(e.what(), "File not found in archive");
  }
  EXPECT_EQ(partial.process.Count(), 1u);  // loaded before the failure
}

// Main.db only feeds the status page: a short one leaves every table loaded.
TEST(LoadReferenceTables, AShortMainDbKeepsTheTables) {
  test::ScratchDir dir;
  const std::string file = dir.File("Ref.dbd");
  test::WriteBytes(file, BuildArchive({{"Process.db", "", "a.exe=%A\n", false},
                                       {"Class.db", "", "{C}=%C\n", false},
                                       {"Port.db", "", "TCP80=%Web\n", false},
                                       {"Main.db", "", "2026-12-07\n", false},
                                       {"Hijack.db", "", "{X}=Control\n", false},
                                       {"Site.db", "", "evil.example=Bad site\n", false}}));
  TZLBArchive a;
  ASSERT_TRUE(a.Open(file));
  ReferenceTables r;
  MainDbValues m{"before", "before"};
  EXPECT_FALSE(LoadReferenceTables(a, r, m));
  EXPECT_EQ(m.lastUpdated, "before");
  EXPECT_EQ(ClassifyProcess("a.exe", r), "(General Software) A");
  EXPECT_EQ(r.hijack.Count(), 1u);
  EXPECT_EQ(r.sites.Count(), 1u);
}

}  // namespace
}  // namespace wl
