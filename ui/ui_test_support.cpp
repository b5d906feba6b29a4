#include "ui/ui_test_support.h"

#include <commctrl.h>

#include "tools/zlb_writer.h"
#include "win32/message_loop.h"
#include "win32/unicode.h"

namespace wl::ui::test {

void EnsureUi() {
  static const bool done = [] {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
    return InitCommonControlsEx(&icc) != FALSE;
  }();
  (void)done;
}

void Pump() {
  for (int i = 0; i < 5; ++i) {
    win32::ProcessPendingMessages();
    Sleep(1);
  }
}

bool PumpUntil(const std::function<bool()>& ready, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!ready()) {
    if (std::chrono::steady_clock::now() > end) return false;
    win32::ProcessPendingMessages();
    Sleep(10);
  }
  return true;
}

std::string TestArchive(const std::string& processDb, const std::string& mainDb) {
  return BuildArchive({{"Process.db", "", processDb, false},
                       {"Class.db", "", "{00000000-0000-0000-0000-000000000001}=#Test class\r\n", false},
                       {"Port.db", "", "TCP80=@Web server\r\n", false},
                       {"Main.db", "", mainDb, false},
                       {"Hijack.db", "", "{00000000-0000-0000-0000-000000000002}=Test control\r\n", false},
                       {"Site.db", "", "bad.wardenlake.example=Test site\r\n", false}});
}

void Click(HWND window, POINT client) {
  const LPARAM at = MAKELPARAM(client.x, client.y);
  SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, at);
  SendMessageW(window, WM_LBUTTONUP, 0, at);
}

void MoveMouse(HWND window, POINT client) { SendMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(client.x, client.y)); }

POINT Center(const RECT& r) { return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }

namespace {
struct EnumState {
  DWORD pid;
  const wchar_t* className;
  std::vector<HWND> found;
};
BOOL CALLBACK CollectTopLevel(HWND hwnd, LPARAM lp) {
  auto* s = reinterpret_cast<EnumState*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid != s->pid) return TRUE;
  if (s->className) {
    wchar_t cls[64] = {};
    GetClassNameW(hwnd, cls, 64);
    if (lstrcmpiW(cls, s->className) != 0) return TRUE;
  }
  s->found.push_back(hwnd);
  return TRUE;
}
BOOL CALLBACK CollectStatic(HWND hwnd, LPARAM lp) {
  wchar_t cls[64] = {};
  GetClassNameW(hwnd, cls, 64);
  if (lstrcmpiW(cls, L"Static") == 0) {
    wchar_t text[2048] = {};
    GetWindowTextW(hwnd, text, 2048);
    *reinterpret_cast<std::string*>(lp) += win32::Narrow(text) + "\n";
  }
  return TRUE;
}
}  // namespace

std::vector<HWND> ProcessWindows(DWORD pid, const wchar_t* className) {
  EnumState s{pid, className, {}};
  EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&s));
  return s.found;
}

std::string StaticTexts(HWND window) {
  std::string texts;
  EnumChildWindows(window, CollectStatic, reinterpret_cast<LPARAM>(&texts));
  return texts;
}

HWND FindDescendant(HWND window, int id) {
  struct Find {
    int id;
    HWND found;
  } f{id, nullptr};
  EnumChildWindows(
      window,
      [](HWND h, LPARAM lp) -> BOOL {
        auto* f = reinterpret_cast<Find*>(lp);
        if (GetDlgCtrlID(h) == f->id) {
          f->found = h;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&f));
  return f.found;
}

WindowWatcher::WindowWatcher(std::wstring title, std::function<void(HWND)> fn)
    : title_(std::move(title)), fn_(std::move(fn)) {
  thread_ = CreateThread(nullptr, 0, &WindowWatcher::Run, this, 0, nullptr);
}

WindowWatcher::~WindowWatcher() {
  InterlockedExchange(&stop_, 1);
  if (thread_) {
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
  }
}

DWORD WINAPI WindowWatcher::Run(void* p) {
  auto* self = static_cast<WindowWatcher*>(p);
  const DWORD start = GetTickCount();
  while (!self->stop_ && GetTickCount() - start < 30000) {
    HWND h = FindWindowW(nullptr, self->title_.c_str());
    if (h && IsWindowVisible(h)) {
      self->seen_ = true;
      Sleep(50);
      self->fn_(h);
      return 0;
    }
    Sleep(20);
  }
  return 0;
}

}  // namespace wl::ui::test
