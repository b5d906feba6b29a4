#include "win32/group_bar.h"

#include <windowsx.h>

#include <algorithm>

#include "win32/dpi.h"
#include "win32/unicode.h"

namespace wl::win32 {

namespace {

// Sizes at 96 DPI.
constexpr int kMargin = 10;
constexpr int kHeader = 25;
constexpr int kItem = 22;
constexpr int kBodyPad = 5;
constexpr int kGap = 10;
constexpr int kRadius = 6;
constexpr int kIconGap = 8;

COLORREF Mix(COLORREF a, COLORREF b, int percentB) {
  auto ch = [&](int x, int y) { return (x * (100 - percentB) + y * percentB) / 100; };
  return RGB(ch(GetRValue(a), GetRValue(b)), ch(GetGValue(a), GetGValue(b)), ch(GetBValue(a), GetBValue(b)));
}

void Fill(HDC dc, const RECT& r, COLORREF c) {
  SetDCBrushColor(dc, c);
  FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
}

void VerticalGradient(HDC dc, const RECT& r, COLORREF top, COLORREF bottom) {
  TRIVERTEX v[2] = {};
  v[0].x = r.left;
  v[0].y = r.top;
  v[0].Red = static_cast<COLOR16>(GetRValue(top) << 8);
  v[0].Green = static_cast<COLOR16>(GetGValue(top) << 8);
  v[0].Blue = static_cast<COLOR16>(GetBValue(top) << 8);
  v[1].x = r.right;
  v[1].y = r.bottom;
  v[1].Red = static_cast<COLOR16>(GetRValue(bottom) << 8);
  v[1].Green = static_cast<COLOR16>(GetGValue(bottom) << 8);
  v[1].Blue = static_cast<COLOR16>(GetBValue(bottom) << 8);
  GRADIENT_RECT g{0, 1};
  GdiGradientFill(dc, v, 2, &g, 1, GRADIENT_FILL_RECT_V);
}

void RoundBox(HDC dc, const RECT& r, int radius, COLORREF fill, COLORREF border) {
  SetDCBrushColor(dc, fill);
  SetDCPenColor(dc, border);
  HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(DC_BRUSH));
  HGDIOBJ oldPen = SelectObject(dc, GetStockObject(DC_PEN));
  RoundRect(dc, r.left, r.top, r.right, r.bottom, radius, radius);
  SelectObject(dc, oldPen);
  SelectObject(dc, oldBrush);
}

}  // namespace

bool GroupBar::Create(HWND parent, int id) {
  return CreateControl(parent, id,
                       {.className = L"WardenlakeGroupBar",
                        .cursor = LoadCursorW(nullptr, IDC_ARROW),
                        .extraStyle = WS_CLIPCHILDREN,
                        .width = 200,
                        .height = 400});
}

void GroupBar::SetGroups(std::vector<GroupBarGroup> groups) {
  groups_ = std::move(groups);
  hot_ = pressed_ = current_ = {};
  focus_ = AllItems().empty() ? GroupBarPos{} : AllItems().front();
  Invalidate();
}

void GroupBar::SetColors(const GroupBarColors& colors) {
  colors_ = colors;
  Invalidate();
}

void GroupBar::SetImages(HIMAGELIST images) {
  images_ = images;
  Invalidate();
}

void GroupBar::SetCurrent(GroupBarPos pos) {
  if (pos == current_) return;
  InvalidateItem(current_);
  current_ = pos;
  InvalidateItem(current_);
}

void GroupBar::OnDpiChanged() {
  captionFont_ = CreateUiFont(Dpi(), {.points = 9, .weight = FW_BOLD});
  itemFont_ = CreateUiFont(Dpi(), {.points = 9});
  itemHotFont_ = CreateUiFont(Dpi(), {.points = 9, .underline = true});
}

int GroupBar::PreferredWidth() const { return Scale(200); }

GroupBar::Layout GroupBar::ComputeLayout() const {
  Layout l;
  RECT client{};
  GetClientRect(hwnd(), &client);
  const int margin = Scale(kMargin);
  int y = margin;
  for (const auto& g : groups_) {
    RECT header{margin, y, client.right - margin, y + Scale(kHeader)};
    l.headers.push_back(header);
    y = header.bottom;
    RECT body{header.left, y, header.right, y};
    std::vector<RECT> items;
    y += Scale(kBodyPad);
    for (std::size_t i = 0; i < g.items.size(); ++i) {
      RECT item{header.left + Scale(4), y, header.right - Scale(4), y + Scale(kItem)};
      items.push_back(item);
      y = item.bottom;
    }
    y += Scale(kBodyPad);
    body.bottom = y;
    l.bodies.push_back(body);
    l.items.push_back(std::move(items));
    y += Scale(kGap);
  }
  return l;
}

RECT GroupBar::ItemRect(GroupBarPos pos) const {
  const Layout l = ComputeLayout();
  if (pos.group < 0 || pos.group >= static_cast<int>(l.items.size())) return RECT{};
  const auto& items = l.items[static_cast<std::size_t>(pos.group)];
  if (pos.item < 0 || pos.item >= static_cast<int>(items.size())) return RECT{};
  return items[static_cast<std::size_t>(pos.item)];
}

GroupBarPos GroupBar::ItemAt(POINT client) const {
  const Layout l = ComputeLayout();
  for (std::size_t g = 0; g < l.items.size(); ++g)
    for (std::size_t i = 0; i < l.items[g].size(); ++i)
      if (PtInRect(&l.items[g][i], client)) return {static_cast<int>(g), static_cast<int>(i)};
  return {};
}

std::vector<GroupBarPos> GroupBar::AllItems() const {
  std::vector<GroupBarPos> all;
  for (std::size_t g = 0; g < groups_.size(); ++g)
    for (std::size_t i = 0; i < groups_[g].items.size(); ++i) all.push_back({static_cast<int>(g), static_cast<int>(i)});
  return all;
}

std::optional<std::string> GroupBar::HintAt(HWND control, POINT screenPoint) {
  if (control != hwnd()) return std::nullopt;
  POINT pt = screenPoint;
  ScreenToClient(hwnd(), &pt);
  const GroupBarPos pos = ItemAt(pt);
  if (!pos.valid()) return std::string();
  return groups_[static_cast<std::size_t>(pos.group)].items[static_cast<std::size_t>(pos.item)].hint;
}

void GroupBar::InvalidateItem(GroupBarPos pos) {
  if (!pos.valid()) return;
  RECT r = ItemRect(pos);
  InflateRect(&r, 2, 2);
  InvalidateRect(hwnd(), &r, FALSE);
}

void GroupBar::SetHot(GroupBarPos pos) {
  if (pos == hot_) return;
  InvalidateItem(hot_);
  hot_ = pos;
  InvalidateItem(hot_);
}

void GroupBar::MoveFocus(int delta) {
  const auto all = AllItems();
  if (all.empty()) return;
  auto it = std::find(all.begin(), all.end(), focus_);
  long idx = it == all.end() ? 0 : static_cast<long>(it - all.begin()) + delta;
  idx = std::clamp<long>(idx, 0, static_cast<long>(all.size()) - 1);
  InvalidateItem(focus_);
  focus_ = all[static_cast<std::size_t>(idx)];
  InvalidateItem(focus_);
}

void GroupBar::Activate(GroupBarPos pos) {
  if (!pos.valid()) return;
  InvalidateItem(focus_);
  focus_ = pos;
  InvalidateItem(focus_);
  if (onItemClick) onItemClick(pos);
}

void GroupBar::Paint(HDC dc, const RECT& client) {
  VerticalGradient(dc, client, Mix(colors_.bar, RGB(255, 255, 255), 18), colors_.bar);
  const Layout l = ComputeLayout();
  SetBkMode(dc, TRANSPARENT);
  const int radius = Scale(kRadius);
  const bool focused = GetFocus() == hwnd();
  for (std::size_t g = 0; g < groups_.size(); ++g) {
    const RECT& header = l.headers[g];
    const RECT& body = l.bodies[g];
    // Caption strip with rounded top corners, body below it.
    RECT strip = header;
    strip.bottom += radius;
    RoundBox(dc, strip, radius * 2, colors_.caption, colors_.caption);
    RECT headerFill{header.left, header.top + radius, header.right, header.bottom};
    VerticalGradient(dc, headerFill, colors_.caption, Mix(colors_.caption, colors_.group, 45));
    RECT bodyRect = body;
    Fill(dc, bodyRect, colors_.group);
    RECT line{header.left, header.bottom - Scale(1), header.right, header.bottom};
    Fill(dc, line, colors_.divider);
    // Side and bottom edges of the body.
    SetDCPenColor(dc, colors_.caption);
    HGDIOBJ oldPen = SelectObject(dc, GetStockObject(DC_PEN));
    MoveToEx(dc, body.left, body.top, nullptr);
    LineTo(dc, body.left, body.bottom - 1);
    LineTo(dc, body.right - 1, body.bottom - 1);
    LineTo(dc, body.right - 1, body.top - 1);
    SelectObject(dc, oldPen);

    SelectObject(dc, captionFont_.get());
    SetTextColor(dc, colors_.captionFont);
    RECT text = header;
    text.left += Scale(10);
    text.bottom -= Scale(1);
    std::wstring caption = Widen(groups_[g].caption);
    DrawTextW(dc, caption.c_str(), -1, &text, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);

    for (std::size_t i = 0; i < groups_[g].items.size(); ++i) {
      const GroupBarPos pos{static_cast<int>(g), static_cast<int>(i)};
      const RECT& r = l.items[g][i];
      const auto& item = groups_[g].items[i];
      if (pos == current_) RoundBox(dc, r, radius, Mix(colors_.group, RGB(255, 255, 255), 60), colors_.group);
      int x = r.left + Scale(6);
      if (images_ && item.image >= 0) {
        int cx = 0, cy = 0;
        ImageList_GetIconSize(images_, &cx, &cy);
        ImageList_Draw(images_, item.image, dc, x, r.top + (r.bottom - r.top - cy) / 2, ILD_TRANSPARENT);
        x += cx + Scale(kIconGap);
      }
      const bool hot = pos == hot_;
      SelectObject(dc, hot ? itemHotFont_.get() : itemFont_.get());
      SetTextColor(dc, hot ? colors_.itemHot : colors_.itemFont);
      RECT tr{x, r.top, r.right - Scale(4), r.bottom};
      std::wstring cap = Widen(item.caption);
      DrawTextW(dc, cap.c_str(), -1, &tr, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
      if (focused && pos == focus_) {
        RECT fr = r;
        DrawFocusRect(dc, &fr);
      }
    }
  }
}

LRESULT GroupBar::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_LBUTTONDOWN:
      pressed_ = ItemAt({GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
      if (pressed_.valid()) SetCapture(hwnd());
      return 0;
    case WM_LBUTTONUP: {
      const GroupBarPos at = ItemAt({GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
      const GroupBarPos was = pressed_;
      pressed_ = {};
      if (GetCapture() == hwnd()) ReleaseCapture();
      if (was.valid() && at == was) Activate(at);
      return 0;
    }
    case WM_KEYDOWN:
      switch (wParam) {
        case VK_UP:
          MoveFocus(-1);
          return 0;
        case VK_DOWN:
          MoveFocus(1);
          return 0;
        case VK_HOME:
          MoveFocus(-100000);
          return 0;
        case VK_END:
          MoveFocus(100000);
          return 0;
        default:
          break;
      }
      break;
    default:
      break;
  }
  return OwnerDrawnControl::HandleMessage(msg, wParam, lParam);
}

}  // namespace wl::win32
