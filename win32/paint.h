// Flicker-free painting: draw into an off-screen bitmap, then copy it to the
// window in one go.
#pragma once

#include <windows.h>

#include <functional>

namespace wl::win32 {

// Answers WM_PAINT for hwnd: calls draw with a memory DC the size of the
// client area, then copies the result to the screen. Every GDI object is
// released on every path.
void PaintBuffered(HWND hwnd, const std::function<void(HDC dc, const RECT& client)>& draw);

}  // namespace wl::win32
