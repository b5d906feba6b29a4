#include "ui/page.h"

#include <commctrl.h>

#include "judge/windows_facts.h"
#include "win32/dpi.h"
#include "win32/unicode.h"

namespace wl::ui {

SharedImages MakeSharedImages(int size) {
  SharedImages s;
  std::vector<Glyph> list1(stock::kCategoryImageCount, Glyph::DocumentGear);
  list1[stock::kSystemService] = Glyph::Gear;
  list1[stock::kBrowserFolder] = Glyph::BrowserFolder;
  list1[stock::kStartupItem] = Glyph::Rocket;
  list1[stock::kSoftware] = Glyph::Package;
  list1[stock::kGearYellow] = Glyph::GearYellow;
  list1[stock::kPortTcp] = Glyph::Plug;
  list1[stock::kPortUdp] = Glyph::PlugUdp;
  s.categoryImages = ImageList(size, list1);
  s.rowImages = ImageList(size, {Glyph::GearRunning, Glyph::GearStopped, Glyph::Window, Glyph::DocumentGear,
                                  Glyph::Warning, Glyph::Check, Glyph::Cross, Glyph::Info, Glyph::Blocks,
                                  Glyph::Puzzle, Glyph::Link, Glyph::Toolbar, Glyph::FolderSheet, Glyph::Drive,
                                  Glyph::RecycleBin, Glyph::Folder, Glyph::Notepad, Glyph::Menu});
  s.extensionIcons = ImageList(size, {});
  return s;
}

bool Page::Create(HWND parent) {
  win32::WindowClass cls;
  cls.name = L"WardenlakePage";
  cls.background = GetSysColorBrush(COLOR_WINDOW);
  if (!CreateWindowOf(cls, WS_EX_CONTROLPARENT, L"", WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0, 0, 100, 100,
                      parent, nullptr))
    return false;
  dpi_ = win32::DpiOf(hwnd());
  font_ = win32::CreateUiFont(dpi_);
  OnCreate();
  Relayout();
  return true;
}

const Judge& Page::PageJudge() {
  if (context_.judge) return *context_.judge;
  if (!ownJudge_) {
    ownFacts_ = std::make_unique<WindowsFacts>();
    ownJudge_ = std::make_unique<Judge>(context_.tables, *ownFacts_);
  }
  return *ownJudge_;
}

HWND Page::MakeChild(const wchar_t* className, const std::string& text, DWORD style, int id, DWORD exStyle) {
  HWND h = CreateWindowExW(exStyle, className, win32::Widen(text).c_str(), WS_CHILD | WS_VISIBLE | style, 0, 0, 10,
                           10, hwnd(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), win32::ModuleInstance(),
                           nullptr);
  if (h) SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(Font()), FALSE);
  return h;
}

void Page::Relayout() {
  RECT r{};
  GetClientRect(hwnd(), &r);
  OnLayout(r.right, r.bottom);
}

LRESULT Page::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_SIZE:
      OnLayout(LOWORD(lParam), HIWORD(lParam));
      return 0;
    case WM_COMMAND:
      if (OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam))) return 0;
      break;
    case WM_NOTIFY: {
      LRESULT result = 0;
      if (OnNotify(reinterpret_cast<const NMHDR*>(lParam), &result)) return result;
      break;
    }
    case WM_CONTEXTMENU: {
      const POINT pt{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
      if (OnContextMenu(reinterpret_cast<HWND>(wParam), pt)) return 0;
      break;
    }
    case WM_CTLCOLORSTATIC: {
      // Labels sit on the page's white background.
      HDC dc = reinterpret_cast<HDC>(wParam);
      SetBkColor(dc, GetSysColor(COLOR_WINDOW));
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
    }
    case WM_DPICHANGED_AFTERPARENT: {
      dpi_ = win32::DpiOf(hwnd());
      font_ = win32::CreateUiFont(dpi_);
      for (HWND c = GetWindow(hwnd(), GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(Font()), TRUE);
      OnDpiChanged();
      Relayout();
      return 0;
    }
    default:
      break;
  }
  return Default(msg, wParam, lParam);
}

}  // namespace wl::ui
