// Looking never writes: every listing of the console scanner and its hijack
// scan leave the registry exactly as they found it. The whole registry of
// the test prefix (the machine's keys and every user's) is walked before and
// after the runs and compared byte for byte. Runs alone: no other test may
// write the registry meanwhile.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
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
  // Compared with a baseline (an empty one: every item is new).
  test::ScratchDir dir;
  test::WriteBytes(dir.File("baseline.json"), R"({"formatVersion": 1, "program": "Wardenlake", "items": []})");
  runs.push_back({"scan", "--format", "json", "--baseline", dir.File("baseline.json")});

  // Wine makes the machine's certificate stores (and fills its root store
  // from the host's roots) in the registry the first time any program of
  // the prefix opens one; Windows has them from the start. A first listing
  // of the network settings lets that happen before the baseline.
  test::RunProgram("wlscan", {"network-settings"});
  const std::vector<std::string> before = test::DumpRegistry();
  ASSERT_GT(before.size(), 1000u);
  // The listings only read, so they run two at a time, and the registry is
  // walked once when all have ended: a difference names the key, and the
  // key names its scanner.
  std::vector<test::CommandResult> results(runs.size());
  std::atomic<std::size_t> next{0};
  auto worker = [&] {
    for (std::size_t i; (i = next++) < runs.size();) results[i] = test::RunProgram("wlscan", runs[i]);
  };
  std::thread second(worker);
  worker();
  second.join();
  std::string commands;
  for (std::size_t i = 0; i < runs.size(); ++i) {
    std::string command;
    for (const auto& a : runs[i]) command += (command.empty() ? "" : " ") + a;
    EXPECT_TRUE(results[i].status == 0 || results[i].status == 1) << "wlscan " << command << ": " << results[i].err;
    commands += "  wlscan " + command + "\n";
  }
  const std::vector<std::string> after = test::DumpRegistry();
  EXPECT_TRUE(after == before) << "one of these changed the registry:\n"
                               << commands << "the change:\n"
                               << test::RegistryDifference(before, after);
}

}  // namespace
}  // namespace wl
