#include "app/header_strip.h"

#include <windowsx.h>

#include "ui/images.h"
#include "win32/dpi.h"
#include "win32/paint.h"
#include "win32/unicode.h"

namespace wl::app {

using ui::Glyph;

namespace {
const wchar_t kTitle[] = L"Wardenlake";
const wchar_t kSlogan[] = L"Protect your computer against infections";
const wchar_t kLiveUpdate[] = L"Live Update";
const wchar_t kHomePage[] = L"HomePage";

void HorizontalGradient(HDC dc, const RECT& r, COLORREF left, COLORREF right) {
  TRIVERTEX v[2] = {};
  v[0] = {r.left, r.top, static_cast<COLOR16>(GetRValue(left) << 8), static_cast<COLOR16>(GetGValue(left) << 8),
          static_cast<COLOR16>(GetBValue(left) << 8), 0};
  v[1] = {r.right, r.bottom, static_cast<COLOR16>(GetRValue(right) << 8), static_cast<COLOR16>(GetGValue(right) << 8),
          static_cast<COLOR16>(GetBValue(right) << 8), 0};
  GRADIENT_RECT g{0, 1};
  GdiGradientFill(dc, v, 2, &g, 1, GRADIENT_FILL_RECT_H);
}
}  // namespace

bool HeaderStrip::Create(HWND parent, int id) {
  win32::WindowClass cls;
  cls.name = L"WardenlakeHeaderStrip";
  if (!CreateWindowOf(cls, 0, L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0, 0, 100, 60, parent,
                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id))))
    return false;
  dpi_ = win32::DpiOf(hwnd());
  UpdateFonts();
  return true;
}

void HeaderStrip::UpdateFonts() {
  titleFont_ = win32::CreateUiFont(dpi_, {.points = 17, .weight = FW_SEMIBOLD});
  sloganFont_ = win32::CreateUiFont(dpi_, {.points = 9});
  linkFont_ = win32::CreateUiFont(dpi_, {.points = 9, .weight = FW_SEMIBOLD});
}

int HeaderStrip::PreferredHeight() const { return win32::Scale(64, dpi_); }

int HeaderStrip::LinkWidth(HDC dc, const std::wstring& text) const {
  HGDIOBJ old = SelectObject(dc, linkFont_.get());
  SIZE size{};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  SelectObject(dc, old);
  return size.cx;
}

RECT HeaderStrip::LinkRect(Link link) const {
  if (link == Link::None) return RECT{};
  RECT client{};
  GetClientRect(hwnd(), &client);
  HDC dc = GetDC(hwnd());
  const int icon = win32::Scale(20, dpi_);
  const int gap = win32::Scale(6, dpi_);
  const int home = icon + gap + LinkWidth(dc, kHomePage);
  const int update = icon + gap + LinkWidth(dc, kLiveUpdate);
  ReleaseDC(hwnd(), dc);
  const int right = client.right - win32::Scale(16, dpi_);
  const int top = (client.bottom - win32::Scale(28, dpi_)) / 2;
  const int bottom = top + win32::Scale(28, dpi_);
  if (link == Link::HomePage) return RECT{right - home, top, right, bottom};
  const int updateRight = right - home - win32::Scale(22, dpi_);
  return RECT{updateRight - update, top, updateRight, bottom};
}

HeaderStrip::Link HeaderStrip::LinkAt(POINT client) const {
  for (Link l : {Link::LiveUpdate, Link::HomePage}) {
    const RECT r = LinkRect(l);
    if (PtInRect(&r, client)) return l;
  }
  return Link::None;
}

void HeaderStrip::SetHotLink(Link link) {
  if (link == hot_) return;
  hot_ = link;
  InvalidateRect(hwnd(), nullptr, FALSE);
}

void HeaderStrip::Paint(HDC dc, const RECT& r) {
  HorizontalGradient(dc, r, RGB(24, 70, 150), RGB(72, 136, 226));
  const auto S = [this](int v) { return win32::Scale(v, dpi_); };
  const int mark = S(40);
  DrawGlyph(dc, Glyph::ProductMark, r.left + S(16), r.top + (r.bottom - r.top - mark) / 2, mark);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(255, 255, 255));
  SelectObject(dc, titleFont_.get());
  RECT title{r.left + S(16) + mark + S(12), r.top + S(6), r.right, r.top + (r.bottom - r.top) / 2 + S(6)};
  DrawTextW(dc, kTitle, -1, &title, DT_SINGLELINE | DT_BOTTOM | DT_NOPREFIX);
  SelectObject(dc, sloganFont_.get());
  SetTextColor(dc, RGB(214, 228, 250));
  RECT slogan{title.left, title.bottom, r.right, r.bottom - S(4)};
  DrawTextW(dc, kSlogan, -1, &slogan, DT_SINGLELINE | DT_TOP | DT_NOPREFIX);

  SelectObject(dc, linkFont_.get());
  const int icon = S(20);
  for (Link l : {Link::LiveUpdate, Link::HomePage}) {
    const RECT lr = LinkRect(l);
    DrawGlyph(dc, l == Link::LiveUpdate ? Glyph::Update : Glyph::Home, lr.left, lr.top + (lr.bottom - lr.top - icon) / 2,
              icon);
    RECT text{lr.left + icon + S(6), lr.top, lr.right, lr.bottom};
    SetTextColor(dc, LinkColor(l));
    DrawTextW(dc, l == Link::LiveUpdate ? kLiveUpdate : kHomePage, -1, &text,
              DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    if (l == focus_ && GetFocus() == hwnd()) {
      RECT focus = lr;
      InflateRect(&focus, S(3), 0);
      SetTextColor(dc, RGB(255, 255, 255));
      DrawFocusRect(dc, &focus);
    }
  }
}

LRESULT HeaderStrip::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT:
      win32::PaintBuffered(hwnd(), [this](HDC dc, const RECT& client) { Paint(dc, client); });
      return 0;
    case WM_SIZE:
      InvalidateRect(hwnd(), nullptr, FALSE);
      return 0;
    case WM_MOUSEMOVE:
      if (!tracking_) {
        TRACKMOUSEEVENT tme{sizeof tme, TME_LEAVE, hwnd(), 0};
        tracking_ = TrackMouseEvent(&tme) != FALSE;
      }
      SetHotLink(LinkAt({GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}));
      return 0;
    case WM_MOUSELEAVE:
      tracking_ = false;
      SetHotLink(Link::None);
      return 0;
    case WM_SETCURSOR:
      if (LOWORD(lParam) == HTCLIENT && hot_ != Link::None) {
        SetCursor(LoadCursorW(nullptr, IDC_HAND));
        return TRUE;
      }
      break;
    case WM_LBUTTONDOWN:
      pressed_ = LinkAt({GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
      return 0;
    case WM_LBUTTONUP: {
      const Link at = LinkAt({GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
      const Link was = pressed_;
      pressed_ = Link::None;
      if (at != Link::None && at == was && onLinkClick) onLinkClick(at);
      return 0;
    }
    case WM_GETDLGCODE: {
      LRESULT code = DLGC_WANTARROWS | DLGC_WANTCHARS;
      const auto* m = reinterpret_cast<const MSG*>(lParam);
      if (m && m->message == WM_KEYDOWN && m->wParam == VK_RETURN) code |= DLGC_WANTMESSAGE;
      return code;
    }
    case WM_KEYDOWN:
      if (wParam == VK_LEFT || wParam == VK_RIGHT) {
        focus_ = wParam == VK_LEFT ? Link::LiveUpdate : Link::HomePage;
        InvalidateRect(hwnd(), nullptr, FALSE);
        return 0;
      }
      if ((wParam == VK_RETURN || wParam == VK_SPACE) && onLinkClick) {
        onLinkClick(focus_);
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

}  // namespace wl::app
