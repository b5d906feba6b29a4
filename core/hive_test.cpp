// The hive reader on hives built byte by byte: every kind of cell, lookups
// as Windows compares names, both formats of transaction logs with the
// choices Windows makes, and damaged and hostile files.
#include "core/hive.h"

#include <gtest/gtest.h>

#include <functional>

#include "core/hive_listing.h"
#include "core/testing/hive_builder.h"

namespace wl::hive {
namespace {

using testing::HiveBuilder;
using testing::kNone;
using testing::LogPage;
using testing::Put32;
using testing::Utf16Bytes;

std::string Le32(uint32_t v) {
  std::string s(4, '\0');
  Put32(s, 0, v);
  return s;
}

// Every key and value a walk gives, one line each.
std::string Dump(const Hive& hive) {
  std::string out;
  Walk(
      hive,
      [&](const Key& key, const std::string& path) {
        out += "[" + path + "] " + FileTimeText(key.LastWriteTime()) + "\n";
        return true;
      },
      [&](const Key&, const std::string&, const Value& value, const std::vector<uint8_t>& data) {
        out += "  " + value.Name() + " " + TypeName(value.Type()) + " " + ValueText(value.Type(), data) + "\n";
      });
  return out;
}

bool Mentions(const Hive& hive, const std::string& words) {
  for (const auto& p : hive.Problems())
    if (p.find(words) != std::string::npos) return true;
  return false;
}

std::string AllProblems(const Hive& hive) {
  std::string out;
  for (const auto& p : hive.Problems()) out += p + "\n";
  return out;
}

TEST(HiveReader, ReadsEveryKindOfCell) {
  HiveBuilder b;
  const std::string descriptor = std::string("\x01\x00\x04\x80", 4) + std::string(16, '\0');
  std::string sk = "sk" + std::string(14, '\0') + Le32(static_cast<uint32_t>(descriptor.size())) + descriptor;
  const uint32_t security = b.Cell(sk);
  const uint32_t className = b.Cell(Utf16Bytes(u"DeadBeef"));
  std::string large(40000, '\0');
  for (std::size_t i = 0; i < large.size(); ++i) large[i] = static_cast<char>(i * 7);
  const std::vector<uint32_t> values = {
      b.Value("", kRegSz, Utf16Bytes(std::u16string(u"default\0tail", 12))),
      b.Value("Path", kRegExpandSz, Utf16Bytes(u"%SystemRoot%\\x.exe") + std::string(2, '\0')),
      b.Value("List", kRegMultiSz, Utf16Bytes(std::u16string(u"a\0b\0\0hidden\0\0", 13))),
      b.Value("Start", kRegDword, Le32(2)),
      b.Value("BigEndian", kRegDwordBigEndian, std::string("\0\0\x01\x02", 4)),
      b.Value("Q", kRegQword, Le32(1) + Le32(1)),
      b.Value("Bin", kRegBinary, std::string("\x01\xFF", 2)),
      b.Value("Empty", kRegSz, ""),
      b.Value("Large", kRegBinary, large),
      b.Value("Üni", kRegSz, Utf16Bytes(u"x"), false),
      b.Value("\xE9t\xE9", kRegDword, Le32(7)),  // a compressed name: Latin-1 bytes
  };
  const uint32_t valueList = b.List("", values);
  const uint32_t gamma = b.Key({.name = "gamma",
                                .time = 0x01D9000000000000ull,
                                .valueCount = 1,
                                .valueList = b.List("", {b.Value("G", kRegSz, Utf16Bytes(u"g"))})});
  const uint32_t alpha = b.Key({.name = "alpha", .subkeyCount = 1, .subkeyList = b.List("li", {gamma})});
  const uint32_t beta = b.Key({.name = "Beta"});
  const uint32_t omega = b.Key({.name = "\xCE\xA9mega", .compressed = false});              // Ωmega
  const uint32_t house = b.Key({.name = "\xD0\x94\xD0\xBE\xD0\xBC", .compressed = false});  // Дом
  const uint32_t leaves = b.List("ri", {b.List("lh", {alpha, beta}, {"alpha", "Beta"}), b.List("lf", {omega, house})});
  const uint32_t root = b.Key({.name = "ROOT",
                               .flags = kKeyHiveEntry,
                               .time = 0x01D8000000000000ull,
                               .subkeyCount = 4,
                               .subkeyList = leaves,
                               .valueCount = static_cast<uint32_t>(values.size()),
                               .valueList = valueList,
                               .security = security,
                               .classCell = className,
                               .classSize = 16});
  const Hive hive = Hive::FromBytes(b.File(root));
  ASSERT_TRUE(hive.Root()) << hive.Error();
  const Key r = *hive.Root();
  EXPECT_EQ(r.Name(), "ROOT");
  EXPECT_EQ(r.ClassName(), "DeadBeef");
  const auto sd = r.SecurityDescriptor();
  EXPECT_EQ(std::string(sd.begin(), sd.end()), descriptor);
  EXPECT_EQ(FileTimeText(r.LastWriteTime()), "2022-01-02T17:41:40Z");
  std::vector<std::string> names;
  for (const Key& k : r.Subkeys()) names.push_back(k.Name());
  EXPECT_EQ(names, (std::vector<std::string>{"alpha", "Beta", "\xCE\xA9mega", "\xD0\x94\xD0\xBE\xD0\xBC"}));

  // Lookups without regard to case, as Windows compares: ASCII, Greek,
  // Cyrillic, Latin-1.
  EXPECT_EQ(hive.Find("ALPHA\\Gamma")->Offset(), gamma);
  EXPECT_EQ(hive.Find("\\alpha\\\\gamma\\")->Offset(), gamma);
  EXPECT_EQ(hive.Find("\xCF\x89MEGA")->Offset(), omega);              // ωMEGA
  EXPECT_EQ(hive.Find("\xD0\xB4\xD0\xBE\xD0\xBC")->Offset(), house);  // дом
  EXPECT_EQ(hive.Find("")->Offset(), root);
  EXPECT_FALSE(hive.Find("alpha\\delta"));
  EXPECT_FALSE(hive.Find("alph"));
  EXPECT_EQ(r.GetValue("path")->Name(), "Path");
  EXPECT_EQ(r.GetValue("üNI")->Type(), kRegSz);
  EXPECT_EQ(r.GetValue("\xC3\x89T\xC3\x89")->Dword(), 7u);  // ÉTÉ finds été
  EXPECT_FALSE(r.GetValue("Missing"));

  EXPECT_EQ(r.GetValue("")->String(), "default");
  EXPECT_EQ(r.GetValue("Path")->String(), "%SystemRoot%\\x.exe");
  EXPECT_EQ(r.GetValue("List")->String(), "a b");
  EXPECT_EQ(r.GetValue("List")->MultiString(), (std::vector<std::string>{"a", "b", "hidden"}));
  EXPECT_EQ(r.GetValue("Start")->Dword(), 2u);
  EXPECT_EQ(r.GetValue("Start")->Text(), "2");
  EXPECT_EQ(r.GetValue("BigEndian")->Dword(), 258u);
  EXPECT_EQ(r.GetValue("Q")->Qword(), 0x100000001ull);
  EXPECT_EQ(r.GetValue("Q")->Text(), "4294967297");
  EXPECT_EQ(r.GetValue("Bin")->Text(), "01 FF");
  EXPECT_FALSE(r.GetValue("Bin")->String());
  EXPECT_EQ(r.GetValue("Empty")->String(), "");
  const auto data = r.GetValue("Large")->Data();
  EXPECT_EQ(std::string(data.begin(), data.end()), large);
  EXPECT_EQ(r.GetValue("Large")->DataSize(), 40000u);
  EXPECT_TRUE(hive.Problems().empty()) << AllProblems(hive);

  // The listing wlscan prints.
  const PageText text = HiveListingText(hive);
  ASSERT_EQ(text.rows.size(), 6u + values.size() + 1);
  EXPECT_EQ(text.rows[0], (TextRow{"key", "\\", "2022-01-02T17:41:40Z", "", "", ""}));
  EXPECT_EQ(text.rows[2], (TextRow{"value", "\\", "", "Path", "REG_EXPAND_SZ", "%SystemRoot%\\x.exe"}));
  EXPECT_EQ(text.rows[values.size() + 2], (TextRow{"key", "\\alpha\\gamma", "2022-11-24T12:26:38Z", "", "", ""}));
  EXPECT_EQ(text.rows[values.size() + 3], (TextRow{"value", "\\alpha\\gamma", "", "G", "REG_SZ", "g"}));
}

// Lookups search the sorted lists, and still find a key in a list that is
// out of order.
TEST(HiveReader, FindsEveryKeyOfLongListsSortedOrNot) {
  for (const bool sorted : {true, false}) {
    HiveBuilder b;
    std::vector<uint32_t> keys;
    std::vector<std::string> names;
    for (int i = 0; i < 600; ++i) {
      char name[16];
      std::snprintf(name, sizeof name, "K%03d", sorted ? i : 599 - i);
      names.push_back(name);
      keys.push_back(b.Key({.name = name}));
    }
    const uint32_t firstHalf = b.List("lh", {keys.begin(), keys.begin() + 300}, names);
    const uint32_t secondHalf = b.List("lf", {keys.begin() + 300, keys.end()}, {names.begin() + 300, names.end()});
    const uint32_t root = b.Key({.name = "R", .subkeyCount = 600, .subkeyList = b.List("ri", {firstHalf, secondHalf})});
    const Hive hive = Hive::FromBytes(b.File(root));
    for (int i = 0; i < 600; ++i) {
      char name[16];
      std::snprintf(name, sizeof name, "k%03d", i);
      const auto key = hive.Find(name);
      ASSERT_TRUE(key) << name << (sorted ? " sorted" : " unsorted");
      EXPECT_TRUE(NamesEqual(key->Name(), name));
    }
    EXPECT_FALSE(hive.Find("K600"));
    EXPECT_EQ(hive.Root()->Subkeys().size(), 600u);
  }
}

// Damaged and hostile structures: each read stays within the file, stops,
// and says what it met.
TEST(HiveReader, HostileStructuresAreReadAsFarAsTheyGoAndNamed) {
  {  // A list leading back to an ancestor, and a key listed twice.
    HiveBuilder b;
    const uint32_t rootList = b.List("li", {0, 0});
    const uint32_t childList = b.List("li", {0});
    const uint32_t child = b.Key({.name = "Child", .subkeyCount = 1, .subkeyList = childList});
    const uint32_t root = b.Key({.name = "R", .flags = kKeyHiveEntry, .subkeyCount = 2, .subkeyList = rootList});
    b.Patch32(rootList, 4, child);
    b.Patch32(rootList, 8, child);
    b.Patch32(childList, 4, root);
    const Hive hive = Hive::FromBytes(b.File(root));
    EXPECT_EQ(Dump(hive), "[] \n[Child] \n");
    EXPECT_TRUE(Mentions(hive, "reached a second time")) << AllProblems(hive);
  }
  {  // A key listing itself: a caller that recurses on its own stops at
     // Windows' depth.
    HiveBuilder b;
    const uint32_t list = b.List("li", {0});
    const uint32_t self = b.Key({.name = "Self", .subkeyCount = 1, .subkeyList = list});
    b.Patch32(list, 4, self);
    const Hive hive = Hive::FromBytes(b.File(self));
    std::size_t deepest = 0, visits = 0;
    std::function<void(const Key&)> descend = [&](const Key& k) {
      deepest = std::max(deepest, k.Depth());
      ++visits;
      for (const Key& c : k.Subkeys()) descend(c);
    };
    descend(*hive.Root());
    EXPECT_EQ(deepest, kMaxKeyDepth);
    EXPECT_EQ(visits, kMaxKeyDepth + 1);
    EXPECT_TRUE(Mentions(hive, "levels deep"));
    EXPECT_EQ(Dump(hive), "[] \n");
    std::string path;
    for (int i = 0; i < 3000; ++i) path += "self\\";
    EXPECT_EQ(hive.Find(path)->Depth(), kMaxKeyDepth);  // as deep as it goes, then no further
  }
  {  // Offsets that name no cell, an index root naming itself and a leaf
     // twice, counts larger than their cells, names and data past their cells.
    HiveBuilder b;
    const uint32_t good = b.Key({.name = "Good"});
    const uint32_t leaf = b.List("lh", {good, 0x7FFFFFF8, good + 4, 8}, {"Good"});
    const uint32_t value = b.Value("V", kRegBinary, std::string(64, 'v'));
    const uint32_t overlongName = b.Key({.name = "N"});
    b.Patch32(overlongName, 72, 0xFFFF);  // name length
    const uint32_t values = b.List("", {value, 0x10, value + 8, 0xFFFFFFF0});
    std::string ri = "ri" + std::string(2, '\0') + Le32(leaf) + Le32(leaf) + Le32(0);
    testing::Put16(ri, 2, 3);
    const uint32_t riCell = b.Cell(ri);
    b.Patch32(riCell, 12, riCell);
    const uint32_t root =
        b.Key({.name = "R", .subkeyCount = 9, .subkeyList = riCell, .valueCount = 1000000, .valueList = values});
    // A value whose data size is far past its cell, one keeping 100 bytes "in
    // itself", a big data cell naming 65535 segments.
    const uint32_t v2 = b.Value("Huge", kRegBinary, std::string(8, 'h'));
    b.Patch32(v2, 4, 0x7FFFFFF0);
    const uint32_t v3 = b.Value("Inline", kRegBinary, "ab");
    b.Patch32(v3, 4, 0x80000064);
    const uint32_t v4 = b.Value("Segments", kRegBinary, std::string(20000, 's'));
    b.Patch32(v4, 4, 0x7FFFFFF0);
    const uint32_t db = detail::Get32(reinterpret_cast<const uint8_t*>(b.Cells().data()) + (v4 - 32) + 4 + 8);
    b.Patch32(db, 0, 0xFFFF6264);  // "db", 65535 segments
    b.Patch32(root, 40, b.List("", {value, 0x10, value + 8, 0xFFFFFFF0, v2, v3, v4}));
    b.Patch32(root, 36, 1000000);
    const Hive hive = Hive::FromBytes(b.File(root));
    ASSERT_TRUE(hive.Root());
    const std::string dump = Dump(hive);
    EXPECT_TRUE(dump.starts_with("[] \n  V REG_BINARY " + ValueText(kRegBinary, std::vector<uint8_t>(64, 'v')) +
                                 "\n  Huge REG_BINARY 68 68 68 68 68 68 68 68 00 00 00 00\n"
                                 "  Inline REG_BINARY 61 62 00 00\n  Segments REG_BINARY 73 73"))
        << dump.substr(0, 600);
    EXPECT_TRUE(dump.ends_with("\n[Good] \n"));
    for (const char* words :
         {"is not a cell of the hive bins", "which is no leaf", "listed more than once", "its list holds",
          "their list holds", "keeps 100 bytes", "its cell holds", "holds fewer than 65535 segments"})
      EXPECT_TRUE(Mentions(hive, words)) << words << "\n" << AllProblems(hive);
    const Hive named = Hive::FromBytes(b.File(overlongName));  // the root pointer names the key with the long name
    EXPECT_TRUE(named.Root());
    named.Root()->Name();
    EXPECT_TRUE(Mentions(named, "runs past its cell"));
  }
  {  // Many values sharing one data cell: a walk hands the data out once.
    HiveBuilder b;
    const uint32_t data = b.Cell(std::string(16000, 'd'));
    std::vector<uint32_t> values;
    for (int i = 0; i < 2000; ++i) {
      const uint32_t v = b.Value("v" + std::to_string(i), kRegBinary, "12345");
      b.Patch32(v, 4, 16000);
      b.Patch32(v, 8, data);
      values.push_back(v);
    }
    const uint32_t root = b.Key({.name = "R", .valueCount = 2000, .valueList = b.List("", values)});
    const Hive hive = Hive::FromBytes(b.File(root));
    std::size_t handedOut = 0;
    Walk(
        hive, [](const Key&, const std::string&) { return true; },
        [&](const Key&, const std::string&, const Value&, const std::vector<uint8_t>& d) { handedOut += d.size(); });
    EXPECT_EQ(handedOut, 16000u);
    EXPECT_TRUE(Mentions(hive, "belongs to more than one value"));
    EXPECT_EQ(hive.Root()->Values()[1999].Data().size(), 16000u);  // read on its own, each value has it
  }
}

TEST(HiveReader, DamagedFilesGiveWhatCanBeReadAndSayWhy) {
  HiveBuilder b;
  const uint32_t root = b.Key({.name = "R", .flags = kKeyHiveEntry, .subkeyCount = 200});
  const uint32_t list = b.List("li", std::vector<uint32_t>(200, 0));
  b.Patch32(root, 28, list);
  std::vector<uint32_t> keys;
  for (int i = 0; i < 200; ++i) {
    keys.push_back(b.Key({.name = "Key" + std::to_string(1000 + i)}));
    b.Patch32(list, 4 + 4 * i, keys.back());
  }
  const std::string file = b.File(root);
  EXPECT_EQ(Hive::FromBytes(file).Root()->Subkeys().size(), 200u);

  EXPECT_EQ(Hive::FromBytes("").Error(), "the file is too short for a registry hive");
  EXPECT_EQ(Hive::FromBytes(std::string(5000, 'x')).Error(), "the file is not a registry hive (no \"regf\" signature)");
  // Cut anywhere: never more than the file, and whatever lies before the cut.
  const std::size_t whole = Dump(Hive::FromBytes(file)).size();
  for (std::size_t size = 0; size < file.size(); size += 389) {
    const Hive cut = Hive::FromBytes(file.substr(0, size));
    EXPECT_LE(Dump(cut).size(), whole);
    EXPECT_TRUE(cut.Root() || !cut.Error().empty());
  }
  const Hive cut = Hive::FromBytes(file.substr(0, 4096 + 3000));
  EXPECT_TRUE(Mentions(cut, "the file holds 3000")) << AllProblems(cut);
  EXPECT_GT(cut.Root()->Subkeys().size(), 10u);

  // A cell of size 0 ends its bin's cells: the keys before it are read.
  std::string zero = file;
  Put32(zero, 4096 + keys[150], 0);
  const Hive zeroed = Hive::FromBytes(zero);
  EXPECT_EQ(zeroed.Root()->Subkeys().size(), 150u);
  EXPECT_TRUE(Mentions(zeroed, "does not fit its hive bin")) << AllProblems(zeroed);
  // A bin's size that is no multiple of 4096.
  std::string binSize = file;
  Put32(binSize, 4096 + 8, 5000);
  EXPECT_TRUE(Mentions(Hive::FromBytes(binSize), "gives a size of 5000"));
  // A root pointer that names no key: the key marked as the root is taken.
  std::string rootless = file;
  Put32(rootless, 36, 8);
  HiveBuilder::SealBaseBlock(rootless);
  const Hive found = Hive::FromBytes(rootless);
  ASSERT_TRUE(found.Root()) << found.Error();
  EXPECT_EQ(found.Root()->Subkeys().size(), 200u);
  EXPECT_TRUE(Mentions(found, "is marked as the root"));
  Put32(rootless, 508, 1);
  EXPECT_TRUE(Mentions(Hive::FromBytes(rootless), "checksum"));
}

// ---- transaction logs

// Two states of one hive: the old one on disk, the new one in memory when
// the PC went down. The new one has a key more, a changed value and a bin
// more; its root lies where the old one's does.
struct TwoStates {
  std::string oldFile, newFile;
  uint32_t newSize = 0;
};

std::string State(bool newer, uint32_t primarySeq, uint32_t secondarySeq, uint32_t* size = nullptr) {
  HiveBuilder b;
  const uint32_t root = b.Key({.name = "R", .flags = kKeyHiveEntry});
  const uint32_t value = b.Value("V", kRegSz, Utf16Bytes(newer ? u"two-two" : u"one-one"));
  std::vector<uint32_t> keys = {b.Key({.name = "Old"})};
  if (newer)
    keys.push_back(b.Key({.name = "Planted",
                          .valueCount = 1,
                          .valueList = b.List("", {b.Value("Run", kRegSz, Utf16Bytes(u"C:\\evil.exe"))})}));
  b.Patch32(root, 20, static_cast<uint32_t>(keys.size()));
  b.Patch32(root, 28, b.List("li", keys));
  b.Patch32(root, 36, 1);
  b.Patch32(root, 40, b.List("", {value}));
  const std::string file = b.File(root, primarySeq, secondarySeq, 0x01D0000000000000ull, newer ? 8192 : 4096);
  if (size) *size = static_cast<uint32_t>(file.size() - 4096);
  return file;
}

std::vector<LogPage> Pages(const std::string& file, std::vector<uint32_t> pages) {
  std::vector<LogPage> out;
  for (uint32_t p : pages) out.push_back({p * 4096, file.substr(4096 + std::size_t{p} * 4096, 4096)});
  return out;
}

TEST(HiveLogs, EntriesApplyInSequenceThroughBothLogs) {
  uint32_t newSize = 0;
  const std::string newer = State(true, 7, 7, &newSize);
  const std::string dirty = State(false, 6, 5);
  const Hive expected = Hive::FromBytes(newer);
  ASSERT_NE(Dump(Hive::FromBytes(dirty)), Dump(expected));
  const std::string log1 = testing::NewFormatLog(dirty, 5, {Pages(newer, {0})}, newSize);
  const std::string log2 = testing::NewFormatLog(dirty, 6, {Pages(newer, {1})}, newSize);

  // Given in either order, LOG1 goes first: its entries start earlier.
  const Hive hive = Hive::FromBytes(dirty, {{"X.LOG2", log2}, {"X.LOG1", log1}});
  EXPECT_EQ(Dump(hive), Dump(expected));
  const Recovery& r = hive.LogRecovery();
  EXPECT_TRUE(r.dirty && r.newFormat);
  EXPECT_EQ(r.logsApplied, (std::vector<std::string>{"X.LOG1", "X.LOG2"}));
  EXPECT_EQ(r.entries, 2u);
  EXPECT_EQ(r.pages, 2u);
  EXPECT_EQ(r.firstSequence, 5u);
  EXPECT_EQ(r.lastSequence, 6u);
  EXPECT_EQ(hive.Header().dataSize, newSize);
  EXPECT_EQ(hive.Header().primarySequence, 7u);
  EXPECT_EQ(hive.Find("Planted")->GetValue("run")->String(), "C:\\evil.exe");
  EXPECT_TRUE(hive.Problems().empty()) << AllProblems(hive);
  // What the logs leave is a clean hive file.
  EXPECT_EQ(Dump(Hive::FromBytes(hive.Bytes())), Dump(expected));
  EXPECT_FALSE(Hive::FromBytes(hive.Bytes()).LogRecovery().dirty);

  // A clean hive: the logs are not looked at.
  const std::string clean = State(false, 5, 5);
  EXPECT_EQ(Dump(Hive::FromBytes(clean, {{"X.LOG1", log1}, {"X.LOG2", log2}})), Dump(Hive::FromBytes(clean)));
  // Entries the hive holds already are skipped.
  const Hive later = Hive::FromBytes(State(false, 7, 6), {{"X.LOG1", log1}, {"X.LOG2", log2}});
  EXPECT_EQ(later.LogRecovery().firstSequence, 6u);
  EXPECT_EQ(later.LogRecovery().logsApplied, (std::vector<std::string>{"X.LOG2"}));
  // Without logs a dirty hive reads as it is, and says so.
  EXPECT_EQ(HiveRecoveryText(Hive::FromBytes(dirty), "X", true),
            "X is dirty; the hive is dirty and no transaction log was given: its latest changes may be missing");
  EXPECT_EQ(HiveRecoveryText(hive, "X", true),
            "X is dirty: applied X.LOG1, X.LOG2 (2 log entries, 2 pages, sequence 5 to 6)");
}

TEST(HiveLogs, RecoveryStopsAtADamagedEntryOrAGapAndNeverGrowsPastTheFiles) {
  uint32_t newSize = 0;
  const std::string newer = State(true, 7, 7, &newSize);
  const std::string dirty = State(false, 6, 5);
  const std::string log1 = testing::NewFormatLog(dirty, 5, {Pages(newer, {0})}, newSize);
  const std::string log2 = testing::NewFormatLog(dirty, 6, {Pages(newer, {1})}, newSize);

  std::string badHash = log2;
  badHash[512 + 40 + 8 + 100] ^= 1;  // a byte of its page
  const Hive stopped = Hive::FromBytes(dirty, {{"X.LOG1", log1}, {"X.LOG2", badHash}});
  EXPECT_EQ(stopped.LogRecovery().logsApplied, (std::vector<std::string>{"X.LOG1"}));
  EXPECT_TRUE(Mentions(stopped, "X.LOG2: the log entry at 0x200 has a wrong hash")) << AllProblems(stopped);

  const std::string gap = testing::NewFormatLog(dirty, 7, {Pages(newer, {1})}, newSize);
  const Hive gapped = Hive::FromBytes(dirty, {{"X.LOG1", log1}, {"X.LOG2", gap}});
  EXPECT_EQ(gapped.LogRecovery().entries, 1u);
  EXPECT_EQ(gapped.LogRecovery().note, "X.LOG2 continues at sequence 7, not 6; recovery stops there");

  // An entry that would make the hive 2 GB, one writing past the size it
  // gives: refused before anything is allocated or written.
  const std::string huge = testing::NewFormatLog(dirty, 5, {Pages(newer, {0})}, 0x7FFFF000);
  const Hive notGrown = Hive::FromBytes(dirty, {{"X.LOG1", huge}});
  EXPECT_LT(notGrown.Bytes().size(), 100000u);
  EXPECT_TRUE(notGrown.LogRecovery().logsApplied.empty());
  EXPECT_TRUE(Mentions(notGrown, "is damaged (hive size 2147479552"));
  const std::string outside = testing::NewFormatLog(dirty, 5, {{{8192, newer.substr(4096, 4096)}}}, newSize);
  EXPECT_TRUE(Mentions(Hive::FromBytes(dirty, {{"X.LOG1", outside}}), "writes a page outside the hive"));

  // A primary whose base block is damaged takes the log's.
  std::string damagedBase = dirty;
  Put32(damagedBase, 508, 0);
  const Hive rebuilt = Hive::FromBytes(damagedBase, {{"X.LOG1", log1}, {"X.LOG2", log2}});
  EXPECT_TRUE(rebuilt.LogRecovery().baseBlockFromLog);
  EXPECT_EQ(Dump(rebuilt), Dump(Hive::FromBytes(newer)));

  // Logs that are no logs, cut short, or not written whole.
  std::string torn = log1;
  Put32(torn, 8, 4);
  HiveBuilder::SealBaseBlock(torn);
  const Hive none = Hive::FromBytes(dirty, {{"A", ""}, {"B", "regf"}, {"C", torn}, {"D", log1.substr(0, 600)}});
  EXPECT_EQ(none.LogRecovery().note,
            "no transaction log can be applied (A is empty; B is no transaction log; C was not written whole; "
            "D holds no log entries)");
  EXPECT_EQ(Dump(none), Dump(Hive::FromBytes(dirty)));
}

TEST(HiveLogs, ADirtyVectorLogWrittenWithTheHivesTimestampIsApplied) {
  const std::string newer = State(true, 5, 5);
  const std::string dirty = State(false, 5, 4);
  std::vector<uint32_t> changed;
  for (uint32_t p = 0; p < (newer.size() - 4096) / 512; ++p)
    if (4096 + std::size_t{p} * 512 >= dirty.size() || newer.compare(4096 + p * 512, 512, dirty, 4096 + p * 512, 512))
      changed.push_back(p);
  const std::string log = testing::DirtyVectorLog(newer, changed);
  const Hive hive = Hive::FromBytes(dirty, {{"X.LOG", log}});
  EXPECT_EQ(Dump(hive), Dump(Hive::FromBytes(newer)));
  EXPECT_FALSE(hive.LogRecovery().newFormat);
  EXPECT_EQ(hive.LogRecovery().pages, changed.size());
  EXPECT_EQ(HiveRecoveryText(hive, "X", true),
            "X is dirty: applied X.LOG (" + std::to_string(changed.size()) + " pages of 512 bytes)");

  // Of two logs of the hive the later is taken; one of another time is not.
  std::string older = testing::DirtyVectorLog(dirty, {0});
  Put32(older, 4, 3);
  Put32(older, 8, 3);
  HiveBuilder::SealBaseBlock(older);
  EXPECT_EQ(Hive::FromBytes(dirty, {{"X.LOG2", older}, {"X.LOG1", log}}).LogRecovery().logsApplied,
            (std::vector<std::string>{"X.LOG1"}));
  std::string otherTime = log;
  Put32(otherTime, 12, 99);
  HiveBuilder::SealBaseBlock(otherTime);
  EXPECT_EQ(Hive::FromBytes(dirty, {{"X.LOG", otherTime}}).LogRecovery().note,
            "no transaction log was written with the hive's timestamp");
  // A log cut within its pages applies what it holds, and says so.
  const Hive cut = Hive::FromBytes(dirty, {{"X.LOG", log.substr(0, log.size() - 700)}});
  EXPECT_EQ(cut.LogRecovery().pages, changed.size() - 2);
  EXPECT_TRUE(Mentions(cut, "X.LOG ends within its dirty pages"));
}

TEST(HiveNames, CaseAndTimesAsWindowsHasThem) {
  EXPECT_TRUE(NamesEqual("Software\\Microsoft", "SOFTWARE\\microsoft"));
  EXPECT_TRUE(NamesEqual("\xC3\xA9t\xC3\xA9", "\xC3\x89T\xC3\x89"));  // été, ÉTÉ
  EXPECT_TRUE(NamesEqual("\xC3\xBF", "\xC5\xB8"));                    // ÿ, Ÿ
  EXPECT_TRUE(NamesEqual("\xD0\xB4\xD1\x91", "\xD0\x94\xD0\x81"));    // дё, ДЁ
  EXPECT_FALSE(NamesEqual("\xC3\x9F", "SS"));                         // ß stays
  EXPECT_FALSE(NamesEqual("a", "a "));
  EXPECT_EQ(FileTimeText(0), "");
  EXPECT_EQ(FileTimeText(1), "1601-01-01T00:00:00Z");
  EXPECT_EQ(FileTimeText(116444736000000000ull), "1970-01-01T00:00:00Z");
  EXPECT_EQ(FileTimeText(133536384000000000ull + 86399ull * 10000000), "2024-02-29T23:59:59Z");
  EXPECT_EQ(FileTimeText(~0ull), "60056-05-28T05:36:10Z");
  EXPECT_EQ(TypeName(kRegQword), "REG_QWORD");
  EXPECT_EQ(TypeName(0x100000), "0x00100000");
}

}  // namespace
}  // namespace wl::hive
