#include "sysroutines/version_info.h"

#include <gtest/gtest.h>

#include "sysroutines/system_info.h"
#include "sysroutines/test_files.h"
#include "tests/support/test_support.h"

namespace wl {
namespace {

using test::CopyFileTo;
using test::LongScratch;
using test::TestProgram;
using test::WriteFileAt;

// The test programs, copied to a folder with non-ASCII letters and to one
// whose path is longer than MAX_PATH.
class VersionInfoTest : public ::testing::Test {
 protected:
  std::string Copy(const std::string& program, const std::string& folder) {
    const std::string to = folder + "\\" + program + "-\xC3\xA4.exe";
    CopyFileTo(TestProgram(program), to);
    return to;
  }
  LongScratch dir_;
};

TEST_F(VersionInfoTest, ReadsEveryFieldOfAFile) {
  for (const std::string& folder : {dir_.Path(), dir_.DeepFolder(280)}) {
    const std::string path = Copy("wl_version_other", folder);
    FileVersionInfo info;
    ASSERT_TRUE(ReadFileVersionInfo(path, "WOW Version", info)) << path;
    EXPECT_EQ(info.companyName, "Fr\xC3\xBChling \xE6\x97\xA5\xE6\x9C\xAC GmbH");
    EXPECT_EQ(info.fileDescription, "Version test program");
    EXPECT_EQ(info.fileVersion, "1.2.3.4");
    EXPECT_EQ(info.internalName, "vertest");
    EXPECT_EQ(info.legalCopyright, "Copyright \xC2\xA9 Test");
    EXPECT_EQ(info.legalTrademarks, "TM Test");
    EXPECT_EQ(info.originalFileName, "vertest.exe");
    EXPECT_EQ(info.productName, "Test \xE6\x97\xA5\xE6\x9C\xAC Pr\xC3\xB6");
    EXPECT_EQ(info.productVersion, "5.6.7.8");
    EXPECT_EQ(info.comments, "Comment text");
    EXPECT_EQ(info.extraValue, "wow-1");
    ASSERT_TRUE(info.fixedInfo);
    EXPECT_EQ(info.fixedInfo->dwFileVersionMS, 0x00010002u);
    EXPECT_EQ(info.fixedInfo->dwFileVersionLS, 0x00030004u);
    EXPECT_EQ(info.fixedInfo->dwProductVersionMS, 0x00050006u);

    // The numbered fields, 0 to 10.
    const char* expected[] = {"Comment text", "Fr\xC3\xBChling \xE6\x97\xA5\xE6\x9C\xAC GmbH", "Version test program",
                              "1.2.3.4", "vertest", "Copyright \xC2\xA9 Test", "TM Test", "vertest.exe",
                              "Test \xE6\x97\xA5\xE6\x9C\xAC Pr\xC3\xB6", "5.6.7.8", "wow-1"};
    for (int field = 0; field <= 10; ++field) EXPECT_EQ(GetFileVersionText(path, field), expected[field]) << field;
    EXPECT_EQ(GetFileVersionText(path, 11), "");
    EXPECT_EQ(GetFileVersionText(path, -1), "");
  }
}

TEST_F(VersionInfoTest, AFileWithoutVersionInformationHasEveryFieldEmpty) {
  const std::string path = Copy("wl_version_none", dir_.Path());
  FileVersionInfo info;
  info.companyName = "stale";
  EXPECT_FALSE(ReadFileVersionInfo(path, "WOW Version", info));
  EXPECT_EQ(info.companyName, "");
  EXPECT_FALSE(info.fixedInfo);
  for (int field = 0; field <= 10; ++field) EXPECT_EQ(GetFileVersionText(path, field), "") << field;
  EXPECT_EQ(AnalyzeFile(path), "Distrustful File");

  // Missing, empty, damaged and cut-short files: no information, no crash.
  EXPECT_FALSE(ReadFileVersionInfo(dir_.Path() + "\\missing.exe", "", info));
  EXPECT_FALSE(ReadFileVersionInfo("", "", info));
  WriteFileAt(dir_.Path() + "\\garbage.exe", std::string("MZ") + std::string(600, '\xFF'));
  EXPECT_FALSE(ReadFileVersionInfo(dir_.Path() + "\\garbage.exe", "", info));
  const std::string whole = test::ReadBytes(TestProgram("wl_version_microsoft"));
  for (std::size_t cut : {whole.size() / 2, whole.size() - 200, whole.size() - 1}) {
    WriteFileAt(dir_.Path() + "\\cut.exe", whole.substr(0, cut));
    ReadFileVersionInfo(dir_.Path() + "\\cut.exe", "WOW Version", info);  // whatever it finds, it returns
    EXPECT_EQ(AnalyzeFile(dir_.Path() + "\\cut.exe") == "Windows System File", info.companyName == "Microsoft Corporation");
  }
}

TEST_F(VersionInfoTest, AnalyzeFileTrustsOnlyTheExactCompanyName) {
  const std::string ms = Copy("wl_version_microsoft", dir_.Path());
  EXPECT_EQ(GetFileVersionText(ms, kCompanyName), "Microsoft Corporation");
  EXPECT_EQ(AnalyzeFile(ms), "Windows System File");
  // Command forms are reduced to the program first.
  EXPECT_EQ(AnalyzeFile("\"" + ms + "\" /service"), "Windows System File");
  EXPECT_EQ(AnalyzeFile(ms + " -k netsvcs"), "Windows System File");

  const std::string blank = Copy("wl_version_microsoft_blank", dir_.Path());
  EXPECT_EQ(GetFileVersionText(blank, kCompanyName), "Microsoft Corporation ");
  EXPECT_EQ(AnalyzeFile(blank), "Distrustful File");
  EXPECT_EQ(AnalyzeFile(Copy("wl_version_other", dir_.Path())), "Distrustful File");
  EXPECT_EQ(AnalyzeFile(dir_.Path() + "\\missing.exe"), "Distrustful File");
  EXPECT_EQ(AnalyzeFile(""), "Distrustful File");

  // The strings of a file whose first listed language has none, and of one
  // that lists no language at all.
  EXPECT_EQ(AnalyzeFile(Copy("wl_version_second_language", dir_.Path())), "Windows System File");
  EXPECT_EQ(AnalyzeFile(Copy("wl_version_no_translation", dir_.Path())), "Windows System File");

  // A real path holding " -" and "," names the file it names.
  const std::string odd = dir_.Folder("OneDrive - Firma, Inc");
  EXPECT_EQ(AnalyzeFile(Copy("wl_version_microsoft", odd)), "Windows System File");
  // So does a long one.
  EXPECT_EQ(AnalyzeFile(Copy("wl_version_microsoft", dir_.DeepFolder(300))), "Windows System File");

  // The system's own libraries, named the way services name them.
  EXPECT_EQ(AnalyzeFile(GetWindowsDir() + "\\system32\\kernel32.dll"), "Windows System File");
  EXPECT_EQ(AnalyzeFile("%SystemRoot%\\system32\\kernel32.dll"), "Windows System File");
}

}  // namespace
}  // namespace wl
