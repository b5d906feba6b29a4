// Per-monitor DPI: sizes are written for 96 DPI and scaled for the window's
// monitor; fonts follow the system's message font.
#pragma once

#include <windows.h>

#include "win32/handles.h"

namespace wl::win32 {

UINT DpiOf(HWND hwnd);
inline int Scale(int px96, UINT dpi) { return MulDiv(px96, static_cast<int>(dpi), 96); }

struct FontSpec {
  int points = 9;          // size in points
  int weight = FW_NORMAL;
  bool italic = false;
  bool underline = false;
  const wchar_t* face = nullptr;  // null: the system's message font
};
// A font for the given DPI; the caller owns it.
UniqueGdiObject CreateUiFont(UINT dpi, const FontSpec& spec = {});

}  // namespace wl::win32
