// UTF-8 inside, UTF-16 only at the Win32 call.
#pragma once

#include <string>
#include <string_view>

namespace wl::win32 {

// Never fail. Bytes that form no character become U+FFFD. A lone surrogate
// (legal in Windows file, key and value names) travels in the generalised
// 3-byte form, so Widen(Narrow(name)) == name for every name the system
// gives: a routine handed such a name back acts on that very item.
std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);

// Bytes in a Windows code page (a UINT code page number such as 936) as
// UTF-16. Never loses the text: when the system cannot convert the bytes
// (the code page is missing, or it finds nothing to convert), each byte
// becomes the character of the same number (U+0000 to U+00FF).
std::wstring FromCodePage(std::string_view bytes, unsigned codePage);

}  // namespace wl::win32
