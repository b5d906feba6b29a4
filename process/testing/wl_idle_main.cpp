// A helper program for the process tests: it does nothing until it is ended,
// or for two minutes at most, so that a copy a test could not end never keeps
// the test runner waiting. Without arguments it has no window at all; with
// "window" it shows one top-level window titled "wlidle".
#include <windows.h>

// Tells a waiting test that the program is up: it sets the event named
// "WardenlakeIdleReady" + its process id when the test created one.
void SignalReady() {
  wchar_t name[64];
  wsprintfW(name, L"WardenlakeIdleReady%lu", GetCurrentProcessId());
  if (HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, name)) {
    SetEvent(ready);
    CloseHandle(ready);
  }
}

constexpr DWORD kLifetimeMs = 120000;

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR cmdLine, int) {
  if (lstrcmpiW(cmdLine, L"window") != 0) {
    SignalReady();
    Sleep(kLifetimeMs);
    return 0;
  }
  WNDCLASSW wc{};
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = instance;
  wc.lpszClassName = L"WardenlakeIdleWindow";
  RegisterClassW(&wc);
  HWND hwnd = CreateWindowW(wc.lpszClassName, L"wlidle", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 200, 100, nullptr,
                            nullptr, instance, nullptr);
  if (!hwnd) return 1;
  SignalReady();
  SetTimer(hwnd, 1, kLifetimeMs, nullptr);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (msg.message == WM_TIMER && msg.hwnd == hwnd) break;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return 0;
}
