#include "win32/dialog.h"

#include <cstring>
#include <utility>

#include "win32/unicode.h"

namespace wl::win32 {

DialogTemplate::DialogTemplate(const std::string& title, short width, short height, DWORD style, DWORD exStyle,
                               const wchar_t* font, WORD points) {
  style |= DS_SETFONT | DS_SHELLFONT;
  Word(1);       // dlgVer
  Word(0xFFFF);  // signature
  Dword(0);      // helpID
  Dword(exStyle);
  Dword(style);
  countAt_ = bytes_.size();
  Word(0);  // cDlgItems, patched by Add
  Word(0);  // x
  Word(0);  // y
  Word(static_cast<WORD>(width));
  Word(static_cast<WORD>(height));
  Word(0);  // no menu
  Word(0);  // the standard dialog class
  Text(Widen(title));
  Word(points);
  Word(FW_NORMAL);
  bytes_.push_back(0);  // italic
  bytes_.push_back(DEFAULT_CHARSET);
  Text(font);
}

DialogTemplate& DialogTemplate::Add(const wchar_t* className, const std::string& text, int id, short x, short y,
                                    short width, short height, DWORD style, DWORD exStyle) {
  Align();
  Dword(0);  // helpID
  Dword(exStyle);
  Dword(style | WS_CHILD);
  Word(static_cast<WORD>(x));
  Word(static_cast<WORD>(y));
  Word(static_cast<WORD>(width));
  Word(static_cast<WORD>(height));
  Dword(static_cast<DWORD>(id));
  Text(className);
  Text(Widen(text));
  Word(0);  // no creation data
  ++count_;
  std::memcpy(bytes_.data() + countAt_, &count_, sizeof count_);
  return *this;
}

const DLGTEMPLATE* DialogTemplate::Data() const { return reinterpret_cast<const DLGTEMPLATE*>(bytes_.data()); }

void DialogTemplate::Word(WORD w) {
  const auto* p = reinterpret_cast<const uint8_t*>(&w);
  bytes_.insert(bytes_.end(), p, p + sizeof w);
}

void DialogTemplate::Dword(DWORD d) {
  const auto* p = reinterpret_cast<const uint8_t*>(&d);
  bytes_.insert(bytes_.end(), p, p + sizeof d);
}

void DialogTemplate::Text(const std::wstring& s) {
  for (wchar_t c : s) Word(static_cast<WORD>(c));
  Word(0);
}

void DialogTemplate::Align() {
  while (bytes_.size() % 4) bytes_.push_back(0);
}

bool Dialog::Create(HWND owner) {
  if (hwnd()) return true;
  const DialogTemplate tpl = BuildTemplate();
  CreateDialogIndirectParamW(ModuleInstance(), tpl.Data(), owner, &Dialog::Proc, reinterpret_cast<LPARAM>(this));
  return hwnd() != nullptr;
}

int Dialog::ShowModal(HWND owner) {
  if (!hwnd() && !Create(owner)) return IDCANCEL;
  if (showing_) return IDCANCEL;
  OnShow();
  CenterOver(hwnd(), owner);
  const bool ownerWasEnabled = owner && IsWindowEnabled(owner);
  if (ownerWasEnabled) EnableWindow(owner, FALSE);
  showing_ = true;
  ended_ = false;
  result_ = IDCANCEL;
  ShowWindow(hwnd(), SW_SHOW);
  SetForegroundWindow(hwnd());
  MSG msg;
  while (!ended_) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0 || got == -1) {
      if (got == 0) PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (!IsDialogMessageW(hwnd(), &msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  // Enable the owner before hiding so that activation returns to it.
  if (ownerWasEnabled) EnableWindow(owner, TRUE);
  if (hwnd()) ShowWindow(hwnd(), SW_HIDE);
  if (owner) SetActiveWindow(owner);
  showing_ = false;
  return result_;
}

void Dialog::End(int result) {
  result_ = result;
  ended_ = true;
  // Wakes the modal loop when End is called from outside a message.
  PostMessageW(hwnd(), WM_NULL, 0, 0);
}

bool Dialog::OnCommand(int id, int) {
  if (id == IDOK || id == IDCANCEL) {
    End(id);
    return true;
  }
  return false;
}

INT_PTR Dialog::HandleMessage(UINT msg, WPARAM wParam, LPARAM) {
  switch (msg) {
    case WM_COMMAND:
      return OnCommand(LOWORD(wParam), HIWORD(wParam)) ? TRUE : FALSE;
    case WM_CLOSE:
      End(IDCANCEL);
      return TRUE;
    default:
      return FALSE;
  }
}

LRESULT Dialog::Route(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_INITDIALOG) {
    OnInit();
    return TRUE;
  }
  return HandleMessage(msg, wParam, lParam);
}

INT_PTR CALLBACK Dialog::Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  Dialog* self = nullptr;
  if (msg == WM_INITDIALOG) {
    self = reinterpret_cast<Dialog*>(lParam);
    if (self) self->Attach(hwnd);
  } else {
    self = static_cast<Dialog*>(FromHandle(hwnd));
  }
  if (!self) return FALSE;
  LRESULT result = FALSE;
  self->Dispatch(msg, wParam, lParam, result);  // a handler that threw: not handled
  return result;
}

void CenterOver(HWND window, HWND owner) {
  RECT win{};
  GetWindowRect(window, &win);
  RECT area{};
  if (owner && IsWindowVisible(owner)) {
    GetWindowRect(owner, &area);
  } else {
    MONITORINFO mi{};
    mi.cbSize = sizeof mi;
    GetMonitorInfoW(MonitorFromWindow(owner ? owner : window, MONITOR_DEFAULTTOPRIMARY), &mi);
    area = mi.rcWork;
  }
  const int w = win.right - win.left;
  const int h = win.bottom - win.top;
  const int x = area.left + ((area.right - area.left) - w) / 2;
  const int y = area.top + ((area.bottom - area.top) - h) / 2;
  SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace wl::win32
