// Full paths of the system's programs, whatever the current folder holds.
#include "sysroutines/system_paths.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "win32/file_path.h"

namespace wl {
namespace {

TEST(SystemPaths, TheSystemsProgramsAreNamedByFullPath) {
  const std::string system = SystemFolder(), windows = WindowsFolder();
  ASSERT_FALSE(system.empty());
  ASSERT_FALSE(windows.empty());
  EXPECT_NE(system.back(), '\\');
  EXPECT_EQ(WindowsProgramPath("regedit.exe"), windows + "\\regedit.exe");
  EXPECT_EQ(SystemProgramPath("regsvr32.exe"), system + "\\regsvr32.exe");
  EXPECT_TRUE(win32::FileExists(WindowsProgramPath("regedit.exe")));
  EXPECT_TRUE(win32::FileExists(SystemProgramPath("regsvr32.exe")));
  EXPECT_TRUE(win32::FileExists(OwnProgramPath()));
  // Only a bare file name is joined.
  for (const char* bad : {"", "..", "sub\\x.exe", "..\\x.exe", "C:x.exe", "/x.exe"}) {
    EXPECT_EQ(SystemProgramPath(bad), "") << bad;
    EXPECT_EQ(WindowsProgramPath(bad), "") << bad;
  }
}

}  // namespace
}  // namespace wl
