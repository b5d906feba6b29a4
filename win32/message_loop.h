// The program's message loop. One filter (set by the main window) sees each
// message before it is translated and dispatched: accelerators, dialog-style
// keyboard navigation, hint tracking.
#pragma once

#include <windows.h>

#include <functional>

namespace wl::win32 {

// Returns true when it handled the message (it is then not dispatched).
using MessageFilter = std::function<bool(MSG& msg)>;
void SetMessageFilter(MessageFilter filter);

// Filters, translates and dispatches one message.
void DispatchOne(MSG& msg);
// Runs until WM_QUIT; returns its exit code.
int RunMessageLoop();
// Handles the messages waiting now. Returns false when WM_QUIT arrived (it is
// posted again so that the outer loop ends too).
bool ProcessPendingMessages();

}  // namespace wl::win32
