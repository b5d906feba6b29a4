#include "sysroutines/system_info.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace wl
