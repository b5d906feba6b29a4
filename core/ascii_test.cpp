#include "core/ascii.h"

#include <gtest/gtest.h>

namespace wl {
namespace {

// Only A-Z and a-z change; UTF-8 bytes and the characters next to the letter
// ranges ('@', '[', '`', '{') stay as they are.
TEST(Ascii, CaseChangesTouchOnlyAsciiLetters) {
  EXPECT_EQ(AsciiLower("C:\\Program Files\\@[`{Z]"), "c:\\program files\\@[`{z]");
  EXPECT_EQ(AsciiUpper("c:\\windows\\@[`{a]"), "C:\\WINDOWS\\@[`{A]");
  const std::string umlaut = "\xC3\x84rger \xC3\xA4";  // "Ärger ä" in UTF-8
  EXPECT_EQ(AsciiLower(umlaut), "\xC3\x84rger \xC3\xA4");
  EXPECT_EQ(AsciiUpper(umlaut), "\xC3\x84RGER \xC3\xA4");
  EXPECT_EQ(AsciiLower('Q'), 'q');
  EXPECT_EQ(AsciiUpper('\xE4'), '\xE4');
  EXPECT_EQ(AsciiLower(std::string_view()), "");
}

TEST(Ascii, ComparisonsIgnoreOnlyAsciiCase) {
  EXPECT_TRUE(EqualsNoCase("HKEY_Local_Machine", "hkey_local_machine"));
  EXPECT_FALSE(EqualsNoCase("abc", "abcd"));
  EXPECT_FALSE(EqualsNoCase("@", "`"));  // 0x40 and 0x60 differ by the case bit but are no letters
  EXPECT_FALSE(EqualsNoCase("\xC3\x84", "\xC3\xA4"));
  EXPECT_TRUE(StartsWithNoCase("HTTPS://example", "https://"));
  EXPECT_FALSE(StartsWithNoCase("http", "https://"));
  EXPECT_TRUE(StartsWithNoCase("anything", ""));
  EXPECT_TRUE(EndsWithNoCase("Shortcut.LNK", ".lnk"));
  EXPECT_FALSE(EndsWithNoCase("lnk", ".lnk"));
  EXPECT_TRUE(ContainsNoCase("Signed by MICROSOFT Corporation", "microsoft"));
  EXPECT_FALSE(ContainsNoCase("Micro soft", "microsoft"));
  EXPECT_TRUE(ContainsNoCase("x", ""));
  EXPECT_EQ(FindNoCase("aXbXc", "x", 2), 3u);
  EXPECT_EQ(FindNoCase("short", "longer text"), std::string_view::npos);
  static_assert(EqualsNoCase("Abc", "aBC"));
}

}  // namespace
}  // namespace wl
