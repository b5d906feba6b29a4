#include "app/status_page.h"

#include <algorithm>

#include "core/version.h"
#include "win32/dpi.h"
#include "win32/unicode.h"

namespace wl::app {

using ui::Page;
using ui::ActionTile;
using ui::Glyph;

namespace {
constexpr COLORREF kPageBack = RGB(241, 245, 251);
constexpr COLORREF kCardBorder = RGB(214, 223, 236);
constexpr COLORREF kNoticeText = RGB(192, 32, 32);
}  // namespace

void StatusPage::OnCreate() {
  heading_ = MakeChild(L"STATIC", "Status", SS_LEFT | SS_NOPREFIX, 1030);
  const char* captions[3] = {"Program version:", "Reference of infection definitions:",
                             "Database file last updated:"};
  const char* values[3] = {"v" WL_VERSION_TEXT, "3000", "2005-10-1"};
  const int ids[3] = {kVersionLabel, kDefinitionsLabel, kLastUpdatedLabel};
  for (int i = 0; i < 3; ++i) {
    captions_[i] = MakeChild(L"STATIC", captions[i], SS_LEFT | SS_NOPREFIX, 1040 + i);
    values_[i] = MakeChild(L"STATIC", values[i], SS_LEFT | SS_NOPREFIX, ids[i]);
  }
  notice_ = MakeChild(L"STATIC", "", SS_LEFT | SS_NOPREFIX, kNotice);
  ShowWindow(notice_, SW_HIDE);

  tiles_[0].Create(hwnd(), kSiteImmunizeLabel,
                   {"Site Immunize", "Click to immunize the restricted malicious sites now !", Glyph::GlobeShield});
  tiles_[1].Create(hwnd(), kHijackScanLabel,
                   {"Scan PC Hijacker", "Click to scan for PC hijack programs now !", Glyph::Magnifier});
  tiles_[2].Create(hwnd(), kSpywareImmunizeLabel,
                   {"Spyware Immunize", "Click to immunize the known spyware,adware,malware now !",
                    Glyph::ShieldCheck});
  tiles_[0].onClick = [this] {
    if (onSiteImmunize) onSiteImmunize();
  };
  tiles_[1].onClick = [this] {
    if (onScan) onScan();
  };
  tiles_[2].onClick = [this] {
    if (onSpywareImmunize) onSpywareImmunize();
  };
  for (auto& t : tiles_) {
    ActionTile* self = &t;
    t.onHover = [this, self] {
      for (auto& other : tiles_)
        if (&other != self) other.SetHot(false);
    };
  }
  UpdateFonts();
}

void StatusPage::UpdateFonts() {
  headingFont_ = win32::CreateUiFont(Dpi(), {.points = 13, .weight = FW_SEMIBOLD});
  valueFont_ = win32::CreateUiFont(Dpi(), {.points = 9, .weight = FW_SEMIBOLD});
  SendMessageW(heading_, WM_SETFONT, reinterpret_cast<WPARAM>(headingFont_.get()), TRUE);
  for (HWND v : values_) SendMessageW(v, WM_SETFONT, reinterpret_cast<WPARAM>(valueFont_.get()), TRUE);
}

void StatusPage::OnDpiChanged() { UpdateFonts(); }

void StatusPage::SetDefinitions(const std::string& text) { win32::SetText(values_[1], text); }
void StatusPage::SetLastUpdated(const std::string& text) { win32::SetText(values_[2], text); }

void StatusPage::SetDatabaseNotice(const std::string& text) {
  win32::SetText(notice_, text);
  ShowWindow(notice_, text.empty() ? SW_HIDE : SW_SHOW);
  Relayout();
}

std::string StatusPage::LabelText(int id) const { return win32::GetText(GetDlgItem(hwnd(), id)); }

void StatusPage::ResetHover() {
  for (auto& t : tiles_) t.SetHot(false);
}

RECT StatusPage::CardRect() const {
  RECT client{};
  GetClientRect(hwnd(), &client);
  const int margin = S(20);
  const int width = std::min<int>(client.right - 2 * margin, S(760));
  const bool notice = IsWindowVisible(notice_);
  const int height = S(52) + 3 * S(26) + (notice ? S(44) : 0) + S(22) + 3 * S(76) + S(16);
  return RECT{margin, margin, margin + std::max(width, S(200)), margin + height};
}

void StatusPage::OnLayout(int, int) {
  if (!heading_) return;
  const RECT card = CardRect();
  const int pad = S(20);
  int y = card.top + S(14);
  MoveWindow(heading_, card.left + pad, y, card.right - card.left - 2 * pad, S(28), TRUE);
  y += S(38);
  const int captionWidth = S(250);
  for (int i = 0; i < 3; ++i) {
    MoveWindow(captions_[i], card.left + pad, y, captionWidth, S(20), TRUE);
    MoveWindow(values_[i], card.left + pad + captionWidth, y, card.right - card.left - 2 * pad - captionWidth, S(20),
               TRUE);
    y += S(26);
  }
  if (IsWindowVisible(notice_)) {
    MoveWindow(notice_, card.left + pad, y + S(4), card.right - card.left - 2 * pad, S(36), TRUE);
    y += S(44);
  }
  y += S(22);
  for (auto& t : tiles_) {
    MoveWindow(t.hwnd(), card.left + S(8), y, card.right - card.left - S(16), S(68), TRUE);
    y += S(76);
  }
  InvalidateRect(hwnd(), nullptr, TRUE);
}

LRESULT StatusPage::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_ERASEBKGND: {
      HDC dc = reinterpret_cast<HDC>(wParam);
      RECT client{};
      GetClientRect(hwnd(), &client);
      SetDCBrushColor(dc, kPageBack);
      FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
      const RECT card = CardRect();
      SetDCBrushColor(dc, RGB(255, 255, 255));
      SetDCPenColor(dc, kCardBorder);
      HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(DC_BRUSH));
      HGDIOBJ oldPen = SelectObject(dc, GetStockObject(DC_PEN));
      RoundRect(dc, card.left, card.top, card.right, card.bottom, S(10), S(10));
      // A thin line between the values and the actions.
      const int lineY = card.top + S(52) + 3 * S(26) + (IsWindowVisible(notice_) ? S(44) : 0) + S(10);
      MoveToEx(dc, card.left + S(20), lineY, nullptr);
      LineTo(dc, card.right - S(20), lineY);
      SelectObject(dc, oldPen);
      SelectObject(dc, oldBrush);
      return 1;
    }
    case WM_MOUSEMOVE:
      ResetHover();
      return 0;
    case WM_CTLCOLORSTATIC: {
      HDC dc = reinterpret_cast<HDC>(wParam);
      SetBkColor(dc, RGB(255, 255, 255));
      const HWND control = reinterpret_cast<HWND>(lParam);
      if (control == notice_) SetTextColor(dc, kNoticeText);
      else if (control == heading_) SetTextColor(dc, RGB(33, 50, 77));
      else if (control == values_[0] || control == values_[1] || control == values_[2])
        SetTextColor(dc, RGB(33, 50, 77));
      else SetTextColor(dc, RGB(90, 98, 112));
      SetDCBrushColor(dc, RGB(255, 255, 255));
      return reinterpret_cast<LRESULT>(GetStockObject(DC_BRUSH));
    }
    default:
      break;
  }
  return Page::HandleMessage(msg, wParam, lParam);
}

}  // namespace wl::app
