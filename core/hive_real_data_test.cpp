// The hive reader on real hives of Windows PCs (tests/data/hives): what it
// reads equals what Debian's hivex reads from the same clean hive, and the
// dirty hive read with its transaction logs holds what the logs hold.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

#include "core/hive.h"
#include "core/hive_image.h"
#include "core/hive_listing.h"

namespace wl::hive {
namespace {

const std::string kData = WL_HIVE_DATA_DIR;

std::string RunCommand(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return out;
  char buf[65536];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
  pclose(pipe);
  return out;
}

Hive Open(const std::string& name, bool logs = true) {
  std::string error;
  auto hive = OpenHiveFile(kData + "/" + name, {logs}, error);
  EXPECT_TRUE(hive) << error;
  return hive ? *hive : Hive::FromBytes("");
}

// The hive as hivexregedit --export writes it: every key as "[\\path]", then
// its values, keys and values sorted by name (byte by byte), data as
// hex(type) bytes (dword: for a 4-byte REG_DWORD).
std::string ExportAsHivex(const Hive& hive) {
  std::vector<std::pair<std::vector<std::string>, std::string>> keys;
  std::vector<std::pair<std::string, std::string>> values;
  auto flush = [&] {
    std::sort(values.begin(), values.end());
    for (const auto& v : values) keys.back().second += v.second;
    values.clear();
  };
  Walk(
      hive,
      [&](const Key&, const std::string& path) {
        if (!keys.empty()) flush();
        std::vector<std::string> parts;
        for (std::size_t start = 0; start < path.size();) {
          const std::size_t end = std::min(path.find('\\', start), path.size());
          parts.push_back(path.substr(start, end - start));
          start = end + 1;
        }
        keys.emplace_back(std::move(parts), "\n[\\" + path + "]\n");
        return true;
      },
      [&](const Key&, const std::string&, const Value& value, const std::vector<uint8_t>& data) {
        const std::string name = value.Name();
        std::string line;
        if (name.empty()) {
          line += "@=";
        } else {
          line += '"';
          for (char c : name) {
            if (c == '"' || c == '\\') line += '\\';
            line += c;
          }
          line += "\"=";
        }
        char buf[32];
        if (value.Type() == kRegDword && data.size() == 4) {
          std::snprintf(buf, sizeof buf, "dword:%08x", detail::Get32(data.data()));
          line += buf;
        } else {
          std::snprintf(buf, sizeof buf, "hex(%x):", value.Type());
          line += buf;
          for (std::size_t i = 0; i < data.size(); ++i) {
            std::snprintf(buf, sizeof buf, i ? ",%02x" : "%02x", data[i]);
            line += buf;
          }
        }
        values.emplace_back(name, line + "\n");
      });
  if (!keys.empty()) flush();
  std::sort(keys.begin(), keys.end());
  std::string out = "Windows Registry Editor Version 5.00\n";
  for (const auto& k : keys) out += k.second;
  return out + "\n";
}

// Where two long texts first differ, by line, for a readable failure.
std::string FirstDifference(const std::string& ours, const std::string& theirs) {
  std::istringstream a(ours), b(theirs);
  std::string x, y;
  for (int line = 1;; ++line) {
    const bool moreA = static_cast<bool>(std::getline(a, x));
    const bool moreB = static_cast<bool>(std::getline(b, y));
    if (!moreA && !moreB) return "";
    if (x != y || moreA != moreB)
      return "line " + std::to_string(line) + ":\n ours:  " + x.substr(0, 300) + "\n hivex: " + y.substr(0, 300);
  }
}

std::string XmlText(std::string s) {
  static const std::pair<const char*, const char*> kEntities[] = {
      {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&apos;", "'"}, {"&amp;", "&"}};
  for (const auto& [entity, c] : kEntities)
    for (std::size_t at; (at = s.find(entity)) != std::string::npos;) s.replace(at, std::strlen(entity), c);
  return s;
}

// Each key's name and last-write time as hivexml gives them, in its order.
std::vector<std::string> HivexmlKeyTimes(const std::string& path) {
  const std::string xml = RunCommand("hivexml '" + path + "'");
  std::vector<std::string> out;
  const std::string open = "<node name=\"";
  for (std::size_t at = xml.find(open); at != std::string::npos; at = xml.find(open, at + 1)) {
    const std::size_t nameEnd = xml.find('"', at + open.size());
    const std::size_t time = xml.find("<mtime>", nameEnd);
    const std::size_t next = xml.find('<', xml.find('>', nameEnd) + 1);
    std::string entry = XmlText(xml.substr(at + open.size(), nameEnd - at - open.size())) + " ";
    if (time == next) entry += xml.substr(time + 7, xml.find('<', time + 7) - time - 7);
    out.push_back(entry);
  }
  return out;
}

std::vector<std::string> OurKeyTimes(const Hive& hive) {
  std::vector<std::string> out;
  Walk(hive, [&](const Key& key, const std::string&) {
    out.push_back(key.Name() + " " + FileTimeText(key.LastWriteTime()));
    return true;
  });
  return out;
}

class CleanHive : public ::testing::TestWithParam<const char*> {};

TEST_P(CleanHive, EveryKeyAndValueEqualsWhatHivexReads) {
  const std::string path = kData + "/" + GetParam();
  const Hive hive = Open(GetParam());
  ASSERT_TRUE(hive.Root()) << hive.Error();
  EXPECT_FALSE(hive.LogRecovery().dirty);
  const std::string theirs = RunCommand("hivexregedit --export '" + path + "' '\\'");
  ASSERT_GT(theirs.size(), 100000u) << "hivexregedit gave nothing (libwin-hivex-perl installed?)";
  const std::string ours = ExportAsHivex(hive);
  EXPECT_EQ(FirstDifference(ours, theirs), "");
  EXPECT_EQ(ours.size(), theirs.size());
  EXPECT_TRUE(hive.Problems().empty()) << hive.Problems().front();

  const auto times = HivexmlKeyTimes(path);
  ASSERT_GT(times.size(), 1000u) << "hivexml gave nothing (libhivex-bin installed?)";
  const auto ourTimes = OurKeyTimes(hive);
  ASSERT_EQ(ourTimes.size(), times.size());
  for (std::size_t i = 0; i < times.size(); ++i) ASSERT_EQ(ourTimes[i], times[i]) << "key " << i;
}

INSTANTIATE_TEST_SUITE_P(RealHives, CleanHive, ::testing::Values("SYSTEM", "NTUSER.DAT"));

// The dirty hive as its logs leave it, written out as a clean hive file:
// hivex reads from those bytes what the reader reads.
TEST(DirtyHive, TheRecoveredBytesAreAHiveThatHivexReadsAlike) {
  const Hive hive = Open("SYSTEM_B");
  const std::string path = ::testing::TempDir() + "wl-recovered-SYSTEM_B";
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(hive.Bytes().data(), static_cast<std::streamsize>(hive.Bytes().size()));
  }
  std::string error;
  const auto again = OpenHiveFile(path, {}, error);
  ASSERT_TRUE(again && again->Root()) << error;
  EXPECT_FALSE(again->LogRecovery().dirty);
  const std::string theirs = RunCommand("hivexregedit --export '" + path + "' '\\'");
  std::remove(path.c_str());
  const std::string ours = ExportAsHivex(hive);
  EXPECT_EQ(FirstDifference(ours, theirs), "");
  EXPECT_EQ(ours.size(), theirs.size());
}

// Every key path with its time, every value with its type and data.
struct Contents {
  std::map<std::string, uint64_t> keys;
  std::map<std::pair<std::string, std::string>, std::pair<uint32_t, std::vector<uint8_t>>> values;
};

Contents ContentsOf(const Hive& hive) {
  Contents c;
  Walk(
      hive,
      [&](const Key& key, const std::string& path) {
        c.keys[path] = key.LastWriteTime();
        return true;
      },
      [&](const Key&, const std::string& path, const Value& value, const std::vector<uint8_t>& data) {
        c.values[{path, value.Name()}] = {value.Type(), data};
      });
  return c;
}

template <class Map>
std::size_t Differing(const Map& a, const Map& b) {
  std::size_t n = 0;
  for (const auto& [k, v] : a) {
    const auto it = b.find(k);
    if (it == b.end() || it->second != v) ++n;
  }
  for (const auto& [k, v] : b)
    if (!a.count(k)) ++n;
  return n;
}

TEST(DirtyHive, ReadWithItsLogsHoldsWhatTheLogsHoldAndWithoutThemDoesNot) {
  const Hive withLogs = Open("SYSTEM_B");
  const Hive without = Open("SYSTEM_B", false);
  ASSERT_TRUE(withLogs.Root() && without.Root());

  const Recovery& r = withLogs.LogRecovery();
  EXPECT_TRUE(r.dirty);
  EXPECT_TRUE(r.newFormat);
  EXPECT_EQ(r.logsApplied, (std::vector<std::string>{"SYSTEM_B.LOG1", "SYSTEM_B.LOG2"}));
  EXPECT_EQ(r.pages, 315u);
  EXPECT_EQ(r.entries, 24u);
  EXPECT_EQ(r.firstSequence, 2107u);
  EXPECT_EQ(r.lastSequence, 2130u);
  EXPECT_EQ(withLogs.Header().primarySequence, 2131u);
  EXPECT_EQ(withLogs.Header().dataSize, 12591104u);
  EXPECT_TRUE(withLogs.Problems().empty()) << withLogs.Problems().front();
  EXPECT_TRUE(without.LogRecovery().dirty);
  EXPECT_TRUE(without.LogRecovery().logsApplied.empty());

  // What the logs hold: keys and values the hive without them lacks, and
  // newer times and data of keys it has. (The publishing project's own
  // count, 2,458 keys and 53 values, is of its reader's "new sub-key" and
  // "new value" by its own rules: values by name and non-empty text, and
  // only in keys whose time changed.)
  const Contents a = ContentsOf(withLogs), b = ContentsOf(without);
  std::size_t newKeys = 0, newerKeys = 0, newValues = 0, changedValues = 0;
  for (const auto& [path, time] : a.keys) {
    const auto old = b.keys.find(path);
    if (old == b.keys.end())
      ++newKeys;
    else if (old->second != time)
      ++newerKeys;
  }
  for (const auto& [name, value] : a.values) {
    if (!b.keys.count(name.first)) continue;
    const auto old = b.values.find(name);
    if (old == b.values.end())
      ++newValues;
    else if (old->second != value)
      ++changedValues;
  }
  EXPECT_EQ(a.keys.size(), 35595u);
  EXPECT_EQ(b.keys.size(), 33123u);
  EXPECT_EQ(newKeys, 2472u);
  EXPECT_EQ(newerKeys, 89u);
  EXPECT_EQ(Differing(a.keys, b.keys), newKeys + newerKeys);  // nothing only in the hive without its logs
  EXPECT_EQ(newValues, 14u);
  EXPECT_EQ(changedValues, 96u);
  EXPECT_EQ(a.values.size(), 78901u);
  EXPECT_EQ(b.values.size(), 74957u);
  EXPECT_EQ(
      HiveRecoveryText(withLogs, "SYSTEM_B", true),
      "SYSTEM_B is dirty: applied SYSTEM_B.LOG1, SYSTEM_B.LOG2 (24 log entries, 315 pages, sequence 2107 to 2130)");
}

}  // namespace
}  // namespace wl::hive
