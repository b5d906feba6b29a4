#include "win32/unicode.h"

#include "core/utf16_text.h"

namespace wl::win32 {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide characters are 16-bit units");

std::wstring Widen(std::string_view utf8) {
  const std::u16string wide = Utf16FromUtf8(utf8);
  return std::wstring(wide.begin(), wide.end());
}

std::string Narrow(std::wstring_view utf16) {
  return Utf8FromUtf16(std::u16string(utf16.begin(), utf16.end()));
}

}  // namespace wl::win32
