#include "software/software_actions.h"

#include <gtest/gtest.h>

#include "software/uninstall_command.h"
#include "tests/support/test_support.h"
#include "win32/file_path.h"
#include "win32/registry.h"
#include "win32/registry_write.h"
#include "win32/unicode.h"

namespace wl {
namespace {

using win32::RegKey;
using win32::RegWriteKey;
using win32::RegView;

// A copy of the marker program under the given name: it leaves "<its path>.ran"
// when it runs.
std::string Marker(const test::ScratchDir& dir, const std::string& name) {
  const std::string path = dir.File(name);
  EXPECT_TRUE(CopyFileW(win32::Widen(test::BinaryDir() + "\\wl_marker.exe").c_str(), win32::Widen(path).c_str(), FALSE));
  return path;
}

// The first program started in a fresh prefix may take many seconds.
bool Ran(const std::string& program) {
  for (int i = 0; i < 300; ++i) {
    if (win32::FileExists(program + ".ran")) return true;
    Sleep(100);
  }
  return false;
}

TEST(StartUninstaller, SplitCommandsAndWholeCommandLinesBothStart) {
  test::ScratchDir dir("wl soft");  // a blank in the folder name
  // Quoted program, then its parameters.
  const std::string quoted = Marker(dir, "uninst.exe");
  ASSERT_TRUE(StartUninstaller("\"" + quoted + "\" /S"));
  EXPECT_TRUE(Ran(quoted));
  // The extension in mixed case, unquoted.
  const std::string mixed = Marker(dir, "Setup.eXe");
  ASSERT_TRUE(StartUninstaller(mixed + " -remove"));
  EXPECT_TRUE(Ran(mixed));
  // No extension at all: started as one command line.
  const std::string whole = Marker(dir, "remove.exe");
  const std::string wholeCommand = "\"" + whole.substr(0, whole.size() - 4) + "\" /x";
  ASSERT_TRUE(SplitUninstallCommand(wholeCommand).wholeCommand);
  const auto started = StartUninstaller(wholeCommand);
  ASSERT_TRUE(started) << started.message;
  EXPECT_TRUE(Ran(whole));
}

TEST(StartUninstaller, AMissingProgramIsReported) {
  const auto r = StartUninstaller("\"C:\\No Such Folder 7f3a\\uninst.exe\" /S");
  EXPECT_FALSE(r);
  EXPECT_NE(r.message.find("uninst.exe"), std::string::npos) << r.message;
  EXPECT_FALSE(StartUninstaller("nosuchprogram7f3a --remove"));
  EXPECT_FALSE(StartUninstaller("   "));
}

TEST(RemoveSoftwareEntry, RemovesTheWholeEntryAndNothingElse) {
  const std::string name = "WlRemoveApp" + std::to_string(GetCurrentProcessId());
  const std::string path = std::string(kUninstallKey) + "\\" + name;
  for (RegView view : {RegView::Force64, RegView::Force32}) {
    ASSERT_TRUE(RegWriteKey::Create(HKEY_LOCAL_MACHINE, path + "\\Nested\\Deeper", KEY_READ | KEY_WRITE, view));
    SoftwareRow row;
    row.registryKey = std::string("HKEY_LOCAL_MACHINE\\") +
                      (view == RegView::Force64 ? kUninstallKey : kUninstallKey32) + "\\" + name;
    // Anything that is not one entry below an uninstall key is refused.
    for (const std::string& bad : {row.registryKey + "\\Nested", std::string("HKEY_LOCAL_MACHINE\\") + kUninstallKey +
                                                                      "\\", std::string("HKEY_CURRENT_USER\\") +
                                                                                kUninstallKey + "\\" + name,
                                   std::string()}) {
      SoftwareRow wrong = row;
      wrong.registryKey = bad;
      EXPECT_FALSE(RemoveSoftwareEntry(wrong)) << bad;
    }
    EXPECT_TRUE(RegKey::Exists(HKEY_LOCAL_MACHINE, path + "\\Nested\\Deeper", view));
    const auto r = RemoveSoftwareEntry(row);
    EXPECT_TRUE(r) << r.message;
    EXPECT_FALSE(RegKey::Exists(HKEY_LOCAL_MACHINE, path, view));
    EXPECT_TRUE(RegKey::Exists(HKEY_LOCAL_MACHINE, kUninstallKey, view));
  }
}

TEST(SoftwareFolder, OnlyAnExistingFolderIsGiven) {
  test::ScratchDir dir("wlsoft");
  const std::string folder = dir.Path().string();
  EXPECT_TRUE(win32::DirectoryExists(SoftwareFolder("\"" + folder + "\\uninst.exe\" /S")));
  // A parameter with a backslash of its own does not turn the program into the "folder".
  const std::string withLog = SoftwareFolder("\"" + folder + "\\uninst.exe\" /log C:\\logs\\u.txt");
  EXPECT_TRUE(win32::DirectoryExists(withLog)) << withLog;
  EXPECT_EQ(SoftwareFolder("MsiExec.exe /X{1234}"), "");
  EXPECT_EQ(SoftwareFolder("C:\\No Such Folder 7f3a\\u.exe"), "");
}

}  // namespace
}  // namespace wl
