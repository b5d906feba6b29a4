// Where a file lies, as far as trust goes: in Windows' own folders, under
// Program Files (only administrators write there), in a folder any user may
// write (a program there may have been put there by anything the user ran),
// or elsewhere. Portable: the folders are given.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace wl {

struct KnownFolders {
  std::string windows;                    // "C:\Windows"
  std::vector<std::string> programFiles;  // "C:\Program Files", "C:\Program Files (x86)"
  std::string programData;                // "C:\ProgramData"
  std::string profiles;                   // "C:\Users": the users' own profile folders lie below it
  std::vector<std::string> temp;          // the user's and the system's temporary folders
};

enum class PlaceKind { Windows, ProgramFiles, UserWritable, Other };

struct Place {
  PlaceKind kind = PlaceKind::Other;
  // For UserWritable: which such folder, as the reasons say it ("a temporary
  // folder", "the user's AppData folder" …).
  std::string what;
};

// Paths compare without ASCII case; "/" counts as "\", and a "\\?\" prefix
// is ignored. Windows' folders are the Windows folder (less the folders in it
// that any user may write, such as "Temp" and "Tasks") and the folders
// Windows installs under Program Files ("Internet Explorer", "Windows NT" …).
Place ClassifyPlace(std::string_view path, const KnownFolders& folders);

// Whether path lies in folder or below it (path boundaries respected).
bool PathIsUnder(std::string_view path, std::string_view folder);

// The path as ClassifyPlace compares it: backslashes, no "\\?\" prefix, no
// doubled or trailing separators, ASCII lower case.
std::string ComparablePath(std::string_view path);

}  // namespace wl
