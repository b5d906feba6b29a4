// Full paths of the system's programs, whatever the current folder holds.
#include "sysroutines/system_paths.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <stdexcept>
#include <thread>

#include "tests/support/test_support.h"
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
  // The folder ends in a backslash and holds the program.
  const std::string folder = OwnProgramFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), '\\');
  EXPECT_EQ(folder + OwnProgramPath().substr(folder.size()), OwnProgramPath());
  EXPECT_EQ(OwnProgramPath().find('\\', folder.size()), std::string::npos);
  // Only a bare file name is joined.
  for (const char* bad : {"", "..", "sub\\x.exe", "..\\x.exe", "C:x.exe", "/x.exe"}) {
    EXPECT_EQ(SystemProgramPath(bad), "") << bad;
    EXPECT_EQ(WindowsProgramPath(bad), "") << bad;
  }
}

TEST(SystemPaths, AProgramStartsByItsFullPathWithItsArguments) {
  test::ScratchDir dir("wlstart");
  const std::string mark = dir.File("started mark.txt");
  ASSERT_TRUE(StartProgram(SystemProgramPath("cmd.exe"), "/c echo started>\"" + mark + "\""));
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  // The file exists before cmd has written the line (and may be locked then).
  const auto read = [&]() -> std::string {
    try {
      return win32::FileExists(mark) ? test::ReadBytes(mark) : "";
    } catch (const std::exception&) {
      return "";
    }
  };
  std::string written;
  while ((written = read()).find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(written.substr(0, 7), "started");

  // No program of that path, or none given: the reason, and nothing runs.
  uint32_t error = 0;
  EXPECT_FALSE(StartProgram(dir.File("none.exe"), "", &error));
  EXPECT_EQ(error, static_cast<uint32_t>(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(StartProgram("", "x", &error));
  EXPECT_EQ(error, static_cast<uint32_t>(ERROR_FILE_NOT_FOUND));
}

}  // namespace
}  // namespace wl
