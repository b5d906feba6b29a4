// What the system says about itself: the Windows directory, special folders,
// the Windows version; and the program path of a command text, normalised
// against this system's Windows directory.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "sysroutines/windows_version.h"

namespace wl {

// The Windows directory (e.g. "C:\Windows"), empty on failure.
std::string GetWindowsDir();

// ExtractExecutablePath of text with this system's Windows directory.
std::string ExtractExecutablePath(std::string_view text);

// The program a text names: the text itself when it names an existing file
// as it stands (a real path may hold " -", "," or "/", which the command
// rules would cut), else ExtractExecutablePath of it.
std::string ResolveProgramPath(std::string_view text);

// The path of a special folder (CSIDL_STARTUP = 7, CSIDL_COMMON_STARTUP = 24,
// …), without a trailing backslash; empty when the folder has no path in the
// file system. owner may be null.
std::string GetSpecialFolderPath(HWND owner, int csidl);

// The system's version information as a program sees it (a compatibility
// shim may lower it), and its code (see windows_version.h). Every NT 6 and
// later system gives code 0.
WindowsVersionFacts QueryWindowsVersionFacts();
int GetWindowsVersionCode();
// The version the kernel reports (RtlGetVersion), which no compatibility shim
// changes, with the product type; QueryWindowsVersionFacts when that cannot
// be asked.
WindowsVersionFacts QueryRealWindowsVersionFacts();
// The name of the running Windows: WindowsVersionNameOf the real version.
std::string GetWindowsVersionName();

}  // namespace wl
