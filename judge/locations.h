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

// The same, the folders prepared once for many paths.
class PlaceIndex {
 public:
  explicit PlaceIndex(const KnownFolders& folders);
  Place Classify(std::string_view path) const;

 private:
  std::string windows_, programData_, profiles_;  // as ComparablePath gives them
  std::vector<std::string> temp_, programFiles_, writableInWindows_;
  std::vector<std::vector<std::string>> windowsInProgramFiles_;  // per Program Files folder
};

// Whether path lies in folder or below it (path boundaries respected).
bool PathIsUnder(std::string_view path, std::string_view folder);

// The path as ClassifyPlace compares it: backslashes, no "\\?\" prefix, no
// doubled or trailing separators, ASCII lower case.
std::string ComparablePath(std::string_view path);

// A full path as Windows' path layer makes it before the file system sees
// it: "/" as "\", doubled separators as one, "." and ".." segments resolved
// (never above the drive or share), trailing dots and blanks dropped from
// each segment. Relative paths and "\\?\" or "\\.\" paths are returned as
// they are (the layer passes the latter on untouched). Case is kept.
std::string LexicalPath(std::string_view path);

// A path the system gives for an opened file ("\\?\C:\x", "\\?\UNC\s\x")
// as a plain path ("C:\x", "\\s\x").
std::string PlainFinalPath(std::string_view finalPath);

// The file or folder a path names an alternate data stream of
// ("C:\Windows\Tracing:x.dll" -> "C:\Windows\Tracing"); empty when it
// names no stream (a drive's colon is none).
std::string StreamHostOf(std::string_view path);

// Whether a program named like a Windows program (fileName, lower case)
// lies in one of the places Windows installs that program outside the
// Windows folder (Edge under Program Files, OneDrive in a profile's local
// application data, Defender's platform folder in ProgramData, the
// packaged applications' folder …).
bool InWindowsProgramHome(std::string_view fileName, std::string_view path, const KnownFolders& folders);

}  // namespace wl
