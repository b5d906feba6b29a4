/* A stand-in toolbar server for the tests. Its DllUnregisterServer does what a
   real server's does to its toolbar: it deletes the Toolbar value named in
   "<its own path>.todo" (three lines: a key path under HKEY_LOCAL_MACHINE, the
   value name, and "32" or "64" for the registry view). It also appends one
   line to "<its own path>.marker": the command line of the process that
   unregistered it, a tab, and "hidden" or "shown" as the process was asked
   to show its window. */
#include <windows.h>

static HMODULE self;

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)reserved;
  if (reason == DLL_PROCESS_ATTACH) self = instance;
  return TRUE;
}

/* Its own path in long form (it may have been loaded by its 8.3 name), with
   the suffix. */
static BOOL OwnPathWith(const wchar_t* suffix, wchar_t* out, DWORD size) {
  wchar_t loaded[MAX_PATH];
  DWORD n = GetModuleFileNameW(self, loaded, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return FALSE;
  n = GetLongPathNameW(loaded, out, size - 16);
  if (n == 0 || n >= size - 16) return FALSE;
  lstrcatW(out, suffix);
  return TRUE;
}

/* Line number `index` (0-based) of text, without its line end, into out. */
static void LineOf(const char* text, int index, char* out, int size) {
  int line = 0, o = 0;
  for (const char* p = text; *p; ++p) {
    if (*p == '\n') {
      if (line == index) break;
      ++line;
      continue;
    }
    if (*p == '\r') continue;
    if (line == index && o < size - 1) out[o++] = *p;
  }
  out[o] = 0;
}

static void DeleteNamedValue(void) {
  wchar_t path[MAX_PATH + 32];
  if (!OwnPathWith(L".todo", path, MAX_PATH + 32)) return;
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
  if (file == INVALID_HANDLE_VALUE) return;
  char text[4096] = {0};
  DWORD got = 0;
  ReadFile(file, text, sizeof text - 1, &got, NULL);
  CloseHandle(file);
  char key[1024], name[1024], view[16];
  LineOf(text, 0, key, sizeof key);
  LineOf(text, 1, name, sizeof name);
  LineOf(text, 2, view, sizeof view);
  wchar_t wkey[1024], wname[1024];
  MultiByteToWideChar(CP_UTF8, 0, key, -1, wkey, 1024);
  MultiByteToWideChar(CP_UTF8, 0, name, -1, wname, 1024);
  REGSAM sam = KEY_SET_VALUE | (lstrcmpA(view, "32") == 0 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY);
  HKEY k;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, wkey, 0, sam, &k) == ERROR_SUCCESS) {
    RegDeleteValueW(k, wname);
    RegCloseKey(k);
  }
}

static void LeaveMark(void) {
  wchar_t path[MAX_PATH + 32];
  if (!OwnPathWith(L".marker", path, MAX_PATH + 32)) return;
  STARTUPINFOW si;
  GetStartupInfoW(&si);
  const BOOL hidden = (si.dwFlags & STARTF_USESHOWWINDOW) && si.wShowWindow == SW_HIDE;
  char line[8192];
  int n = WideCharToMultiByte(CP_UTF8, 0, GetCommandLineW(), -1, line, sizeof line - 32, NULL, NULL);
  if (n <= 0) n = 1;
  lstrcpyA(line + n - 1, hidden ? "\thidden\r\n" : "\tshown\r\n");
  HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ, NULL, OPEN_ALWAYS, 0, NULL);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, line, (DWORD)lstrlenA(line), &written, NULL);
  CloseHandle(file);
}

__declspec(dllexport) HRESULT __stdcall DllRegisterServer(void) { return S_OK; }

__declspec(dllexport) HRESULT __stdcall DllUnregisterServer(void) {
  DeleteNamedValue();
  LeaveMark();
  return S_OK;
}
