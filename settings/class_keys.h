// Keys under HKEY_CLASSES_ROOT as the settings tables name them: with a
// leading backslash ("\regedit\shell\open\command").
#pragma once

#include <string>

namespace wl {

// The path to open under HKEY_CLASSES_ROOT: without the leading and any
// trailing backslashes.
std::string ClassKeyPath(const std::string& key);

// The key's default value as the lists show any value; empty when the key
// or the value is missing, or when the key names the root itself.
std::string ClassKeyDefaultText(const std::string& key);

}  // namespace wl
