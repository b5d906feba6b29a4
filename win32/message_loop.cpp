#include "win32/message_loop.h"

#include <utility>

#include "win32/window.h"

namespace wl::win32 {

namespace {
MessageFilter& Filter() {
  static MessageFilter filter;
  return filter;
}
}  // namespace

void SetMessageFilter(MessageFilter filter) { Filter() = std::move(filter); }

void DispatchOne(MSG& msg) {
  bool handled = false;
  if (Filter()) {
    GuardCall([&] { handled = Filter()(msg); });
  }
  if (handled) return;
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
}

int RunMessageLoop() {
  MSG msg;
  for (;;) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0 || got == -1) break;
    DispatchOne(msg);
  }
  return static_cast<int>(msg.wParam);
}

bool ProcessPendingMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      return false;
    }
    DispatchOne(msg);
  }
  return true;
}

}  // namespace wl::win32
