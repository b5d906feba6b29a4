// The whole registry as sorted text lines, to tell whether something changed
// it: "path" for a key and "path\tname\ttype\thex bytes" for a value.
#pragma once

#include <string>
#include <vector>

namespace wl::test {

// HKEY_LOCAL_MACHINE and HKEY_USERS, every key and value, sorted (Wine sorts
// what it enumerates, Windows does not). Keys the system keeps while programs
// run (the service manager's ServiceCurrent) are left out; a key that cannot
// be opened is a line of its own.
std::vector<std::string> DumpRegistry();

// What one dump has that the other has not, at most a few lines of each.
std::string RegistryDifference(const std::vector<std::string>& before, const std::vector<std::string>& after);

}  // namespace wl::test
