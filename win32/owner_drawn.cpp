#include "win32/owner_drawn.h"

#include <windowsx.h>

#include "win32/dpi.h"
#include "win32/paint.h"

namespace wl::win32 {

bool OwnerDrawnControl::CreateControl(HWND parent, int id, const OwnerDrawnStyle& style) {
  WindowClass cls;
  cls.name = style.className;
  cls.cursor = style.cursor;
  wantsArrows_ = style.wantsArrows;
  if (!CreateWindowOf(cls, 0, style.text, WS_CHILD | WS_VISIBLE | WS_TABSTOP | style.extraStyle, 0, 0, style.width,
                      style.height, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id))))
    return false;
  dpi_ = DpiOf(hwnd());
  OnDpiChanged();
  return true;
}

int OwnerDrawnControl::Scale(int px96) const { return win32::Scale(px96, dpi_); }

LRESULT OwnerDrawnControl::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT:
      PaintBuffered(hwnd(), [this](HDC dc, const RECT& client) { Paint(dc, client); });
      return 0;
    case WM_SIZE:
      Invalidate();
      return 0;
    case WM_MOUSEMOVE:
      if (!tracking_) {
        TRACKMOUSEEVENT tme{sizeof tme, TME_LEAVE, hwnd(), 0};
        tracking_ = TrackMouseEvent(&tme) != FALSE;
      }
      OnMouseMove({GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
      return 0;
    case WM_MOUSELEAVE:
      tracking_ = false;
      OnMouseLeave();
      return 0;
    case WM_SETCURSOR:
      if (LOWORD(lParam) == HTCLIENT && ShowsHandCursor()) {
        SetCursor(LoadCursorW(nullptr, IDC_HAND));
        return TRUE;
      }
      break;
    case WM_GETDLGCODE: {
      LRESULT code = DLGC_WANTCHARS | (wantsArrows_ ? DLGC_WANTARROWS : 0);
      const auto* m = reinterpret_cast<const MSG*>(lParam);
      if (m && m->message == WM_KEYDOWN && m->wParam == VK_RETURN) code |= DLGC_WANTMESSAGE;
      return code;
    }
    case WM_KEYDOWN:
      if ((wParam == VK_RETURN || wParam == VK_SPACE) && OnActivateKey()) return 0;
      break;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      OnFocusChanged();
      return 0;
    case WM_DPICHANGED_AFTERPARENT:
      dpi_ = DpiOf(hwnd());
      OnDpiChanged();
      Invalidate();
      return 0;
    default:
      break;
  }
  return Default(msg, wParam, lParam);
}

}  // namespace wl::win32
