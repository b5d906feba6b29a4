// The base of the controls that draw themselves (the navigation bar, the
// header strip, the status page's tiles): the child window with its class,
// painting through an off-screen bitmap, the mouse tracked in and out, the
// keyboard focus shown, the DPI followed. A control paints in Paint and
// hears of the mouse in OnMouseMove / OnMouseLeave; its own messages
// (buttons, keys) it handles in HandleMessage before passing the rest here.
#pragma once

#include <windows.h>

#include <string>

#include "win32/window.h"

namespace wl::win32 {

struct OwnerDrawnStyle {
  const wchar_t* className = nullptr;
  HCURSOR cursor = nullptr;  // null: the arrow
  DWORD extraStyle = 0;      // beside WS_CHILD | WS_VISIBLE | WS_TABSTOP
  int width = 100;
  int height = 60;
  std::wstring text{};
  bool wantsArrows = true;  // the arrow keys move within the control
};

class OwnerDrawnControl : public Window {
 public:
  UINT Dpi() const { return dpi_; }

 protected:
  // Registers the class on first use, creates the child with the id, reads
  // its DPI and calls OnDpiChanged once.
  bool CreateControl(HWND parent, int id, const OwnerDrawnStyle& style);

  // Draws the whole client area into dc (an off-screen bitmap).
  virtual void Paint(HDC dc, const RECT& client) = 0;
  virtual void OnMouseMove(POINT client) { (void)client; }
  virtual void OnMouseLeave() {}
  // Fonts and sizes for the DPI: at creation and when it changes.
  virtual void OnDpiChanged() {}
  // The focus came or went; by default the whole control is drawn again.
  virtual void OnFocusChanged() { Invalidate(); }
  // Whether the mouse, where it is now, shows the hand (a link, an item).
  virtual bool ShowsHandCursor() const { return false; }
  // Enter or Space: runs what has the focus; false when nothing ran.
  virtual bool OnActivateKey() { return false; }

  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

  int Scale(int px96) const;
  void Invalidate() const { InvalidateRect(hwnd(), nullptr, FALSE); }

 private:
  UINT dpi_ = 96;
  bool tracking_ = false;
  bool wantsArrows_ = true;
};

}  // namespace wl::win32
