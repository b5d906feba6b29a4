#include "sysroutines/system_info.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include "sysroutines/test_files.h"
#include "win32/file_path.h"
#include "win32/unicode.h"

namespace wl {
namespace {

TEST(SystemInfo, WindowsDirIsTheSystemsAndFeedsThePathRoutine) {
  const std::string dir = GetWindowsDir();
  ASSERT_FALSE(dir.empty());
  EXPECT_NE(dir.back(), '\\');
  const DWORD attributes = GetFileAttributesW(win32::Widen(dir).c_str());
  ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(ExtractExecutablePath("%SystemRoot%\\system32\\svchost.exe -k netsvcs"), dir + "\\SYSTEM32\\SVCHOST.EXE");
}

TEST(SystemInfo, SpecialFoldersAreRealFolders) {
  for (int csidl : {7, 24, CSIDL_WINDOWS, CSIDL_APPDATA}) {
    const std::string path = GetSpecialFolderPath(nullptr, csidl);
    ASSERT_FALSE(path.empty()) << csidl;
    EXPECT_NE(path.back(), '\\') << path;
    EXPECT_TRUE(win32::DirectoryExists(path)) << path;
  }
  EXPECT_EQ(GetSpecialFolderPath(nullptr, -5), "");
  EXPECT_EQ(GetSpecialFolderPath(nullptr, 0x7FFF), "");
}

TEST(SystemInfo, WindowsVersionFollowsTheTable) {
  const WindowsVersionFacts facts = QueryWindowsVersionFacts();
  EXPECT_TRUE(facts.ntPlatform);
  EXPECT_GE(facts.major, 5u);
  EXPECT_EQ(GetWindowsVersionCode(), WindowsVersionCode(facts));
  // The name comes from the real version, which is at least what a program
  // is told.
  const WindowsVersionFacts real = QueryRealWindowsVersionFacts();
  EXPECT_TRUE(real.ntPlatform);
  EXPECT_GE(real.major * 100 + real.minor, facts.major * 100 + facts.minor);
  EXPECT_EQ(GetWindowsVersionName(), WindowsVersionNameOf(real));
  EXPECT_FALSE(GetWindowsVersionName().empty());
}

TEST(SystemInfo, ResolveProgramPathKeepsARealPathWhole) {
  test::LongScratch dir;
  const std::string odd = dir.Folder("Tools - Neu, 2") + "\\run.exe";
  test::WriteFileAt(odd, "MZ");
  EXPECT_EQ(ResolveProgramPath(odd), odd);
  EXPECT_EQ(ResolveProgramPath("\"" + odd + "\" /x"), ExtractExecutablePath("\"" + odd + "\" /x"));
  EXPECT_EQ(ResolveProgramPath(dir.Path() + "\\missing.exe -x"), ExtractExecutablePath(dir.Path() + "\\missing.exe"));
  EXPECT_EQ(ResolveProgramPath(""), "");
}

}  // namespace
}  // namespace wl
