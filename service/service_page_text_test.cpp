#include <gtest/gtest.h>

#include <sstream>

#include "service/test_service_fixture.h"
#include "service/service_rules.h"
#include "tests/support/test_support.h"

namespace wl {
namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();  // the console's text mode
    lines.push_back(line);
  }
  return lines;
}

TEST(WlscanServices, PrintsTheServicesAndTheirHijackRows) {
  test::TestService svc;
  ASSERT_TRUE(svc.ok());
  auto r = test::RunProgram("wlscan", {"services"});
  ASSERT_EQ(r.status, 0) << r.err;
  auto lines = Lines(r.out);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], "Display Name\tDescription\tState\tStartup\tPath\tAnalyze\tSigner");
  const std::string row = svc.keyName() + "\t\tStopp\tManual_Start\t" + AsciiUpper("\"" + svc.program() + "\"") +
                          "\tDistrustful File: Not signed, in a temporary folder (a folder users can write)\t(Not signed)";
  EXPECT_NE(std::find(lines.begin(), lines.end(), row), lines.end()) << r.out;

  r = test::RunProgram("wlscan", {"hijack-rows", "services"});
  ASSERT_EQ(r.status, 0) << r.err;
  lines = Lines(r.out);
  bool found = false;
  for (const auto& line : lines) found |= line == svc.keyName() + "\tSystem Service\t";  // no index
  EXPECT_TRUE(found) << r.out;
}

}  // namespace
}  // namespace wl
