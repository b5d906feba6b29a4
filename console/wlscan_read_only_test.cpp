// Looking never writes: every listing of the console scanner and its hijack
// scan leave the registry exactly as they found it. The whole registry of
// the test prefix (the machine's keys and every user's) is walked before and
// after each run and compared byte for byte. Runs alone: no other test may
// write the registry meanwhile.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "autorun/autorun_rules.h"
#include "tests/support/registry_dump.h"
#include "tests/support/test_support.h"
#include "win32/registry.h"
#include "win32/registry_write.h"

namespace wl {
namespace {

TEST(WlscanReadOnly, EveryListingAndTheHijackScanLeaveTheRegistryAsItWas) {
  // The source keys of the autorun list that are there but empty go first
  // (nothing is lost): a scan that made missing keys would make them again.
  for (const RegistrySource& source : RegistrySources()) {
    const HKEY root = source.root == RegRoot::CurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
    const std::string path(RegistryOpenPath(source));
    const auto key = win32::RegKey::Open(root, path);
    if (key && key->Values().empty() && key->SubKeyNames().empty()) win32::RegWriteKey::DeleteTree(root, path);
  }

  // Every page the program lists, as its usage names them.
  const auto usage = test::RunProgram("wlscan", {});
  const auto pagesAt = usage.err.find("pages:");
  ASSERT_NE(pagesAt, std::string::npos) << usage.err;
  std::vector<std::vector<std::string>> runs;
  std::string word;
  for (char c : usage.err.substr(pagesAt + 6) + " ") {
    if (c != ' ' && c != '\r' && c != '\n') {
      word += c;
    } else if (!word.empty()) {
      runs.push_back({word});
      word.clear();
    }
  }
  ASSERT_GE(runs.size(), 12u) << usage.err;
  runs.push_back({"immunity", "spyware"});
  runs.push_back({"immunity", "sites"});
  runs.push_back({"hijack-rows", "autorun"});
  runs.push_back({"scan"});
  runs.push_back({"scan", "--format", "json"});

  // Wine makes the machine's certificate stores (and fills its root store
  // from the host's roots) in the registry the first time any program of
  // the prefix opens one; Windows has them from the start. A first listing
  // of the network settings lets that happen before the baseline.
  test::RunProgram("wlscan", {"network-settings"});
  std::vector<std::string> before = test::DumpRegistry();
  ASSERT_GT(before.size(), 1000u);
  for (const auto& args : runs) {
    std::string command;
    for (const auto& a : args) command += (command.empty() ? "" : " ") + a;
    const auto result = test::RunProgram("wlscan", args);
    EXPECT_TRUE(result.status == 0 || result.status == 1) << "wlscan " << command << ": " << result.err;
    std::vector<std::string> after = test::DumpRegistry();
    EXPECT_TRUE(after == before) << "wlscan " << command << " changed the registry:\n" << test::RegistryDifference(before, after);
    before = std::move(after);
  }
}

}  // namespace
}  // namespace wl
