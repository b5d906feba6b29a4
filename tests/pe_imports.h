// The DLL names a 64-bit program's image holds: its ordinary import
// directory (resolved by the loader before the program runs), and every DLL
// file name written in its code and data sections - the names of its
// delay-loaded DLLs (GNU ld leaves the delay-import directory empty; the
// delay-load descriptors name their DLLs in plain text) and of DLLs it loads
// by name.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace wl::test {

struct PeImports {
  std::vector<std::string> imported;      // lower case, as the table spells them otherwise
  std::vector<std::string> named;         // lower case, each once: "*.dll" texts outside the debug sections
};

// nullopt when the bytes are not a PE32+ image this reader understands.
std::optional<PeImports> ReadPeImports(const std::string& bytes);

}  // namespace wl::test
