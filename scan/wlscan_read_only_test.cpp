// Looking never writes: every listing of the console scanner and its hijack
// scan leave the registry exactly as they found it. The whole registry of
// the test prefix (the machine's keys and every user's) is walked before and
// after each run and compared byte for byte. Runs alone: no other test may
// write the registry meanwhile.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "autorun/autorun_rules.h"
#include "tests/support/test_support.h"
#include "win32/registry.h"
#include "win32/registry_write.h"
#include "win32/unicode.h"

namespace wl {
namespace {

std::string Hex(const std::vector<uint8_t>& data) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  out.reserve(data.size() * 2);
  for (uint8_t b : data) {
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

// Keys the system itself keeps while programs run: the service control
// manager counts the service processes it starts in ServiceCurrent (a
// volatile key; the task service starts when the tasks are listed).
bool KeptByTheSystem(const std::string& path) {
  static const char* const kKept[] = {
      "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\ServiceCurrent",
      "HKEY_LOCAL_MACHINE\\System\\ControlSet001\\Control\\ServiceCurrent",
  };
  for (const char* kept : kKept)
    if (CompareStringOrdinal(win32::Widen(path).c_str(), -1, win32::Widen(kept).c_str(), -1, TRUE) == CSTR_EQUAL)
      return true;
  return false;
}

// One line per key and per value: "path" and "path\t name\t type\t bytes".
// A key that cannot be opened is a line of its own, so that it is compared
// too. Wine sorts what it enumerates, Windows does not: the lines are sorted.
void Walk(HKEY parent, const std::string& name, const std::string& path, int depth, std::vector<std::string>& out) {
  if (KeptByTheSystem(path)) return;
  LONG error = ERROR_SUCCESS;
  const auto key = win32::RegKey::Open(parent, name, KEY_READ, win32::RegView::Default, &error);
  if (!key) {
    out.push_back(path + "\t(cannot be opened: " + std::to_string(error) + ")");
    return;
  }
  out.push_back(path);
  for (const auto& value : key->Values())
    out.push_back(path + "\t" + value.name + "\t" + std::to_string(value.type) + "\t" + Hex(value.data));
  if (depth > 64) return;  // a loop of links
  for (const auto& sub : key->SubKeyNames()) Walk(key->get(), sub, path + "\\" + sub, depth + 1, out);
}

std::vector<std::string> DumpRegistry() {
  std::vector<std::string> lines;
  Walk(HKEY_LOCAL_MACHINE, "", "HKEY_LOCAL_MACHINE", 0, lines);
  Walk(HKEY_USERS, "", "HKEY_USERS", 0, lines);
  std::sort(lines.begin(), lines.end());
  return lines;
}

// What one dump has that the other has not, at most a few lines of each.
std::string Difference(const std::vector<std::string>& before, const std::vector<std::string>& after) {
  std::vector<std::string> gone, added;
  std::set_difference(before.begin(), before.end(), after.begin(), after.end(), std::back_inserter(gone));
  std::set_difference(after.begin(), after.end(), before.begin(), before.end(), std::back_inserter(added));
  std::string text;
  for (std::size_t i = 0; i < gone.size() && i < 10; ++i) text += "  - " + gone[i].substr(0, 300) + "\n";
  for (std::size_t i = 0; i < added.size() && i < 10; ++i) text += "  + " + added[i].substr(0, 300) + "\n";
  return text;
}

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
  std::vector<std::string> before = DumpRegistry();
  ASSERT_GT(before.size(), 1000u);
  for (const auto& args : runs) {
    std::string command;
    for (const auto& a : args) command += (command.empty() ? "" : " ") + a;
    const auto result = test::RunProgram("wlscan", args);
    EXPECT_TRUE(result.status == 0 || result.status == 1) << "wlscan " << command << ": " << result.err;
    std::vector<std::string> after = DumpRegistry();
    EXPECT_TRUE(after == before) << "wlscan " << command << " changed the registry:\n" << Difference(before, after);
    before = std::move(after);
  }
}

}  // namespace
}  // namespace wl
