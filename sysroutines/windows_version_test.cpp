#include "sysroutines/windows_version.h"

#include <gtest/gtest.h>

namespace wl {
namespace {

WindowsVersionFacts Nt(uint32_t major, uint32_t minor) { return {true, major, minor, 0, ""}; }
WindowsVersionFacts Other(uint32_t major, uint32_t minor, uint32_t build = 0, std::string service = "") {
  return {false, major, minor, build, std::move(service)};
}

TEST(WindowsVersion, EveryRowOfTheTable) {
  struct Row {
    WindowsVersionFacts facts;
    int code;
    const char* name;
  };
  const Row rows[] = {
      {Nt(3, 51), 1, "Windows NT"},
      {Nt(4, 0), 3, "Windows NT"},
      {Nt(5, 0), 10, "Windows 2000"},
      {Nt(5, 3), 10, "Windows 2000"},
      {Nt(5, 1), 11, "Windows XP"},
      {Nt(5, 2), 12, "Windows 2003 Server"},
      {Nt(6, 1), 0, ""},
      {Nt(10, 0), 0, ""},
      {Nt(2, 0), 0, ""},
      {Other(4, 0, 950, ""), 2, "Windows 95"},
      {Other(4, 0, 950, " D "), 2, "Windows 95"},
      {Other(4, 0, 950, " A "), 4, ""},
      {Other(4, 0, 950, "B"), 5, "Windows 95"},
      {Other(4, 0, 950, "  C"), 6, ""},
      {Other(4, 10, 0x040A0000 | 1998), 7, "Windows 98"},
      {Other(4, 10, 0x040A0000 | 2222), 8, "Windows 98"},
      {Other(4, 90, 3000), 9, "Windows Me"},
      {Other(4, 3), 0, ""},
      {Other(3, 0), 0, ""},
  };
  for (const Row& r : rows) {
    const int code = WindowsVersionCode(r.facts);
    EXPECT_EQ(code, r.code) << r.facts.major << "." << r.facts.minor << " '" << r.facts.serviceText << "'";
    EXPECT_EQ(WindowsVersionName(code), r.name) << code;
  }
  EXPECT_EQ(WindowsVersionName(-1), "");
  EXPECT_EQ(WindowsVersionName(13), "");
}

// The report names every system since Vista from the real version; the older
// ones keep the table's names.
TEST(WindowsVersion, NamesOfCurrentSystems) {
  auto nt = [](uint32_t major, uint32_t minor, uint32_t build, bool server = false) {
    WindowsVersionFacts f{true, major, minor, build, ""};
    f.server = server;
    return f;
  };
  struct Row {
    WindowsVersionFacts facts;
    const char* name;
  };
  const Row rows[] = {
      {nt(5, 1, 2600), "Windows XP"},
      {nt(5, 2, 3790, true), "Windows 2003 Server"},
      {nt(6, 0, 6002), "Windows Vista"},
      {nt(6, 0, 6002, true), "Windows Server 2008"},
      {nt(6, 1, 7601), "Windows 7"},
      {nt(6, 1, 7601, true), "Windows Server 2008 R2"},
      {nt(6, 2, 9200), "Windows 8"},
      {nt(6, 2, 9200, true), "Windows Server 2012"},
      {nt(6, 3, 9600), "Windows 8.1"},
      {nt(6, 3, 9600, true), "Windows Server 2012 R2"},
      {nt(10, 0, 19045), "Windows 10"},
      {nt(10, 0, 21999), "Windows 10"},
      {nt(10, 0, 22000), "Windows 11"},
      {nt(10, 0, 26100), "Windows 11"},
      {nt(10, 0, 14393, true), "Windows Server 2016"},
      {nt(10, 0, 17763, true), "Windows Server 2019"},
      {nt(10, 0, 20348, true), "Windows Server 2022"},
      {nt(10, 0, 26100, true), "Windows Server 2025"},
      {nt(6, 4, 9888), "Windows 6.4 (build 9888)"},
      {nt(11, 0, 30000), "Windows 11.0 (build 30000)"},
      {Other(4, 90, 3000), "Windows Me"},
      {Other(4, 0, 950, "A"), ""},
  };
  for (const Row& r : rows)
    EXPECT_EQ(WindowsVersionNameOf(r.facts), r.name)
        << r.facts.major << "." << r.facts.minor << "." << r.facts.build << (r.facts.server ? " server" : "");
}

}  // namespace
}  // namespace wl
