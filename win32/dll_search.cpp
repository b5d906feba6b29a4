#include "win32/dll_search.h"

#include <atomic>

namespace wl::win32 {

namespace {

std::atomic<bool> g_restricted{false};

// Runs before the other static initialisers of the program, so that none of
// them can be the first to load a delay-loaded DLL with the old search order.
__attribute__((constructor(101))) void RestrictEarly() { RestrictDllSearchToSystem(); }

}  // namespace

bool RestrictDllSearchToSystem() {
  // The program's folder and the current folder leave the search of every
  // LoadLibrary and delay-load that follows.
  const bool defaults = SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32) != FALSE;
  // Takes the current folder out of the legacy search as well (it matters if
  // a later component resets the default directories).
  const bool noCurrent = SetDllDirectoryW(L"") != FALSE;
  // SearchPath (and what is built on it) looks in the current folder last.
  SetSearchPathMode(BASE_SEARCH_PATH_ENABLE_SAFE_SEARCHMODE | BASE_SEARCH_PATH_PERMANENT);
  const bool ok = defaults && noCurrent;
  if (ok) g_restricted = true;
  return ok;
}

bool DllSearchRestricted() { return g_restricted; }

HMODULE LoadSystemLibrary(const wchar_t* fileName) {
  return LoadLibraryExW(fileName, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
}

}  // namespace wl::win32
