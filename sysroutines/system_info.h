// What the system says about itself: the Windows directory, special folders,
// the Windows version; and the program path of a command text, normalised
// against this system's Windows directory.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace wl {

// The Windows directory (e.g. "C:\Windows"), empty on failure.
std::string GetWindowsDir();

// ExtractExecutablePath of text with this system's Windows directory.
std::string ExtractExecutablePath(std::string_view text);

}  // namespace wl
