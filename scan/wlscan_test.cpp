// The console scanner driven from outside, as a script would use it.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "core/utf8_path.h"
#include "tests/support/test_support.h"
#include "win32/registry.h"

namespace wl {
namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();  // standard output is in text mode
    lines.push_back(line);
  }
  return lines;
}

bool HasLineStarting(const std::vector<std::string>& lines, const std::string& start) {
  for (const auto& l : lines)
    if (l.starts_with(start)) return true;
  return false;
}

TEST(Wlscan, AutorunPrintsItsRowsAndTheirHijackRows) {
  const char* run = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
  const std::string name = "WLTest-wlscan-\xC3\xA4\xE6\x97\xA5-" + std::to_string(GetCurrentProcessId());
  const std::string data = "C:\\Pr\xC3\xB6gramme\\wlscanprobe.exe -x";
  auto key = win32::RegKey::Create(HKEY_CURRENT_USER, run);
  ASSERT_TRUE(key);
  ASSERT_EQ(key->WriteString(name, data), ERROR_SUCCESS);
  const auto rows = test::RunProgram("wlscan", {"autorun"});
  const auto hijack = test::RunProgram("wlscan", {"hijack-rows", "autorun"});
  key->DeleteValue(name);

  ASSERT_EQ(rows.status, 0) << rows.err;
  const auto lines = Lines(rows.out);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], "Item Name\tValue\tRegistry Key\tAnalysis");
  EXPECT_TRUE(HasLineStarting(lines, name + "\t" + data + "\tHKEY_CURRENT_USER\\" + run + "\\\t(Unknown)"))
      << rows.out.substr(0, 2000);

  ASSERT_EQ(hijack.status, 0) << hijack.err;
  const auto hijackLines = Lines(hijack.out);
  ASSERT_FALSE(hijackLines.empty());
  EXPECT_EQ(hijackLines[0], "Item Name\tDescription\tIndex");
  EXPECT_TRUE(HasLineStarting(hijackLines, name + "\tStartup Item\t")) << hijack.out.substr(0, 2000);
}

TEST(Wlscan, ProcessesListsTheScannerItself) {
  const auto result = test::RunProgram("wlscan", {"processes"});
  ASSERT_EQ(result.status, 0) << result.err;
  const auto lines = Lines(result.out);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], "Process Name\tProcess ID\tSize\tAnalysis");
  EXPECT_TRUE(HasLineStarting(lines, "wlscan.exe\t")) << result.out;
  // The process page has no hijack rows: only the header.
  const auto hijack = test::RunProgram("wlscan", {"hijack-rows", "processes"});
  EXPECT_EQ(hijack.status, 0);
  EXPECT_EQ(Lines(hijack.out).size(), 1u);
}

TEST(Wlscan, FailsWithAMessageWithoutItsReferenceDatabase) {
  test::ScratchDir dir;
  std::filesystem::copy_file(PathFromUtf8(test::BinaryDir() + "\\wlscan.exe"), dir.Path() / "wlscan.exe");
  const auto result = test::RunProgramAt(dir.File("wlscan.exe"), {"autorun"});
  EXPECT_NE(result.status, 0);
  EXPECT_NE(result.err.find("Ref.dbd"), std::string::npos) << result.err;
  EXPECT_EQ(result.out, "");
}

}  // namespace
}  // namespace wl
