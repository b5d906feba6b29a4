// File paths at the Win32 call: UTF-8 in, a UTF-16 path the W APIs accept
// out, also when it is longer than MAX_PATH.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace wl::win32 {

// The path for a W file API. A full path of MAX_PATH characters or more gets
// the "\\?\" (or "\\?\UNC\") prefix after normalisation, so it is neither cut
// nor refused; shorter and relative paths are passed as they are.
std::wstring ApiPath(std::string_view utf8Path);
// A path the system gave back without the "\\?\" (or "\\?\UNC\") prefix.
std::wstring WithoutLongPrefix(std::wstring path);

// File attributes, INVALID_FILE_ATTRIBUTES when the path names nothing.
DWORD FileAttributes(std::string_view utf8Path);
bool FileExists(std::string_view utf8Path);       // a file, not a folder
bool DirectoryExists(std::string_view utf8Path);  // a folder

// The 8.3 form of an existing path (any length), empty when the system has
// none for it.
std::string ShortPath(std::string_view utf8Path);

// Where the root of a full path ends: the index of the backslash after the
// drive ("C:") or the share ("\\server\share"), "\\?\" forms included;
// npos when there is none.
std::size_t PathRootEnd(std::string_view utf8Path);

// The path with each part that exists spelled as it is stored: its own case
// and its long name ("C:\PROGRA~1\APP.EXE" → "C:\Program Files\App.exe").
// The drive or share and parts that do not exist stay as given.
std::string StoredPath(std::string_view utf8Path);

}  // namespace wl::win32
