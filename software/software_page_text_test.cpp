#include <gtest/gtest.h>

#include <sstream>

#include "software/installed_software.h"
#include "sysroutines/system_write.h"
#include "tests/support/test_support.h"

namespace wl {
namespace {

TEST(WlscanSoftware, PrintsTheCountedHeaderAndTheRows) {
  const std::string name = "WlPrintedApp" + std::to_string(GetCurrentProcessId());
  const std::string key = std::string(kUninstallKey) + "\\" + name;
  ASSERT_TRUE(WriteRegString(HKEY_LOCAL_MACHINE, key, "DisplayName", "Wl Printed App"));
  ASSERT_TRUE(WriteRegString(HKEY_LOCAL_MACHINE, key, "UninstallString", "C:\\p\\u.exe /S"));
  ASSERT_TRUE(WriteRegString(HKEY_LOCAL_MACHINE, key, "Publisher", "Acme"));
  const auto r = test::RunProgram("wlscan", {"software"});
  DeleteRegTree(HKEY_LOCAL_MACHINE, key);
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<std::string> lines;
  std::istringstream in(r.out);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();  // the console's text mode
    lines.push_back(line);
  }
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0], "Installed Software (Total " + std::to_string(lines.size() - 1) +
                          ")\tHelp Info\tVersion\tRegistryKey\tUninstall Command");
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      "Wl Printed App\tAcme\t\tHKEY_LOCAL_MACHINE\\" + key + "\tC:\\p\\u.exe /S"),
            lines.end());
}

}  // namespace
}  // namespace wl
