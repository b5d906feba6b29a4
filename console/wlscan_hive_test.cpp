// "wlscan hive" driven from outside: a real user hive, a dirty hive with its
// logs beside it, a damaged one.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "core/testing/hive_builder.h"
#include "tests/support/test_support.h"

namespace wl {
namespace {

using hive::testing::HiveBuilder;
using hive::testing::Utf16Bytes;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();  // standard error is in text mode
    lines.push_back(line);
  }
  return lines;
}

std::size_t Count(const std::vector<std::string>& lines, const std::string& start) {
  std::size_t n = 0;
  for (const auto& l : lines) n += l.starts_with(start);
  return n;
}

const std::string kNtuser = test::BinaryDir() + "\\..\\testdata\\hives\\NTUSER.DAT";

TEST(WlscanHive, ListsEveryKeyAndValueOfARealUserHive) {
  const auto result = test::RunProgram("wlscan", {"hive", kNtuser});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, "");
  const auto lines = Lines(result.out);
  ASSERT_GT(lines.size(), 2u);
  EXPECT_EQ(lines[0], "Row\tKey\tLast Write Time\tName\tType\tData");
  EXPECT_EQ(lines[1], "key\t\\\t2012-04-04T14:45:43Z\t\t\t");
  EXPECT_EQ(Count(lines, "key\t"), 1812u);  // as hivex counts them
  for (const char* row : {"value\t\\AppEvents\\EventLabels\\.Default\t\t\tREG_SZ\tDefault Beep",
                          "value\t\\AppEvents\\EventLabels\\.Default\t\tDispFileName\tREG_SZ\t@mmres.dll,-5824",
                          "key\t\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\t"})
    EXPECT_EQ(Count(lines, row), 1u) << row;
}

// A dirty hive beside its log: the log's key is listed, and not with
// --no-logs; JSON has the listing's keys.
TEST(WlscanHive, AppliesTheLogsBesideADirtyHiveUnlessToldNot) {
  auto state = [](bool newer, uint32_t primary, uint32_t secondary) {
    HiveBuilder b;
    const uint32_t root = b.Key({.name = "R", .flags = hive::kKeyHiveEntry});
    std::vector<uint32_t> keys = {b.Key({.name = "Old", .time = 0x01D0000000000000ull})};
    if (newer)
      keys.push_back(
          b.Key({.name = "Run",
                 .valueCount = 1,
                 .valueList = b.List("", {b.Value("Updater", hive::kRegSz, Utf16Bytes(u"C:\\Temp\\u.exe"))})}));
    b.Patch32(root, 20, static_cast<uint32_t>(keys.size()));
    b.Patch32(root, 28, b.List("li", keys));
    return b.File(root, primary, secondary);
  };
  const std::string newer = state(true, 6, 6), dirty = state(false, 6, 5);
  test::ScratchDir dir;
  test::WriteBytes(dir.File("NTUSER.DAT"), dirty);
  test::WriteBytes(dir.File("NTUSER.DAT.LOG1"),
                   hive::testing::NewFormatLog(dirty, 5, {{{0, newer.substr(4096, 4096)}}}, 4096));

  const auto applied = test::RunProgram("wlscan", {"hive", dir.File("NTUSER.DAT")});
  EXPECT_EQ(applied.status, 0) << applied.err;
  EXPECT_EQ(Lines(applied.err),
            std::vector<std::string>{"wlscan: NTUSER.DAT is dirty: applied NTUSER.DAT.LOG1 (1 log entry, 1 page, "
                                     "sequence 5 to 5)"});
  EXPECT_EQ(Count(Lines(applied.out), "value\t\\Run\t\tUpdater\tREG_SZ\tC:\\Temp\\u.exe"), 1u) << applied.out;

  const auto without = test::RunProgram("wlscan", {"hive", "--no-logs", dir.File("NTUSER.DAT"), "--format", "json"});
  EXPECT_EQ(without.status, 0) << without.err;
  EXPECT_NE(without.err.find("its transaction logs were not applied (--no-logs)"), std::string::npos) << without.err;
  const auto doc = nlohmann::json::parse(without.out);
  EXPECT_EQ(doc["page"], "hive");
  ASSERT_EQ(doc["rows"].size(), 2u);
  EXPECT_EQ(doc["rows"][1]["row"], "key");
  EXPECT_EQ(doc["rows"][1]["key"], "\\Old");
  EXPECT_EQ(doc["rows"][1]["lastWriteTime"], "2014-11-14T11:41:59Z");
}

// A damaged hive: the rows that can be read, what is wrong, exit 2; a file
// that is no hive or is missing: exit 2 with the reason.
TEST(WlscanHive, ADamagedHiveGivesWhatCanBeReadAndExitTwo) {
  std::string real = test::ReadBytes(kNtuser);
  test::ScratchDir dir;
  test::WriteBytes(dir.File("cut.dat"), real.substr(0, 4096 + 200000));
  const auto cut = test::RunProgram("wlscan", {"hive", dir.File("cut.dat"), "--format", "csv"});
  EXPECT_EQ(cut.status, 2);
  EXPECT_GT(Count(Lines(cut.out), "key,"), 100u);
  EXPECT_NE(cut.err.find("the file holds 200000"), std::string::npos) << cut.err;
  EXPECT_NE(cut.err.find("is damaged; the rows above are what could be read"), std::string::npos) << cut.err;

  test::WriteBytes(dir.File("text.txt"), "not a hive at all, just some words in a file");
  const auto text = test::RunProgram("wlscan", {"hive", dir.File("text.txt")});
  EXPECT_EQ(text.status, 2);
  EXPECT_NE(text.err.find("the file is too short for a registry hive"), std::string::npos) << text.err;
  const auto missing = test::RunProgram("wlscan", {"hive", dir.File("none.dat")});
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.err.find("cannot open"), std::string::npos) << missing.err;
  EXPECT_EQ(test::RunProgram("wlscan", {"hive"}).status, 2);
}

}  // namespace
}  // namespace wl
