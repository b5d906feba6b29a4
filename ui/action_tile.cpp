#include "ui/action_tile.h"

#include <windowsx.h>

#include "win32/dpi.h"
#include "win32/unicode.h"

namespace wl::ui {

bool ActionTile::Create(HWND parent, int id, Content content) {
  content_ = std::move(content);
  return CreateControl(parent, id,
                       {.className = L"WardenlakeActionTile",
                        .cursor = LoadCursorW(nullptr, IDC_HAND),
                        .text = win32::Widen(content_.caption),
                        .wantsArrows = false});
}

void ActionTile::OnDpiChanged() {
  captionFont_ = win32::CreateUiFont(Dpi(), {.points = 12, .weight = FW_BOLD, .italic = true});
  textFont_ = win32::CreateUiFont(Dpi(), {.points = 9});
}

void ActionTile::OnMouseMove(POINT) {
  if (onHover) onHover();
  SetHot(true);
}

void ActionTile::SetHot(bool hot) {
  if (hot == hot_) return;
  hot_ = hot;
  Invalidate();
}

void ActionTile::SetButtonPicture(Glyph glyph) {
  if (glyph == button_) return;
  button_ = glyph;
  Invalidate();
}

void ActionTile::Paint(HDC dc, const RECT& r) {
  SetDCBrushColor(dc, RGB(255, 255, 255));
  FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
  const auto S = [this](int v) { return Scale(v); };
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
    default:
      break;
  }
  return OwnerDrawnControl::HandleMessage(msg, wParam, lParam);
}

}  // namespace wl::ui
