#include "app/input_box.h"

#include "win32/unicode.h"
#include "win32/window.h"

namespace wl::app {

namespace {
constexpr DWORD kFixedDialog = DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU;
}  // namespace

win32::DialogTemplate InputBox::BuildTemplate() const {
  win32::DialogTemplate t(title_, 250, 78, kFixedDialog);
  t.Add(L"STATIC", prompt_, kPromptId, 8, 7, 234, 20, WS_VISIBLE | SS_LEFT | SS_NOPREFIX);
  t.Add(L"EDIT", "", kEditId, 8, 32, 234, 13, WS_VISIBLE | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL);
  t.Add(L"BUTTON", "OK", IDOK, 136, 56, 50, 14, WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON);
  t.Add(L"BUTTON", "Cancel", IDCANCEL, 192, 56, 50, 14, WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON);
  return t;
}

void InputBox::OnInit() {
  win32::SetText(Item(kEditId), value_);
  SendMessageW(Item(kEditId), EM_SETSEL, 0, -1);
}

bool InputBox::OnCommand(int id, int notifyCode) {
  if (id == IDOK) value_ = win32::GetText(Item(kEditId));
  return Dialog::OnCommand(id, notifyCode);
}

std::optional<std::string> InputQuery(HWND owner, const std::string& title, const std::string& prompt,
                                      const std::string& value) {
  InputBox box(title, prompt, value);
  if (box.ShowModal(owner) != IDOK) return std::nullopt;
  return box.Value();
}

}  // namespace wl::app
