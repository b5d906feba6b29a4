// Wardenlake.exe
#include <windows.h>

#include "app/application.h"
#include "win32/dll_search.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // Before anything else: no DLL from the program's folder or the current
  // folder.
  wl::win32::RestrictDllSearchToSystem();
  return wl::app::WardenlakeMain();
}
