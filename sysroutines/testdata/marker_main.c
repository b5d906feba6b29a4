/* A program that leaves a mark when it runs: it creates "<its own path>.ran".
   Tests use it to see whether the shell started it. */
#include <windows.h>

int main(void) {
  wchar_t path[32768] = L"\\\\?\\";
  wchar_t* own = path + 4; /* after the prefix that lets a long path through */
  DWORD n = GetModuleFileNameW(NULL, own, 32768 - 16);
  if (n == 0 || n >= 32768 - 16) return 1;
  lstrcatW(own, L".ran");
  HANDLE file = CreateFileW(own[1] == L':' && n + 4 >= MAX_PATH ? path : own, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return 1;
  CloseHandle(file);
  return 0;
}
