#include "software/software_actions.h"

#include <gtest/gtest.h>

#include "tests/support/test_support.h"
#include "win32/file_path.h"
#include "win32/registry.h"
#include "win32/unicode.h"

namespace wl {
namespace {

using win32::RegKey;
using win32::RegView;

std::string SystemDir() {
  wchar_t buf[MAX_PATH];
  const UINT n = GetSystemDirectoryW(buf, MAX_PATH);
  return win32::Narrow(std::wstring_view(buf, n));
}

bool WaitForFile(const std::string& path) {
  for (int i = 0; i < 100; ++i) {
    if (win32::FileExists(path)) return true;
    Sleep(100);
  }
  return false;
}

TEST(StartUninstaller, SplitCommandsAndWholeCommandLinesBothStart) {
  test::ScratchDir dir("wlsoft");
  const std::string cmd = SystemDir() + "\\cmd.exe";
  // Quoted program, then its parameters.
  const std::string quoted = dir.File("quoted.txt");
  ASSERT_TRUE(StartUninstaller("\"" + cmd + "\" /c echo x> \"" + quoted + "\""));
  EXPECT_TRUE(WaitForFile(quoted));
  // The extension in mixed case.
  const std::string mixed = dir.File("mixed.txt");
  std::string mixedCmd = cmd;
  mixedCmd.replace(mixedCmd.size() - 4, 4, ".Exe");
  ASSERT_TRUE(StartUninstaller("\"" + mixedCmd + "\" /c echo x> \"" + mixed + "\""));
  EXPECT_TRUE(WaitForFile(mixed));
  // No extension at all: started as one command line.
  const std::string whole = dir.File("whole.txt");
  ASSERT_TRUE(StartUninstaller("cmd /c echo x> \"" + whole + "\""));
  EXPECT_TRUE(WaitForFile(whole));
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
    ASSERT_TRUE(RegKey::Create(HKEY_LOCAL_MACHINE, path + "\\Nested\\Deeper", KEY_READ | KEY_WRITE, view));
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
