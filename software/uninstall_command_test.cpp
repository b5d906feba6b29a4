#include "software/uninstall_command.h"

#include <gtest/gtest.h>

namespace wl {
namespace {

TEST(SoftwareText, HelpInfoAndHeader) {
  EXPECT_EQ(SoftwareHelpInfo("Acme", "http://acme.example/help"), "Acme  (http://acme.example/help)");
  EXPECT_EQ(SoftwareHelpInfo("", "http://h"), "  (http://h)");
  EXPECT_EQ(SoftwareHelpInfo("Acme", ""), "Acme");
  EXPECT_EQ(SoftwareHelpInfo("", ""), "");
  EXPECT_EQ(SoftwareListHeader(0), "Installed Software (Total 0)");
  EXPECT_EQ(SoftwareListHeader(42), "Installed Software (Total 42)");
}

void ExpectSplit(std::string_view command, const std::string& program, const std::string& parameters,
                 bool whole = false) {
  const UninstallLaunch l = SplitUninstallCommand(command);
  EXPECT_EQ(l.program, program) << command;
  EXPECT_EQ(l.parameters, parameters) << command;
  EXPECT_EQ(l.wholeCommand, whole) << command;
}

TEST(SplitUninstallCommand, CutsAfterTheExtensionAndTheCharacterAfterIt) {
  ExpectSplit("\"C:\\Program Files\\App\\uninst.exe\" /S", "\"C:\\Program Files\\App\\uninst.exe\"", "/S");
  ExpectSplit("C:\\App\\uninst.exe", "C:\\App\\uninst.exe", "");
  ExpectSplit("C:\\App\\UNINST.EXE", "C:\\App\\UNINST.EXE", "");
  ExpectSplit("C:\\Program Files\\App\\uninst.exe /S /x", "C:\\Program Files\\App\\uninst.exe", "/S /x");
  // The later of the first lower-case and the first upper-case form wins.
  ExpectSplit("C:\\a.exe\\B.EXE -x", "C:\\a.exe\\B.EXE", "-x");
  ExpectSplit("C:\\A.EXE\\b.exe -x", "C:\\A.EXE\\b.exe", "-x");
  ExpectSplit("MsiExec.exe /X{1234}", "MsiExec.exe", "/X{1234}");
  ExpectSplit("  C:\\App\\uninst.exe  /S", "C:\\App\\uninst.exe", "/S");
}

TEST(SplitUninstallCommand, OtherLetterCasesAndNoExtension) {
  ExpectSplit("MsiExec.Exe /X{1234}", "MsiExec.Exe", "/X{1234}");
  ExpectSplit("\"C:\\App\\Setup.eXe\" -remove", "\"C:\\App\\Setup.eXe\"", "-remove");
  ExpectSplit("rundll32 shell32.dll,Control_RunDLL appwiz.cpl", "rundll32 shell32.dll,Control_RunDLL appwiz.cpl", "",
              true);
  ExpectSplit("  C:\\App\\remove.bat  ", "C:\\App\\remove.bat", "", true);
  ExpectSplit("", "", "", true);
  // Too short to hold the extension's trailing character: nothing is cut past the end.
  ExpectSplit(".exe", ".exe", "");
}

TEST(SoftwareText, TextBeforeLastBackslash) {
  EXPECT_EQ(TextBeforeLastBackslash("\"C:\\Program Files\\App\\uninst.exe\" /S"), "\"C:\\Program Files\\App");
  EXPECT_EQ(TextBeforeLastBackslash("MsiExec.exe /X{1}"), "");
  EXPECT_EQ(TextBeforeLastBackslash("\\x"), "");
}

}  // namespace
}  // namespace wl
