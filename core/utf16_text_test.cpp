#include "core/utf16_text.h"

#include <gtest/gtest.h>

namespace wl {
namespace {

TEST(Utf16Text, ValidTextConvertsAsStandardUtf8) {
  const std::u16string wide = u"a\u00E4\u65E5\U0001F600z";
  const std::string utf8 = "a\xC3\xA4\xE6\x97\xA5\xF0\x9F\x98\x80z";
  EXPECT_EQ(Utf8FromUtf16(wide), utf8);
  EXPECT_EQ(Utf16FromUtf8(utf8), wide);
  EXPECT_EQ(Utf8FromUtf16(u""), "");
  EXPECT_EQ(Utf16FromUtf8(""), u"");
  // An embedded zero is a character like any other.
  EXPECT_EQ(Utf16FromUtf8(std::string("a\0b", 3)), std::u16string(u"a\0b", 3));
}

TEST(Utf16Text, LoneSurrogatesComeBackUnchanged) {
  const std::u16string names[] = {
      std::u16string(1, char16_t(0xD800)),
      std::u16string(u"x") + char16_t(0xDC00) + u"y",
      std::u16string(1, char16_t(0xDBFF)) + char16_t(0xDBFF) + char16_t(0xDFFF),  // lone lead, then a pair
      std::u16string(1, char16_t(0xDFFF)) + char16_t(0xD800),                    // trail before lead: two lone ones
  };
  for (const auto& name : names) {
    const std::string utf8 = Utf8FromUtf16(name);
    EXPECT_EQ(Utf16FromUtf8(utf8), name);
  }
  EXPECT_EQ(Utf8FromUtf16(std::u16string(1, char16_t(0xD800))), "\xED\xA0\x80");
}

TEST(Utf16Text, BrokenBytesBecomeOneReplacementEach) {
  EXPECT_EQ(Utf16FromUtf8("\xFF"), u"\uFFFD");
  EXPECT_EQ(Utf16FromUtf8("a\x80z"), u"a\uFFFDz");
  EXPECT_EQ(Utf16FromUtf8("\xC3"), u"\uFFFD");                   // cut off at the end
  EXPECT_EQ(Utf16FromUtf8("\xE6\x97z"), u"\uFFFDz");             // cut off before a letter
  EXPECT_EQ(Utf16FromUtf8("\xC0\xAF"), u"\uFFFD\uFFFD");         // overlong "/": never a separator
  EXPECT_EQ(Utf16FromUtf8("\xE0\x80\xAF"), u"\uFFFD\uFFFD\uFFFD");
  EXPECT_EQ(Utf16FromUtf8("\xF4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD");  // above U+10FFFF
  EXPECT_EQ(Utf16FromUtf8("\xF0\x9F\x98"), u"\uFFFD");
}

}  // namespace
}  // namespace wl
