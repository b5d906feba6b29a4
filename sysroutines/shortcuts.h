// Shell shortcuts (.lnk files) and the two Startup folders.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

namespace wl {

struct ShortcutTarget {
  // The code of the last step tried: S_OK when the shortcut loaded and
  // resolved; the loading error; or the resolving code (a shortcut whose
  // target is gone loads but does not resolve).
  HRESULT result = E_FAIL;
  bool loaded = false;     // target and arguments below are valid
  std::string target;      // the target path as the shortcut stores it, any length
  std::string arguments;   // its arguments, any length
};

// Reads a shortcut file. It is resolved without user interface and without
// searching for a moved target, and it is never written back.
ShortcutTarget ResolveShortcut(std::string_view lnkPath);

struct StartupShortcut {
  std::string name;  // the file name without ".lnk"
  std::string text;  // target path, a blank, arguments (so it ends in a blank when there are none)
};

inline constexpr int kUserStartupFolder = 7;     // CSIDL_STARTUP
inline constexpr int kCommonStartupFolder = 24;  // CSIDL_COMMON_STARTUP

// The shortcuts in a Startup folder (kUserStartupFolder or
// kCommonStartupFolder), sorted by name. Every file ending in ".lnk" counts,
// hidden and system ones included (they start with Windows as well); a
// shortcut that cannot be read is listed with an empty target.
std::vector<StartupShortcut> ListStartupShortcuts(int folder);
// The shortcuts of any folder, the same way.
std::vector<StartupShortcut> ListShortcutsIn(std::string_view folderPath);

// The text of entry index of ListStartupShortcuts(folder); empty on any
// failure, an index out of range included.
std::string GetStartupShortcutText(int folder, int index);

}  // namespace wl
