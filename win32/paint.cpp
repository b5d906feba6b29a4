#include "win32/paint.h"

#include <algorithm>

#include "win32/handles.h"

namespace wl::win32 {
namespace {

struct PaintScope {
  HWND hwnd;
  PAINTSTRUCT ps{};
  HDC dc;
  explicit PaintScope(HWND h) : hwnd(h), dc(BeginPaint(h, &ps)) {}
  ~PaintScope() { EndPaint(hwnd, &ps); }
  PaintScope(const PaintScope&) = delete;
  PaintScope& operator=(const PaintScope&) = delete;
};

struct MemoryDc {
  HDC dc;
  explicit MemoryDc(HDC compatible) : dc(CreateCompatibleDC(compatible)) {}
  ~MemoryDc() {
    if (dc) DeleteDC(dc);
  }
  MemoryDc(const MemoryDc&) = delete;
  MemoryDc& operator=(const MemoryDc&) = delete;
};

struct SelectScope {
  HDC dc;
  HGDIOBJ old;
  SelectScope(HDC d, HGDIOBJ obj) : dc(d), old(SelectObject(d, obj)) {}
  ~SelectScope() { SelectObject(dc, old); }
  SelectScope(const SelectScope&) = delete;
  SelectScope& operator=(const SelectScope&) = delete;
};

}  // namespace

void PaintBuffered(HWND hwnd, const std::function<void(HDC dc, const RECT& client)>& draw) {
  PaintScope paint(hwnd);
  RECT client{};
  GetClientRect(hwnd, &client);
  MemoryDc mem(paint.dc);
  UniqueGdiObject bitmap(
      CreateCompatibleBitmap(paint.dc, std::max<LONG>(client.right, 1), std::max<LONG>(client.bottom, 1)));
  if (!mem.dc || !bitmap) {  // out of GDI resources: draw straight to the screen
    draw(paint.dc, client);
    return;
  }
  {
    SelectScope select(mem.dc, bitmap.get());
    draw(mem.dc, client);
    BitBlt(paint.dc, 0, 0, client.right, client.bottom, mem.dc, 0, 0, SRCCOPY);
  }
}

}  // namespace wl::win32
