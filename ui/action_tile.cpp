#include "ui/action_tile.h"

#include <windowsx.h>

#include "win32/dpi.h"
#include "win32/paint.h"
#include "win32/unicode.h"

namespace wl::ui {

bool ActionTile::Create(HWND parent, int id, Content content) {
  content_ = std::move(content);
  win32::WindowClass cls;
  cls.name = L"WardenlakeActionTile";
  cls.cursor = LoadCursorW(nullptr, IDC_HAND);
  if (!CreateWindowOf(cls, 0, win32::Widen(content_.caption), WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0, 0, 100, 60,
                      parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id))))
    return false;
  dpi_ = win32::DpiOf(hwnd());
  UpdateFonts();
  return true;
}

void ActionTile::UpdateFonts() {
  captionFont_ = win32::CreateUiFont(dpi_, {.points = 12, .weight = FW_BOLD, .italic = true});
  textFont_ = win32::CreateUiFont(dpi_, {.points = 9});
}

void ActionTile::SetHot(bool hot) {
  if (hot == hot_) return;
  hot_ = hot;
  InvalidateRect(hwnd(), nullptr, FALSE);
}

void ActionTile::SetButtonPicture(Glyph glyph) {
  if (glyph == button_) return;
  button_ = glyph;
  InvalidateRect(hwnd(), nullptr, FALSE);
}

void ActionTile::Paint(HDC dc, const RECT& r) {
  SetDCBrushColor(dc, RGB(255, 255, 255));
  FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
  const auto S = [this](int v) { return win32::Scale(v, dpi_); };
  const int h = r.bottom - r.top;
  const int icon = S(40);
  DrawGlyph(dc, content_.picture, r.left + S(8), r.top + (h - icon) / 2, icon);
  const int button = S(30);
  const int buttonX = r.right - S(12) - button;
  DrawGlyph(dc, button_, buttonX, r.top + (h - button) / 2, button);

  SetBkMode(dc, TRANSPARENT);
  RECT text{r.left + S(8) + icon + S(14), r.top + S(8), buttonX - S(10), r.top + h / 2 + S(2)};
  SelectObject(dc, captionFont_.get());
  SetTextColor(dc, CaptionColor());
  std::wstring caption = win32::Widen(content_.caption);
  DrawTextW(dc, caption.c_str(), -1, &text, DT_SINGLELINE | DT_BOTTOM | DT_NOPREFIX | DT_END_ELLIPSIS);
  RECT desc{text.left, r.top + h / 2 + S(4), text.right, r.bottom - S(6)};
  SelectObject(dc, textFont_.get());
  SetTextColor(dc, RGB(90, 98, 112));
  std::wstring description = win32::Widen(content_.description);
  DrawTextW(dc, description.c_str(), -1, &desc, DT_SINGLELINE | DT_TOP | DT_NOPREFIX | DT_END_ELLIPSIS);
  if (GetFocus() == hwnd()) {
    RECT focus = r;
    InflateRect(&focus, -S(2), -S(2));
    DrawFocusRect(dc, &focus);
  }
}

LRESULT ActionTile::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT:
      win32::PaintBuffered(hwnd(), [this](HDC dc, const RECT& client) { Paint(dc, client); });
      return 0;
    case WM_MOUSEMOVE:
      if (!tracking_) {
        TRACKMOUSEEVENT tme{sizeof tme, TME_LEAVE, hwnd(), 0};
        tracking_ = TrackMouseEvent(&tme) != FALSE;
      }
      if (onHover) onHover();
      SetHot(true);
      return 0;
    case WM_MOUSELEAVE:
      tracking_ = false;
      SetHot(false);
      return 0;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
      pressed_ = true;
      SetButtonPicture(Glyph::GoButtonPressed);
      if (msg == WM_LBUTTONDOWN) {
        SetCapture(hwnd());
        SetFocus(hwnd());
      }
      return 0;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP: {
      const bool was = pressed_;
      pressed_ = false;
      SetButtonPicture(Glyph::GoButton);
      if (GetCapture() == hwnd()) ReleaseCapture();
      RECT r{};
      GetClientRect(hwnd(), &r);
      const POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      if (msg == WM_LBUTTONUP && was && PtInRect(&r, pt) && onClick) onClick();
      return 0;
    }
    case WM_CAPTURECHANGED:
      if (pressed_) {
        pressed_ = false;
        SetButtonPicture(Glyph::GoButton);
      }
      return 0;
    case WM_GETDLGCODE: {
      LRESULT code = DLGC_WANTCHARS;
      const auto* m = reinterpret_cast<const MSG*>(lParam);
      if (m && m->message == WM_KEYDOWN && m->wParam == VK_RETURN) code |= DLGC_WANTMESSAGE;
      return code;
    }
    case WM_KEYDOWN:
      if ((wParam == VK_RETURN || wParam == VK_SPACE) && onClick) {
        onClick();
        return 0;
      }
      break;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      InvalidateRect(hwnd(), nullptr, FALSE);
      return 0;
    case WM_DPICHANGED_AFTERPARENT:
      dpi_ = win32::DpiOf(hwnd());
      UpdateFonts();
      InvalidateRect(hwnd(), nullptr, FALSE);
      return 0;
    default:
      break;
  }
  return Default(msg, wParam, lParam);
}

}  // namespace wl::ui
