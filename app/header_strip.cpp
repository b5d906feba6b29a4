#include "app/header_strip.h"

#include <windowsx.h>

#include "ui/images.h"
#include "win32/dpi.h"
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
  return CreateControl(parent, id, {.className = L"WardenlakeHeaderStrip"});
}

void HeaderStrip::OnDpiChanged() {
  titleFont_ = win32::CreateUiFont(Dpi(), {.points = 17, .weight = FW_SEMIBOLD});
  sloganFont_ = win32::CreateUiFont(Dpi(), {.points = 9});
  linkFont_ = win32::CreateUiFont(Dpi(), {.points = 9, .weight = FW_SEMIBOLD});
}

int HeaderStrip::PreferredHeight() const { return Scale(64); }

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
  const int icon = Scale(20);
  const int gap = Scale(6);
  const int home = icon + gap + LinkWidth(dc, kHomePage);
  const int update = icon + gap + LinkWidth(dc, kLiveUpdate);
  ReleaseDC(hwnd(), dc);
  const int right = client.right - Scale(16);
  const int top = (client.bottom - Scale(28)) / 2;
  const int bottom = top + Scale(28);
  if (link == Link::HomePage) return RECT{right - home, top, right, bottom};
  const int updateRight = right - home - Scale(22);
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
  Invalidate();
}

void HeaderStrip::Paint(HDC dc, const RECT& r) {
  HorizontalGradient(dc, r, RGB(24, 70, 150), RGB(72, 136, 226));
  const auto S = [this](int v) { return Scale(v); };
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
    case WM_KEYDOWN:
      if (wParam == VK_LEFT || wParam == VK_RIGHT) {
        focus_ = wParam == VK_LEFT ? Link::LiveUpdate : Link::HomePage;
        Invalidate();
        return 0;
      }
      break;
    default:
      break;
  }
  return OwnerDrawnControl::HandleMessage(msg, wParam, lParam);
}

}  // namespace wl::app
