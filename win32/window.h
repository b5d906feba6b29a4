// Window base class: one static window procedure stores `this` in
// GWLP_USERDATA when the window is created and forwards every message to the
// virtual HandleMessage. An exception thrown by a handler never crosses the
// system's code: it goes to the application's exception hook instead. Dialogs
// (win32/dialog.h) are windows of this class too, with a procedure of their
// own that attaches and dispatches the same way.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

namespace wl::win32 {

// Receives the message of every exception that a message handler lets out.
using ExceptionHook = std::function<void(const std::string& message)>;
void SetExceptionHook(ExceptionHook hook);
// Runs fn; an exception it lets out goes to the hook. Returns false then.
bool GuardCall(const std::function<void()>& fn);
// Reports an exception's message to the hook (the catch side of GuardCall).
void ReportException(const std::string& message);

struct WindowClass {
  const wchar_t* name = nullptr;
  UINT style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
  HBRUSH background = nullptr;  // null: the window paints its own background
  HCURSOR cursor = nullptr;     // null: the arrow
  HICON icon = nullptr;
  HICON smallIcon = nullptr;
};

class Window {
 public:
  Window() = default;
  virtual ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  HWND hwnd() const { return hwnd_; }
  // The object behind a window created through this class, else null.
  static Window* FromHandle(HWND hwnd);

  // The hint (status-bar help text) for the mouse at screenPoint over
  // control, which is this window or one of its descendants. nullopt: this
  // window has nothing to say, ask its parent; "": no hint.
  virtual std::optional<std::string> HintAt(HWND control, POINT screenPoint) {
    (void)control;
    (void)screenPoint;
    return std::nullopt;
  }

 protected:
  // Registers the class on first use and creates the window. Returns null on
  // failure (e.g. no display).
  HWND CreateWindowOf(const WindowClass& cls, DWORD exStyle, const std::wstring& title, DWORD style, int x, int y,
                      int width, int height, HWND parent, HMENU menuOrId);
  virtual LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT Default(UINT msg, WPARAM wParam, LPARAM lParam) { return DefWindowProcW(hwnd_, msg, wParam, lParam); }
  // Called after WM_NCDESTROY, when the handle is no longer valid.
  virtual void OnDestroyed() {}

  // For a window procedure of another kind (dialogs): ties this object to
  // hwnd on the window's first message, and dispatches a message through
  // Route with the exception guard; false when a handler threw (the message
  // went to the exception hook; result is unchanged). After WM_NCDESTROY the
  // object is detached and OnDestroyed called.
  void Attach(HWND hwnd);
  bool Dispatch(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);
  // Where Dispatch sends a message: HandleMessage unless a kind of window
  // has messages of its own to route first.
  virtual LRESULT Route(UINT msg, WPARAM wParam, LPARAM lParam) { return HandleMessage(msg, wParam, lParam); }

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  HWND hwnd_ = nullptr;
};

// Text of a window (UTF-8).
std::string GetText(HWND hwnd);
void SetText(HWND hwnd, const std::string& text);

// The module the program's code lives in.
HINSTANCE ModuleInstance();

}  // namespace wl::win32
