// wlpages: opens the main window and shows its pages one after the other,
// for screenshots. For each page it prints one line "page N" when the page
// is on screen, then keeps it there for the interval.
//   wlpages [INTERVAL_MS] [PAGE...]     default: 1500 ms, every page a
//                                       navigation item leads to
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/application.h"
#include "win32/message_loop.h"

namespace {

void PumpFor(DWORD ms) {
  const DWORD end = GetTickCount() + ms;
  while (static_cast<LONG>(end - GetTickCount()) > 0) {
    if (!wl::win32::ProcessPendingMessages()) return;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  DWORD interval = 1500;
  std::vector<int> pages;
  if (argc > 1) interval = static_cast<DWORD>(_wtoi(argv[1]));
  for (int i = 2; i < argc; ++i) pages.push_back(_wtoi(argv[i]));
  if (pages.empty()) pages = {10, 0, 2, 4, 14, 15, 7, 6, 1, 12, 5, 9, 13};

  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
  InitCommonControlsEx(&icc);
  wl::app::MainOptions options;
  options.quitOnDestroy = false;
  wl::app::Application app(options);
  if (!app.CreateForms() || app.Form1().TerminateRequested()) return 1;
  HWND main = app.Form1().hwnd();
  ShowWindow(main, SW_SHOWNORMAL);
  SetForegroundWindow(main);
  PumpFor(interval);
  for (int page : pages) {
    app.Form1().ShowPage(page);
    RedrawWindow(main, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    PumpFor(300);
    std::printf("page %d\n", page);
    std::fflush(stdout);
    PumpFor(interval);
  }
  return 0;
}
