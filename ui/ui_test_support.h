// Helpers of the window tests: message pumping, test archives, and reading
// other processes' windows.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace wl::ui::test {

// Common controls registered (once per process).
void EnsureUi();
// Handles every waiting message, a few rounds (timers and posted follow-ups).
void Pump();
// Pumps until ready() or the timeout; returns ready().
bool PumpUntil(const std::function<bool()>& ready, std::chrono::milliseconds timeout = std::chrono::seconds(10));

// Bytes of a Ref.dbd holding the six members; Process.db and Main.db as given,
// the other tables with a line or two.
std::string TestArchive(const std::string& processDb, const std::string& mainDb);

// Sends a left click (down and up) at a point in the window's client area.
void Click(HWND window, POINT client);
void MoveMouse(HWND window, POINT client);
POINT Center(const RECT& r);

// Top-level windows of a process, optionally of one class.
std::vector<HWND> ProcessWindows(DWORD pid, const wchar_t* className = nullptr);
// Texts of a window's descendants of class "Static".
std::string StaticTexts(HWND window);
// The descendant of window with the control id, else null.
HWND FindDescendant(HWND window, int id);

// Calls fn with the first top-level window titled title (polled from another
// thread, so that the test's thread may sit in a modal loop meanwhile).
class WindowWatcher {
 public:
  WindowWatcher(std::wstring title, std::function<void(HWND)> fn);
  ~WindowWatcher();
  WindowWatcher(const WindowWatcher&) = delete;
  WindowWatcher& operator=(const WindowWatcher&) = delete;
  bool Seen() const { return seen_; }

 private:
  static DWORD WINAPI Run(void* self);
  std::wstring title_;
  std::function<void(HWND)> fn_;
  HANDLE thread_ = nullptr;
  volatile LONG stop_ = 0;
  volatile bool seen_ = false;
};

}  // namespace wl::ui::test
