#include <gtest/gtest.h>

#include <sstream>

#include "settings/key_backup_fixture.h"
#include "sysroutines/system_write.h"
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

TEST(WlscanSettings, PrintsTheAssociationsShellExtensionsAndTheirHijackRows) {
  test::RegistryLock lock;
  test::KeyBackup exe(HKEY_CLASSES_ROOT, "exefile");
  test::KeyBackup handlers(HKEY_CLASSES_ROOT, "Folder\\shellex\\ContextMenuHandlers");
  ASSERT_TRUE(WriteRegString(HKEY_CLASSES_ROOT, "exefile\\shell\\open\\command", "", "\"%1\"  %*"));
  ASSERT_TRUE(WriteRegString(HKEY_CLASSES_ROOT, "exefile", "", "Wl Program"));
  ASSERT_TRUE(WriteRegString(HKEY_CLASSES_ROOT, "Folder\\shellex\\ContextMenuHandlers\\WlPrinted", "", "{7}"));

  auto r = test::RunProgram("wlscan", {"associations"});
  ASSERT_EQ(r.status, 0) << r.err;
  auto lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 21u);
  EXPECT_EQ(lines[0], "File Association\tRelative Program\tAnalysis");
  EXPECT_EQ(lines[2], "Wl Program\t\"%1\"  %*\tDistrustful setting.Be careful !");

  r = test::RunProgram("wlscan", {"hijack-rows", "associations"});
  ASSERT_EQ(r.status, 0) << r.err;
  lines = Lines(r.out);
  EXPECT_EQ(lines[0], "Item Name\tDescription\tIndex");
  EXPECT_NE(std::find(lines.begin(), lines.end(), "Wl Program\tSystem Association\t1"), lines.end());

  r = test::RunProgram("wlscan", {"shellext"});
  ASSERT_EQ(r.status, 0) << r.err;
  lines = Lines(r.out);
  EXPECT_EQ(lines[0], "Type\tItem Name\tValue\tKey");
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      "Folder(ContextMenu)\tWlPrinted\t{7}\t\\Folder\\shellex\\ContextMenuHandlers\\WlPrinted"),
            lines.end());
}

}  // namespace
}  // namespace wl
