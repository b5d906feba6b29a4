#include "win32/window.h"

#include <exception>
#include <utility>

#include "win32/unicode.h"

namespace wl::win32 {

namespace {
ExceptionHook& Hook() {
  static ExceptionHook hook;
  return hook;
}
}  // namespace

void SetExceptionHook(ExceptionHook hook) { Hook() = std::move(hook); }

void ReportException(const std::string& message) {
  if (!Hook()) return;
  try {
    Hook()(message);
  } catch (...) {
    // The hook itself must not take the program down.
  }
}

bool GuardCall(const std::function<void()>& fn) {
  try {
    fn();
    return true;
  } catch (const std::exception& e) {
    ReportException(e.what());
  } catch (...) {
    ReportException("Unknown error");
  }
  return false;
}

HINSTANCE ModuleInstance() { return GetModuleHandleW(nullptr); }

Window::~Window() {
  if (hwnd_) {
    // Detach first: the derived part of this object is already gone.
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    HWND h = std::exchange(hwnd_, nullptr);
    DestroyWindow(h);
  }
}

Window* Window::FromHandle(HWND hwnd) {
  return hwnd ? reinterpret_cast<Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)) : nullptr;
}

HWND Window::CreateWindowOf(const WindowClass& cls, DWORD exStyle, const std::wstring& title, DWORD style, int x,
                            int y, int width, int height, HWND parent, HMENU menuOrId) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  if (!GetClassInfoExW(ModuleInstance(), cls.name, &wc)) {
    wc = WNDCLASSEXW{};
    wc.cbSize = sizeof wc;
    wc.style = cls.style;
    wc.lpfnWndProc = &Window::Proc;
    wc.hInstance = ModuleInstance();
    wc.hCursor = cls.cursor ? cls.cursor : LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = cls.background;
    wc.hIcon = cls.icon;
    wc.hIconSm = cls.smallIcon;
    wc.lpszClassName = cls.name;
    if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return nullptr;
  }
  return CreateWindowExW(exStyle, cls.name, title.c_str(), style, x, y, width, height, parent, menuOrId,
                         ModuleInstance(), this);
}

LRESULT Window::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) { return Default(msg, wParam, lParam); }

void Window::Attach(HWND hwnd) {
  hwnd_ = hwnd;
  SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

bool Window::Dispatch(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  const HWND hwnd = hwnd_;
  bool ok = false;
  try {
    result = Route(msg, wParam, lParam);
    ok = true;
  } catch (const std::exception& e) {
    ReportException(e.what());
  } catch (...) {
    ReportException("Unknown error");
  }
  if (msg == WM_NCDESTROY) {
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    hwnd_ = nullptr;
    OnDestroyed();
  }
  return ok;
}

LRESULT CALLBACK Window::Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  Window* self = nullptr;
  if (msg == WM_NCCREATE) {
    self = static_cast<Window*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    if (self) self->Attach(hwnd);
  } else {
    self = FromHandle(hwnd);
  }
  if (!self) return DefWindowProcW(hwnd, msg, wParam, lParam);
  LRESULT result = 0;
  if (!self->Dispatch(msg, wParam, lParam, result)) result = DefWindowProcW(hwnd, msg, wParam, lParam);
  return result;
}

std::string GetText(HWND hwnd) {
  const int n = GetWindowTextLengthW(hwnd);
  std::wstring w(static_cast<std::size_t>(n) + 1, L'\0');
  const int got = GetWindowTextW(hwnd, w.data(), n + 1);
  w.resize(static_cast<std::size_t>(got > 0 ? got : 0));
  return Narrow(w);
}

void SetText(HWND hwnd, const std::string& text) { SetWindowTextW(hwnd, Widen(text).c_str()); }

}  // namespace wl::win32
