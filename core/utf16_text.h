// UTF-8 <-> UTF-16 without loss. Windows names (files, registry keys and
// values) are sequences of 16-bit units that need not be valid UTF-16: a lone
// surrogate is a legal name character there, and a name must come back
// exactly as the system gave it, or a later call would act on nothing or on
// something else. Lone surrogates therefore travel in the generalised 3-byte
// form (as in WTF-8); valid text converts exactly as standard UTF-8.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace wl {

// Every 16-bit sequence converts, and Utf16FromUtf8 gives it back unchanged.
std::string Utf8FromUtf16(std::u16string_view text);
// Appends one code point (at most 0x10FFFF) as UTF-8.
void AppendUtf8(std::string& out, std::uint32_t cp);

// Bytes that form no character become U+FFFD (one per broken sequence);
// 3-byte forms of surrogates become those 16-bit units.
std::u16string Utf16FromUtf8(std::string_view text);

}  // namespace wl
