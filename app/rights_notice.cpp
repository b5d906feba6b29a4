#include "app/rights_notice.h"

#include "win32/dpi.h"
#include "win32/unicode.h"
#include "win32/window.h"

namespace wl::app {

std::string RightsNoticeFor(const Feature& feature) {
  if (!feature.rightsNeededFor) return {};
  return std::string("Wardenlake runs without administrative rights. ") + feature.rightsNeededFor +
         " needs them: choose \"" + kRunAsAdministrator + "\".";
}

void RightsNoticeLine::Create(HWND parent, int textId, int buttonId, UINT menuCommand) {
  text_ = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | SS_LEFTNOWORDWRAP | SS_CENTERIMAGE | SS_NOPREFIX, 0, 0, 0, 0,
                          parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(textId)), win32::ModuleInstance(),
                          nullptr);
  button_ = CreateWindowExW(0, L"BUTTON", win32::Widen(kRunAsAdministrator).c_str(),
                            WS_CHILD | WS_TABSTOP | BS_PUSHBUTTON, 0, 0, 0, 0, parent,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(buttonId)), win32::ModuleInstance(), nullptr);
  const auto font = reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT));
  SendMessageW(text_, WM_SETFONT, font, FALSE);
  SendMessageW(button_, WM_SETFONT, font, FALSE);
  // The same item on the window menu, reachable from every page.
  if (HMENU menu = GetSystemMenu(parent, FALSE)) {
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, menuCommand, win32::Widen(kRunAsAdministrator).c_str());
  }
}

bool RightsNoticeLine::Update(const Feature* inView) {
  if (!text_) return false;
  const std::string text = inView ? RightsNoticeFor(*inView) : std::string();
  const bool wasShown = Shown();
  SetWindowTextW(text_, win32::Widen(text).c_str());
  ShowWindow(text_, text.empty() ? SW_HIDE : SW_SHOWNA);
  ShowWindow(button_, text.empty() ? SW_HIDE : SW_SHOWNA);
  return wasShown != !text.empty();
}

bool RightsNoticeLine::Shown() const { return text_ && (GetWindowLongW(text_, GWL_STYLE) & WS_VISIBLE); }

std::string RightsNoticeLine::Text() const { return Shown() ? win32::GetText(text_) : std::string(); }

int RightsNoticeLine::Place(const RECT& area, UINT dpi) {
  if (!Shown()) return 0;
  const int line = win32::Scale(30, dpi), gap = win32::Scale(6, dpi), button = win32::Scale(150, dpi);
  MoveWindow(text_, area.left + gap, area.top + gap / 2, area.right - area.left - button - 3 * gap, line - gap, TRUE);
  MoveWindow(button_, area.right - button - gap, area.top + gap / 2, button, line - gap, TRUE);
  return line;
}

}  // namespace wl::app
