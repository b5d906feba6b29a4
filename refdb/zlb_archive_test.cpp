#include "refdb/zlb_archive.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tests/support/test_support.h"
#include "tools/zlb_writer.h"

namespace wl {
namespace {

using test::ScratchDir;
using test::WriteBytes;

std::string MessageOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const ArchiveError& e) {
    return e.what();
  }
  return "(no error)";
}

void PutU32(std::string& s, std::size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + std::size_t(i)] = char(uint8_t(v >> (8 * i)));
}

// Hand-laid archive, independent of the writer: registry first (plain), then
// the data blocks, then the footer.
std::string HandMadeArchive() {
  struct M {
    std::string name, path, data;
    bool stored;
  };
  const std::vector<M> members = {
      {"Process.db", "", "a.exe=%A\r\n", true},
      {"x.txt", "dir\\", "from dir", false},
      {"dup.txt", "", "first", true},
      {"dup.txt", "", "second", true},
  };
  std::string reg(members.size() * kRecordSize, '\0');
  std::string data;
  const uint32_t dataStart = static_cast<uint32_t>(reg.size());
  for (std::size_t i = 0; i < members.size(); ++i) {
    const M& m = members[i];
    const std::size_t r = i * kRecordSize;
    reg[r] = char(m.name.size());
    std::memcpy(&reg[r + 1], m.name.data(), m.name.size());
    reg[r + 256] = char(m.path.size());
    std::memcpy(&reg[r + 257], m.path.data(), m.path.size());
    const std::string block = m.stored ? m.data : ZlibCompress(m.data);
    PutU32(reg, r + 512, uint32_t(m.data.size()));
    PutU32(reg, r + 520, dataStart + uint32_t(data.size()));
    PutU32(reg, r + 524, Crc32(0, m.data.data(), m.data.size()));
    reg[r + 528] = m.stored ? 1 : 0;
    data += block;
  }
  std::string file = reg + data + std::string(kFooterSize, '\0');
  PutU32(file, file.size() - kFooterSize + 4, uint32_t(members.size()));
  PutU32(file, file.size() - kFooterSize + 16, 0);
  FixArchiveCrc(file);
  return file;
}

TEST(ZLBArchive, ReadsAnArchiveLaidOutByHand) {
  ScratchDir dir;
  const std::string name = dir.File("hand.dbd");
  WriteBytes(name, HandMadeArchive());
  TZLBArchive a;
  a.CheckCRC = true;
  ASSERT_TRUE(a.Open(name));
  ASSERT_EQ(a.Count(), 4);
  EXPECT_EQ(a.Entry(1).FullName(), "dir\\x.txt");
  std::string s;
  a.ExtractByName(s, "process.DB");  // case-insensitive on path + name
  EXPECT_EQ(s, "a.exe=%A\r\n");
  s.clear();
  a.ExtractByName(s, "DIR\\X.TXT");
  EXPECT_EQ(s, "from dir");
  s.clear();
  a.ExtractByName(s, "dup.txt");  // first in registry order wins
  EXPECT_EQ(s, "first");
  EXPECT_EQ(MessageOf([&] { a.ExtractByName(s, "x.txt"); }), "File not found in archive");
  EXPECT_EQ(a.Count(), 4);  // stays open after a failed lookup
}

TEST(ZLBArchive, RoundTripsWriterOutputWithBothRegistryForms) {
  ScratchDir dir;
  std::string big;
  for (int i = 0; i < 20000; ++i) big += "line " + std::to_string(i) + "=%value\r\n";
  std::string binary;
  for (int i = 0; i < 70000; ++i) binary += char(i * 7 + i / 13);
  for (bool compressRegistry : {true, false}) {
    const std::string name = dir.File(compressRegistry ? "c.dbd" : "p.dbd");
    WriteBytes(name, BuildArchive({{"big.db", "", big, false}, {"bin", "", binary, true}, {"empty", "", "", false}},
                                  {compressRegistry}));
    TZLBArchive a;
    a.CheckCRC = true;
    std::vector<std::pair<std::string, int>> progress;
    a.OnProgress = [&](const std::string& m, int p) { progress.emplace_back(m, p); };
    ASSERT_TRUE(a.Open(name));
    EXPECT_EQ(a.Footer().registryCompressed != 0, compressRegistry);
    std::string s;
    a.ExtractByName(s, "big.db");
    EXPECT_EQ(s, big);
    s.clear();
    a.ExtractByName(s, "BIN");
    EXPECT_EQ(s, binary);
    s.clear();
    a.ExtractByName(s, "empty");
    EXPECT_EQ(s, "");
    // Extraction reports its progress up to 100 and ends with the idle event.
    bool sawFull = false;
    for (const auto& [m, p] : progress) sawFull |= (m == "Extracting big.db" && p == 100);
    EXPECT_TRUE(sawFull);
    EXPECT_EQ(progress.back(), std::make_pair(name, 0));
  }
}

TEST(ZLBArchive, OpenFailures) {
  ScratchDir dir;
  TZLBArchive a;
  EXPECT_FALSE(a.Open(""));
  EXPECT_EQ(MessageOf([&] { a.Open(dir.File("missing.dbd")); }), "Archive file not found");
  EXPECT_EQ(MessageOf([&] { a.Count(); }), "No archive is currently open");
  std::string s;
  EXPECT_EQ(MessageOf([&] { a.ExtractByName(s, "x"); }), "No archive is currently open");

  const std::string good = BuildArchive({{"a.db", "", std::string(30000, 'a'), false}, {"b.db", "", "bbb", true}});
  // Any single changed byte before the footer fails the archive CRC.
  for (std::size_t at : {std::size_t(0), good.size() / 2, good.size() - kFooterSize - 1}) {
    std::string bad = good;
    bad[at] = char(bad[at] ^ 0x40);
    WriteBytes(dir.File("bad.dbd"), bad);
    EXPECT_EQ(MessageOf([&] { a.Open(dir.File("bad.dbd")); }), "The archive file appears to be corrupted") << at;
    EXPECT_EQ(a.FileName(), "");
  }
  for (const std::string& tiny : {std::string(), std::string(35, '\0')}) {
    WriteBytes(dir.File("tiny.dbd"), tiny);
    EXPECT_EQ(MessageOf([&] { a.Open(dir.File("tiny.dbd")); }), "The archive file appears to be corrupted");
  }
}

TEST(ZLBArchive, EmptyArchiveAndIndexBounds) {
  ScratchDir dir;
  WriteBytes(dir.File("e.dbd"), BuildArchive({}));
  TZLBArchive a;
  ASSERT_TRUE(a.Open(dir.File("e.dbd")));
  EXPECT_EQ(a.Count(), 0);
  std::string s;
  EXPECT_EQ(MessageOf([&] { a.ExtractByName(s, "Process.db"); }), "File not found in archive");
  EXPECT_EQ(MessageOf([&] { a.Entry(0); }), "Index out of bounds");
  WriteBytes(dir.File("one.dbd"), BuildArchive({{"a", "", "x", false}}));
  ASSERT_TRUE(a.Open(dir.File("one.dbd")));
  EXPECT_EQ(MessageOf([&] { a.Entry(-1); }), "Index out of bounds");
  EXPECT_EQ(MessageOf([&] { a.Entry(1); }), "Index out of bounds");
  EXPECT_EQ(MessageOf([&] { a.Extract(1, s); }), "Index out of bounds");
}

// Damaged or hostile footers and records: the Part's own messages, no crash,
// no huge allocation.
TEST(ZLBArchive, DamagedTablesAndRecordsAreRejectedSafely) {
  ScratchDir dir;
  const std::string file = dir.File("d.dbd");
  const std::string base = BuildArchive({{"a.db", "", std::string(5000, 'q'), false}}, {false});
  const std::size_t foot = base.size() - kFooterSize;
  const std::size_t rec = foot - kRecordSize;  // plain registry lies right before the footer
  TZLBArchive a;

  auto patched = [&](std::size_t at, uint32_t v, bool fixCrc = true) {
    std::string s = base;
    PutU32(s, at, v);
    if (fixCrc) FixArchiveCrc(s);
    WriteBytes(file, s);
  };
  // Member count far beyond the file.
  for (uint32_t count : {2u, 1000000u, 0x7FFFFFFFu}) {
    patched(foot + 4, count);
    EXPECT_EQ(MessageOf([&] { a.Open(file); }), "Unable to read archive file list") << count;
    EXPECT_EQ(MessageOf([&] { a.Count(); }), "No archive is currently open");
  }
  // Negative member count: no members.
  patched(foot + 4, 0xFFFFFFFFu);
  ASSERT_TRUE(a.Open(file));
  EXPECT_EQ(a.Count(), 0);
  // Registry offset beyond the file.
  patched(foot + 16, 0xFFFFFF00u);
  EXPECT_EQ(MessageOf([&] { a.Open(file); }), "Unable to read archive file list");
  // Compressed flag on a registry that is not a zlib stream.
  {
    std::string s = base;
    s[foot + 20] = 1;
    FixArchiveCrc(s);
    WriteBytes(file, s);
    EXPECT_EQ(MessageOf([&] { a.Open(file); }), "Unable to read archive file list");
  }
  // Data offset beyond the file; a size the compressed bytes could never hold.
  std::string s;
  patched(rec + 520, 0xFFFFFFF0u);
  ASSERT_TRUE(a.Open(file));
  EXPECT_EQ(MessageOf([&] { a.Extract(0, s); }), "File (0) is corrupt");
  patched(rec + 512, 0xFFFFFFFFu);
  ASSERT_TRUE(a.Open(file));
  EXPECT_EQ(MessageOf([&] { a.Extract(0, s); }), "File (0) is corrupt");
  // Data offset pointing at bytes that are not a zlib stream.
  patched(rec + 520, uint32_t(foot - 10));
  ASSERT_TRUE(a.Open(file));
  EXPECT_EQ(MessageOf([&] { a.Extract(0, s); }), "File (0) is corrupt");
}

TEST(ZLBArchive, ShortMembersAndTheCrcSwitch) {
  ScratchDir dir;
  const std::string file = dir.File("s.dbd");
  std::string arch = BuildArchive({{"a.db", "", "0123456789", true}}, {false});
  const std::size_t rec = arch.size() - kFooterSize - kRecordSize;
  // Recorded size larger than the data: a short read, no error without CheckCRC.
  PutU32(arch, rec + 512, 12);
  FixArchiveCrc(arch);
  WriteBytes(file, arch);
  TZLBArchive a;
  ASSERT_TRUE(a.Open(file));
  std::string s;
  EXPECT_TRUE(a.Extract(0, s));
  EXPECT_EQ(s.substr(0, 10), "0123456789");
  // A wrong member CRC matters only with CheckCRC on.
  PutU32(arch, rec + 512, 10);
  PutU32(arch, rec + 524, 1234);
  FixArchiveCrc(arch);
  WriteBytes(file, arch);
  ASSERT_TRUE(a.Open(file));
  s.clear();
  EXPECT_TRUE(a.Extract(0, s));
  EXPECT_EQ(s, "0123456789");
  a.CheckCRC = true;
  s.clear();
  EXPECT_EQ(MessageOf([&] { a.Extract(0, s); }), "File (0) failed CRC check");
}

// What a reader sees of an archive: its listing and every member's bytes, or
// the error it raised.
std::string Reading(TZLBArchive& a, const std::function<bool()>& open) {
  std::string out;
  try {
    if (!open()) return "(not opened)";
    out = a.FileName() + "\n";
    for (int i = 0; i < a.Count(); ++i) {
      out += a.Entry(i).FullName() + ":";
      std::string s;
      try {
        a.Extract(i, s);
        out += s;
      } catch (const ArchiveError& e) {
        out += std::string("error ") + e.what();
      }
      out += "\n";
    }
  } catch (const ArchiveError& e) {
    out += std::string("error ") + e.what();
  }
  return out;
}

// Bytes in memory read exactly as the same bytes in a file, good or damaged.
TEST(ZLBArchive, MemoryAndFileReadTheSame) {
  ScratchDir dir;
  const std::string file = dir.File("m.dbd");
  std::string big;
  for (int i = 0; i < 30000; ++i) big += "line " + std::to_string(i) + "=%value\r\n";
  std::vector<std::string> archives = {
      HandMadeArchive(), BuildArchive({}),
      BuildArchive({{"big.db", "", big, false}, {"s", "dir/", big.substr(0, 70000), true}}),
      BuildArchive({{"a.db", "", "abc", true}, {"b.db", "", "def", false}}, {false})};
  const std::string base = archives.back();
  const std::size_t foot = base.size() - kFooterSize;
  for (std::size_t at : {foot + 4, foot + 16, foot - kRecordSize + 512, foot - kRecordSize + 520, std::size_t(1)}) {
    for (uint32_t v : {0u, 3u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
      std::string bad = base;
      PutU32(bad, at, v);
      archives.push_back(bad);
      FixArchiveCrc(bad);
      archives.push_back(bad);
    }
  }
  archives.push_back(base.substr(0, 35));
  for (std::size_t i = 0; i < archives.size(); ++i) {
    WriteBytes(file, archives[i]);
    for (bool check : {false, true}) {
      TZLBArchive fromFile, fromMemory;
      fromFile.CheckCRC = fromMemory.CheckCRC = check;
      const std::string expected = Reading(fromFile, [&] { return fromFile.Open(file); });
      const std::string got = Reading(fromMemory, [&] { return fromMemory.OpenMemory(archives[i], file); });
      EXPECT_EQ(got, expected) << "archive " << i;
    }
  }
  // The archive keeps its own copy; Close forgets it; the default name.
  TZLBArchive a;
  {
    std::string bytes = BuildArchive({{"a", "", "x", false}});
    ASSERT_TRUE(a.OpenMemory(bytes));
    bytes.assign(bytes.size(), '\0');
  }
  EXPECT_EQ(a.FileName(), "(memory)");
  std::string s;
  a.ExtractByName(s, "a");
  EXPECT_EQ(s, "x");
  a.Close();
  EXPECT_EQ(MessageOf([&] { a.ExtractByName(s, "a"); }), "No archive is currently open");
  EXPECT_EQ(MessageOf([&] { a.OpenMemory("short"); }), "The archive file appears to be corrupted");
  EXPECT_EQ(a.FileName(), "");
}

TEST(ZLBArchive, OpensNonAsciiFileNames) {
  ScratchDir dir("wl-\xC3\xA4rchiv-\xE6\x97\xA5");
  const std::string file = dir.File("R\xC3\xA9" "f.dbd");
  WriteBytes(file, BuildArchive({{"a", "", "x", false}}));
  TZLBArchive a;
  std::string opened;
  a.OnArchiveOpened = [&](TZLBArchive& sender) { opened = sender.FileName(); };
  ASSERT_TRUE(a.Open(file));
  EXPECT_EQ(opened, file);
  std::string s;
  std::string streamed;
  a.OnStreamExtracted = [&](const std::string& n) { streamed = n; };
  a.ExtractByName(s, "A");
  EXPECT_EQ(s, "x");
  EXPECT_EQ(streamed, "a");
}

}  // namespace
}  // namespace wl
