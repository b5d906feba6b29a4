// refdbtool driven as a program: pack, list, extract, lookup and its errors.
#include <gtest/gtest.h>

#include "judge/judge.h"
#include "refdb/reference_tables.h"
#include "refdb/zlb_archive.h"
#include "tests/support/test_support.h"
#include "tools/zlb_writer.h"

namespace wl {
namespace {

using test::RunProgram;

TEST(Refdbtool, PackListExtractLookup) {
  test::ScratchDir dir;
  test::WriteBytes(dir.File("Process.db"), "svchost.exe=@Host\r\nsvchost.exe=%Later\r\n");
  test::WriteBytes(dir.File("raw.bin"), std::string("\0\1\2\r\n\x1A", 6));
  const std::string out = dir.File("t.dbd");
  auto r = RunProgram("refdbtool", {"pack", out, "--stored", "raw.bin", "--plain-registry", dir.File("Process.db"),
                                    dir.File("raw.bin"), "--path", "sub/", dir.File("raw.bin")});
  ASSERT_EQ(r.status, 0) << r.err;

  r = RunProgram("refdbtool", {"list", out});
  ASSERT_EQ(r.status, 0) << r.err;
  std::string listing = r.out;
  std::erase(listing, '\r');
  EXPECT_EQ(listing, "0\tProcess.db\t39\tzlib\n1\traw.bin\t6\tstored\n2\tsub/raw.bin\t6\tstored\n");

  r = RunProgram("refdbtool", {"extract", out, "RAW.BIN"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, std::string("\0\1\2\r\n\x1A", 6));  // byte for byte

  r = RunProgram("refdbtool", {"lookup", out, "process.db", "svchost.exe"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.substr(0, r.out.find_first_of("\r\n")), "(General Software) Later");

  // The archive opens in the reader with a good CRC and a plain registry.
  TZLBArchive a;
  ASSERT_TRUE(a.Open(out));
  EXPECT_EQ(a.Footer().registryCompressed, 0);
}

TEST(Refdbtool, ReportsTheReadersMessages) {
  test::ScratchDir dir;
  const std::string file = dir.File("a.dbd");
  auto firstLine = [](const std::string& s) { return s.substr(0, s.find_first_of("\r\n")); };

  auto r = RunProgram("refdbtool", {"list", dir.File("none.dbd")});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(firstLine(r.err), "Archive file not found");

  std::string bytes = BuildArchive({{"Process.db", "", "x=%y\n", false}});
  test::WriteBytes(file, bytes);
  r = RunProgram("refdbtool", {"extract", file, "nothere.db"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(firstLine(r.err), "File not found in archive");

  bytes[0] = char(bytes[0] ^ 1);
  test::WriteBytes(file, bytes);
  r = RunProgram("refdbtool", {"lookup", file, "Process.db", "x"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(firstLine(r.err), "The archive file appears to be corrupted");
}

TEST(Refdbtool, TheShippedDatabaseHoldsItsTables) {
  const std::string refdbd = test::BinaryDir() + std::string(1, std::filesystem::path::preferred_separator) + "Ref.dbd";
  TZLBArchive a;
  a.CheckCRC = true;
  ASSERT_TRUE(a.Open(refdbd));
  for (const char* name :
       {"Process.db", "Class.db", "Port.db", "Main.db", "Hijack.db", "Site.db", "Signer.db", "Command.db",
        "Network.db"}) {
    std::string s;
    a.ExtractByName(s, name);
    EXPECT_FALSE(s.empty()) << name;
  }
  ReferenceTables r;
  MainDbValues m;
  LoadReferenceTables(a, r, m);
  // The immunization dialogs read the first 200 lines of these two by position.
  EXPECT_GE(r.hijack.Count(), 200u);
  EXPECT_GE(r.sites.Count(), 200u);
  // Main.db counts the definitions of the other tables.
  EXPECT_EQ(m.definitions, std::to_string(r.process.Count() + r.classes.Count() + r.ports.Count() +
                                          r.hijack.Count() + r.sites.Count() + r.signers.Count() +
                                          r.commands.Count() + r.network.Count()));
  // The judge's tables: Microsoft's roots and rules that all read.
  EXPECT_EQ(SignerGroupOf("847DF6A78497943F27FC72EB93F9A637320A02B561D0A91B09E87A7807ED7C61", r), "Microsoft");
  EXPECT_EQ(ParseCommandRules(r.commands.Lines()).unreadable, 0u);
  EXPECT_EQ(VerdictCategory(ClassifyProcess("svchost.exe", r)), 'S');
  EXPECT_EQ(VerdictCategory(ClassifyProcess("msblast.exe", r)), 'V');
  // The resolver's name and the number both find the web port.
  EXPECT_NE(DescribePort("TCP", "http", r), "(Unknown)");
  EXPECT_NE(DescribePort("TCP", "80", r), "(Unknown)");
  // Every killed control of Hijack.db is known to Class.db, and not as malware.
  for (const std::string& line : r.hijack.Lines()) {
    const std::string id(StringTable::KeyOf(line));
    const std::string verdict = LookupClass(id, r);
    EXPECT_NE(verdict, "(Unknown)") << id;
    EXPECT_NE(VerdictCategory(verdict), 'V') << id;
  }
}

}  // namespace
}  // namespace wl
