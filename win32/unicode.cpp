#include "win32/unicode.h"

#include <windows.h>

#include <algorithm>

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

std::wstring FromCodePage(std::string_view bytes, unsigned codePage) {
  if (bytes.empty()) return {};
  const int size = static_cast<int>(std::min<std::size_t>(bytes.size(), 0x7FFFFFFF));
  const int n = MultiByteToWideChar(codePage, 0, bytes.data(), size, nullptr, 0);
  if (n > 0) {
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    const int got = MultiByteToWideChar(codePage, 0, bytes.data(), size, out.data(), n);
    if (got > 0) {
      out.resize(static_cast<std::size_t>(got));
      return out;
    }
  }
  std::wstring out(bytes.size(), L'\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) out[i] = static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]));
  return out;
}

}  // namespace wl::win32
