#include "win32/wait.h"

#include <algorithm>

namespace wl::win32 {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kSlice = std::chrono::milliseconds(50);

// Answers sent messages (PeekMessage does that by itself) and paints.
void AnswerAndPaint() {
  MSG msg;
  PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE | PM_QS_PAINT)) {
    if (msg.message == WM_PAINT) DispatchMessageW(&msg);
  }
}

}  // namespace

bool WaitResponsive(const std::function<bool()>& done, std::chrono::milliseconds limit, HANDLE object) {
  const auto deadline = Clock::now() + limit;
  for (;;) {
    if (done()) return true;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;
    const DWORD ms = static_cast<DWORD>(std::min(left, std::chrono::duration_cast<std::chrono::milliseconds>(kSlice)).count());
    MsgWaitForMultipleObjectsEx(object ? 1 : 0, object ? &object : nullptr, ms, QS_SENDMESSAGE | QS_PAINT, 0);
    AnswerAndPaint();
  }
}

bool WaitForInputIdleResponsive(HANDLE process, std::chrono::milliseconds limit) {
  if (!process) return false;
  bool idle = false;
  WaitResponsive(
      [&] {
        const DWORD r = WaitForInputIdle(process, 0);
        if (r == 0) {
          idle = true;
          return true;
        }
        // WAIT_FAILED: no input queue (a console program) or no process.
        if (r != WAIT_TIMEOUT) return true;
        return WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
      },
      limit, process);
  return idle;
}

}  // namespace wl::win32
