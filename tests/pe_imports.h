// The DLL names a 64-bit program's import tables name: the ordinary import
// directory (resolved by the loader before the program runs) and the
// delay-import directory (loaded by the program's first call).
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace wl::test {

struct PeImports {
  std::vector<std::string> imported;      // lower case, as the table spells them otherwise
  std::vector<std::string> delayLoaded;   // lower case
};

// nullopt when the bytes are not a PE32+ image this reader understands.
std::optional<PeImports> ReadPeImports(const std::string& bytes);

}  // namespace wl::test
