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

}  // namespace
}  // namespace wl
