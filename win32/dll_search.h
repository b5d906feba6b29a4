// Where this process may load DLLs from. A repair tool is often started from
// a downloads folder, as administrator, on a machine where unwanted software
// can write into that folder, the current folder and the user's profile: no
// DLL may come from any of them.
#pragma once

#include <windows.h>

namespace wl::win32 {

// Restricts every later DLL load of the process to the system folder: the
// program's folder, the current folder and PATH are no longer searched, and
// the current folder is searched only after the system folders by
// SearchPath. Both programs run it before anything else (it also runs from a
// static constructor, before the C++ run-time's other initialisers). Safe to
// call more than once; true when the system accepted the restriction.
bool RestrictDllSearchToSystem();

// True once RestrictDllSearchToSystem succeeded in this process.
bool DllSearchRestricted();

// A DLL from the system folder only (never searched elsewhere); null with
// GetLastError set when it is not there.
HMODULE LoadSystemLibrary(const wchar_t* fileName);

}  // namespace wl::win32
