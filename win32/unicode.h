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

}  // namespace wl::win32
