// Whether a file carries a signature of its own, told from its bytes before
// the system's verifier is asked: a program's certificate table (the PE
// security directory), a script's signature block, an installer package's
// signature stream. A file without one is only looked up in the catalogs.
// Portable.
#pragma once

#include <cstdint>
#include <string_view>

namespace wl {

enum class SignatureMark {
  None,      // nothing of a signature: not signed by itself
  Present,   // it carries one: the verifier decides
  Unknown,   // a kind the marks cannot tell: the verifier decides
};

// head: the file's first bytes (at least the headers: 64 KiB is plenty),
// tail: its last bytes (a script's signature block ends the file), size: the
// whole file's size.
SignatureMark SignatureMarkOf(std::string_view head, std::string_view tail, std::uint64_t size);

}  // namespace wl
