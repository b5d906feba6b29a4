#include "sysroutines/text_routines.h"

#include <gtest/gtest.h>

namespace wl {
namespace {

const std::string kWinDir = "C:\\Windows";

std::string Extract(std::string_view text) { return ExtractExecutablePath(text, kWinDir); }

TEST(ExtractExecutablePath, NormalisesTheUsualCommandForms) {
  // Driver paths: "\SystemRoot" becomes the Windows directory (then upper-cased
  // with the rest); "%SystemRoot%" becomes it as the system gives it.
  EXPECT_EQ(Extract("\\SystemRoot\\System32\\drivers\\beep.sys"), "C:\\WINDOWS\\SYSTEM32\\DRIVERS\\BEEP.SYS");
  EXPECT_EQ(Extract("\\systemroot\\system32\\x.sys"), "C:\\WINDOWS\\SYSTEM32\\X.SYS");
  EXPECT_EQ(Extract("%SystemRoot%\\system32\\svchost.exe -k netsvcs"), "C:\\Windows\\SYSTEM32\\SVCHOST.EXE");
  EXPECT_EQ(Extract("\\??\\C:\\Program Files\\Agent\\agent.sys"), "C:\\PROGRAM FILES\\AGENT\\AGENT.SYS");
  // Switches after "/" or " -" go, with the quotes.
  EXPECT_EQ(Extract("\"C:\\Program Files\\App\\app.exe\" /background"), "C:\\PROGRAM FILES\\APP\\APP.EXE");
  EXPECT_EQ(Extract("\"C:\\Program Files\\App\\app.exe\" -tray"), "C:\\PROGRAM FILES\\APP\\APP.EXE");
  EXPECT_EQ(Extract("C:\\Tools\\run.exe -silent"), "C:\\TOOLS\\RUN.EXE");
  // A dash inside a folder name without a blank before it stays.
  EXPECT_EQ(Extract("C:\\my-tools\\x-ray.exe"), "C:\\MY-TOOLS\\X-RAY.EXE");
  // A rundll32 command gives the two file names before the comma.
  EXPECT_EQ(Extract("rundll32.exe shell32.dll,Control_RunDLL"), "RUNDLL32.EXE SHELL32.DLL");
  // Association commands: "%1" goes.
  EXPECT_EQ(Extract("C:\\Windows\\notepad.exe %1"), "C:\\WINDOWS\\NOTEPAD.EXE");
  EXPECT_EQ(Extract("\"C:\\Editor\\ed.exe\" \"%1\""), "C:\\EDITOR\\ED.EXE");
  // An unquoted path's arguments without "/", "," or " -" stay.
  EXPECT_EQ(Extract("C:\\a.exe start"), "C:\\A.EXE START");
}

TEST(ExtractExecutablePath, AQuotedPathIsTakenWhole) {
  // What stands inside the quotes is the path, separators included.
  EXPECT_EQ(Extract("\"C:\\Program Files\\Foo - Bar\\foo.exe\" -min"), "C:\\PROGRAM FILES\\FOO - BAR\\FOO.EXE");
  EXPECT_EQ(Extract("\"C:\\Program Files\\Acme, Inc\\acme.exe\",1"), "C:\\PROGRAM FILES\\ACME, INC\\ACME.EXE");
  EXPECT_EQ(Extract("\"C:/Tools/tool.exe\""), "C:/TOOLS/TOOL.EXE");
  // Plain arguments after the closing quote are not part of the path.
  EXPECT_EQ(Extract("  \"C:\\Program Files\\App\\app.exe\" update now"), "C:\\PROGRAM FILES\\APP\\APP.EXE");
  EXPECT_EQ(Extract("\"\\??\\C:\\x.exe\""), "C:\\X.EXE");
  // An unclosed quote is stripped like any other blank or quote.
  EXPECT_EQ(Extract("\"C:\\App\\app.exe /x"), "C:\\APP\\APP.EXE");
  EXPECT_EQ(Extract("\"\""), "");
}

TEST(ExtractExecutablePath, OddInputGivesASoundPath) {
  EXPECT_EQ(Extract(""), "");
  EXPECT_EQ(Extract("   \t "), "");
  EXPECT_EQ(Extract(" \" \" "), "");
  EXPECT_EQ(Extract("/s"), "");
  // "!" belongs to names: a folder is not cut short.
  EXPECT_EQ(Extract("\"C:\\Program Files\\Yahoo!\""), "C:\\PROGRAM FILES\\YAHOO!");
  // Non-ASCII letters keep their bytes (and their case); nothing is stripped
  // from a name that ends in one.
  EXPECT_EQ(Extract("c:\\pr\xC3\xB6gramme\\\xE6\x97\xA5\xE6\x9C\xAC"), "C:\\PR\xC3\xB6GRAMME\\\xE6\x97\xA5\xE6\x9C\xAC");
  EXPECT_EQ(Extract("\xC3\xA4\\b.exe /x"), "\xC3\xA4\\B.EXE");
  // Long paths are neither cut nor padded.
  const std::string longPath = "C:\\" + std::string(300, 'D') + "\\PROG.EXE";
  EXPECT_EQ(Extract(longPath + " /run"), longPath);
  // Every occurrence goes, also in a value made of nothing else.
  std::string many;
  for (int i = 0; i < 1000; ++i) many += "%1%SystemRoot%\\";
  std::string expected;
  for (int i = 0; i < 1000; ++i) expected += "C:\\Windows\\";
  EXPECT_TRUE(Extract(many) == expected);
  // "\SystemRoot" only counts at the start and as a whole folder name.
  EXPECT_EQ(Extract("D:\\SystemRoot\\x.exe"), "D:\\SYSTEMROOT\\X.EXE");
  EXPECT_EQ(Extract("\\SystemRootKit\\x.exe"), "\\SYSTEMROOTKIT\\X.EXE");
  EXPECT_EQ(Extract("\\SystemRoot"), "C:\\WINDOWS");
  // Without a Windows directory the system-root forms stay (they never
  // become a path on the current drive's root).
  EXPECT_EQ(ExtractExecutablePath("\\SystemRoot\\a.sys", ""), "\\SYSTEMROOT\\A.SYS");
  EXPECT_EQ(ExtractExecutablePath("%SystemRoot%\\a.exe", ""), "%SYSTEMROOT%\\A.EXE");
  // A Windows directory at a drive root does not double the backslash.
  EXPECT_EQ(ExtractExecutablePath("%SystemRoot%\\a.exe", "C:\\"), "C:\\A.EXE");
  EXPECT_EQ(ExtractExecutablePath("\\SystemRoot\\a.sys", "C:\\"), "C:\\A.SYS");
}

TEST(TrimUpToChar, StripsCodesUpToTheLimitAtBothEnds) {
  EXPECT_EQ(TrimUpToChar(" \t\"C:\\a b.exe\"\r\n", '"'), "C:\\a b.exe");
  EXPECT_EQ(TrimUpToChar("!x!", '"'), "x");
  EXPECT_EQ(TrimUpToChar("!x!", ' '), "!x!");
  EXPECT_EQ(TrimUpToChar("   ", ' '), "");
  EXPECT_EQ(TrimUpToChar("", ' '), "");
  // Non-ASCII bytes are never stripped, even with a limit above them.
  EXPECT_EQ(TrimUpToChar(" \xC3\xA4 ", '\x7F'), "\xC3\xA4");
  EXPECT_EQ(TrimUpToChar("a\xC3\xA4", static_cast<char>(0xFF)), "\xC3\xA4");
}

TEST(SplitText, CutsAtEverySeparatorKeepingEmptyParts) {
  EXPECT_EQ(SplitText("a,b,,c", ","), (std::vector<std::string>{"a", "b", "", "c"}));
  EXPECT_EQ(SplitText(",a,", ","), (std::vector<std::string>{"", "a", ""}));
  EXPECT_EQ(SplitText("abc", ","), (std::vector<std::string>{"abc"}));
  EXPECT_EQ(SplitText("", ","), (std::vector<std::string>{""}));
  EXPECT_EQ(SplitText("a\r\nb\r\n", "\r\n"), (std::vector<std::string>{"a", "b", ""}));
  EXPECT_EQ(SplitText("a,b", ""), (std::vector<std::string>{"a,b"}));
  EXPECT_EQ(SplitText("\xC3\xA4;\xE6\x97\xA5", ";"), (std::vector<std::string>{"\xC3\xA4", "\xE6\x97\xA5"}));
}

TEST(TextBeforeAndAfter, ByCharacter) {
  EXPECT_EQ(TextBeforeChar("C:\\dir\\a.exe", '\\'), "C:");
  EXPECT_EQ(TextBeforeChar("no backslash", '\\'), "");
  EXPECT_EQ(TextBeforeChar("", '\\'), "");
  EXPECT_EQ(TextBeforeChar("\\lead", '\\'), "");
  EXPECT_EQ(TextAfterLastChar("C:\\dir\\a.exe -x", '\\'), "a.exe -x");
  EXPECT_EQ(TextAfterLastChar("no backslash", '\\'), "no backslash");
  EXPECT_EQ(TextAfterLastChar("C:\\dir\\", '\\'), "");
  EXPECT_EQ(TextAfterLastChar("C:\\d\xC3\xA4\\\xE6\x97\xA5.exe", '\\'), "\xE6\x97\xA5.exe");
}

TEST(TextBeforeAndAfter, ByCountNeverCuttingACharacter) {
  EXPECT_EQ(TextBeforeChar("abcdef", CharCount{3}), "abc");
  EXPECT_EQ(TextBeforeChar("ab", CharCount{10}), "ab");
  EXPECT_EQ(TextBeforeChar("ab", CharCount{0}), "");
  EXPECT_EQ(TextAfterLastChar("abcdef", CharCount{2}), "ef");
  EXPECT_EQ(TextAfterLastChar("ab", CharCount{10}), "ab");
  EXPECT_EQ(TextAfterLastChar("ab", CharCount{0}), "");
  // "a" + a two-byte letter + a three-byte letter.
  const std::string mixed = "a\xC3\xA4\xE6\x97\xA5";
  EXPECT_EQ(TextBeforeChar(mixed, CharCount{2}), "a");
  EXPECT_EQ(TextBeforeChar(mixed, CharCount{3}), "a\xC3\xA4");
  EXPECT_EQ(TextBeforeChar(mixed, CharCount{5}), "a\xC3\xA4");
  EXPECT_EQ(TextAfterLastChar(mixed, CharCount{2}), "");
  EXPECT_EQ(TextAfterLastChar(mixed, CharCount{4}), "\xE6\x97\xA5");
  EXPECT_EQ(TextAfterLastChar(mixed, CharCount{5}), "\xC3\xA4\xE6\x97\xA5");
}

TEST(FindCharFromEnd, CountsOccurrencesFromTheEnd) {
  const std::string path = "C:\\a\\b\\c.exe";  // backslashes at 3, 5, 7 (1-based)
  EXPECT_EQ(FindCharFromEnd(path, '\\', 1), 7u);
  EXPECT_EQ(FindCharFromEnd(path, '\\', 2), 5u);
  EXPECT_EQ(FindCharFromEnd(path, '\\', 3), 3u);
  EXPECT_EQ(FindCharFromEnd(path, '\\', 4), 0u);
  EXPECT_EQ(FindCharFromEnd(path, '\\', 0), 0u);
  EXPECT_EQ(FindCharFromEnd("", '\\', 1), 0u);
  EXPECT_EQ(FindCharFromEnd("\\", '\\', 1), 1u);
  // Positions are byte positions, usable with the count forms above.
  const std::string mixed = "\xC3\xA4\\x";
  const std::size_t pos = FindCharFromEnd(mixed, '\\', 1);
  EXPECT_EQ(pos, 3u);
  EXPECT_EQ(TextBeforeChar(mixed, CharCount{pos - 1}), "\xC3\xA4");
}

TEST(IsFullPath, OnlyDriveAndNetworkPaths) {
  EXPECT_TRUE(IsFullPath("C:\\a.exe"));
  EXPECT_TRUE(IsFullPath("z:/a"));
  EXPECT_TRUE(IsFullPath("\\\\server\\share\\a.exe"));
  EXPECT_TRUE(IsFullPath("\\\\?\\C:\\a.exe"));
  EXPECT_FALSE(IsFullPath("C:a.exe"));
  EXPECT_FALSE(IsFullPath("a.exe"));
  EXPECT_FALSE(IsFullPath("\\a.exe"));
  EXPECT_FALSE(IsFullPath("\\\\\\x"));
  EXPECT_FALSE(IsFullPath(""));
  EXPECT_FALSE(IsFullPath("1:\\x"));
}

}  // namespace
}  // namespace wl
