// wlpages: opens the main window and shows its pages one after the other,
// then its dialogs, for screenshots. For each it prints one line, "page
// NAME" or "dialog NAME", when it is on screen, then keeps it there for the
// interval.
//   wlpages [INTERVAL_MS] [PAGE...]     default: 1500 ms, the page of every
//                                       feature that has one (PAGE: its
//                                       name in the feature table)
// With WL_CAPTURE_FILE set, the sniffer page lists that capture file and
// shows the dump of its third packet.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/process_dictionary.h"
#include "autorun/startup_page.h"
#include "features/feature_table.h"
#include "network/sniffer_page.h"
#include "win32/message_loop.h"
#include "win32/unicode.h"

namespace {

void PumpFor(DWORD ms) {
  const DWORD end = GetTickCount() + ms;
  while (static_cast<LONG>(end - GetTickCount()) > 0) {
    if (!wl::win32::ProcessPendingMessages()) return;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
  }
}

// While a dialog runs its own modal loop, a timer announces it and closes it.
const wchar_t* g_dialogTitle = nullptr;
const char* g_dialogName = nullptr;
DWORD g_interval = 1500;

void CALLBACK AnnounceAndClose(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  HWND dialog = FindWindowW(L"#32770", g_dialogTitle);
  if (!dialog) return;
  RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  std::printf("dialog %s\n", g_dialogName);
  std::fflush(stdout);
  Sleep(g_interval);
  PostMessageW(dialog, WM_CLOSE, 0, 0);
}

void ShowDialog(const wchar_t* title, const char* name, const std::function<void()>& open) {
  g_dialogTitle = title;
  g_dialogName = name;
  SetTimer(nullptr, 0, 600, AnnounceAndClose);
  open();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  DWORD interval = 1500;
  std::vector<std::string> pages;
  if (argc > 1) interval = static_cast<DWORD>(_wtoi(argv[1]));
  for (int i = 2; i < argc; ++i) pages.push_back(wl::win32::Narrow(argv[i]));

  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
  InitCommonControlsEx(&icc);
  wl::app::MainOptions options;
  options.quitOnDestroy = false;
  wl::app::Application app(options);
  if (!app.CreateWindows() || app.Main().TerminateRequested()) return 1;
  HWND main = app.Main().hwnd();
  ShowWindow(main, SW_SHOWNORMAL);
  SetForegroundWindow(main);
  PumpFor(interval);
  if (pages.empty())
    for (const wl::Feature& feature : wl::Features())
      if (app.Main().PageAt(feature.name)) pages.emplace_back(feature.name);
  for (const std::string& page : pages) {
    if (page == wl::kHijackReportPage) {
      // The report as "Scan PC Hijacker" leaves it; its message is answered.
      auto ask = app.Main().messageBox;
      app.Main().messageBox = [](HWND, const std::string&, const std::string&, UINT) { return IDOK; };
      app.Main().HijackScanClick();
      app.Main().messageBox = ask;
    } else {
      // As its navigation item does: a list page is filled on its first visit.
      app.Main().OpenPage(page);
    }
    auto* sniffer = dynamic_cast<wl::SnifferPage*>(app.Main().PageAt(page));
    if (const wchar_t* capture = _wgetenv(L"WL_CAPTURE_FILE"); sniffer && capture && *capture) {
      const std::string file = wl::win32::Narrow(capture);
      sniffer->chooseFile = [file](bool) -> std::optional<std::string> { return file; };
      sniffer->OpenCaptureClick();
      sniffer->Grid().Select(2);
      sniffer->GridClick();
    }
    RedrawWindow(main, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    PumpFor(300);
    std::printf("page %s\n", page.c_str());
    std::fflush(stdout);
    PumpFor(interval);
  }
  g_interval = interval;
  HWND owner = main;
  ShowDialog(L"Process Dictionary", "process-dictionary",
             [&] { wl::app::InputQuery(owner, "Process Dictionary", wl::app::kDictionaryPrompt); });
  ShowDialog(L"Immunize Spyware,Adware,Malware", "spyware-immunize", [&] { app.SpywareImmunize().ShowModal(owner); });
  ShowDialog(L"Immunize Restricted Sites", "site-immunize", [&] { app.SiteImmunize().ShowModal(owner); });
  // The autorun dialog on the first autorun entry, as "Setup..." and as
  // "Delete Item..." open it.
  auto* startup = dynamic_cast<wl::StartupPage*>(app.Main().PageAt("autorun"));
  if (startup && startup->IsEmpty()) startup->RefreshClick();
  if (startup && !startup->IsEmpty()) {
    startup->List().Select(0);
    ShowDialog(L"Startup Setup", "startup-setup", [&] { startup->SetupClick(); });
    ShowDialog(L"Startup Setup", "startup-setup-remove", [&] { startup->DeleteItemClick(); });
  } else {
    ShowDialog(L"Startup Setup", "startup-setup", [&] { app.StartupSetup().ShowModal(owner); });
  }
  return 0;
}
