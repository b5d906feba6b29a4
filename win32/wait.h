// Bounded waits on the window's thread. Every wait for another process has a
// limit, and while it lasts the thread answers the messages other threads
// and processes send to its windows and repaints them; user input stays
// queued, so no handler of the program runs in the middle of the wait.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>

namespace wl::win32 {

// Polls done() until it answers true or limit has passed; object (may be
// null) ends a pause early when it is signalled. True when done() answered
// true.
bool WaitResponsive(const std::function<bool()>& done, std::chrono::milliseconds limit, HANDLE object = nullptr);

// Waits, at most limit, until process is idle for input (true) - or has
// ended, or has no input queue to be idle in (false at once).
bool WaitForInputIdleResponsive(HANDLE process, std::chrono::milliseconds limit);

}  // namespace wl::win32
