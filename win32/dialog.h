// Dialogs built from in-memory templates (no resource script needed), and a
// Dialog base class that behaves like a form created once and reused: Create
// makes the window hidden, ShowModal shows it modally over its owner and hides
// it again on End, so its controls keep their state between openings. A
// Dialog is a Window: the same attachment, dispatch and exception guard.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "win32/window.h"

namespace wl::win32 {

// A DLGTEMPLATEEX with its items. Coordinates are dialog units.
class DialogTemplate {
 public:
  DialogTemplate(const std::string& title, short width, short height,
                 DWORD style = DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU, DWORD exStyle = 0,
                 const wchar_t* font = L"MS Shell Dlg", WORD points = 9);
  // className: L"BUTTON", L"EDIT", L"STATIC", WC_LISTVIEWW …
  DialogTemplate& Add(const wchar_t* className, const std::string& text, int id, short x, short y, short width,
                      short height, DWORD style, DWORD exStyle = 0);
  const DLGTEMPLATE* Data() const;

 private:
  void Word(WORD w);
  void Dword(DWORD d);
  void Text(const std::wstring& s);
  void Align();
  std::vector<uint8_t> bytes_;
  std::size_t countAt_ = 0;
  WORD count_ = 0;
};

class Dialog : public Window {
 public:
  // Creates the window, hidden. Returns false when it cannot be made.
  bool Create(HWND owner);
  // Shows the dialog modally over owner (creating it first when needed) and
  // returns the code given to End; IDCANCEL when it could not be shown.
  int ShowModal(HWND owner);
  void End(int result);
  bool IsShowing() const { return showing_; }
  HWND Item(int id) const { return GetDlgItem(hwnd(), id); }

 protected:
  virtual DialogTemplate BuildTemplate() const = 0;
  // Once, after the controls exist.
  virtual void OnInit() {}
  // Each time before the dialog is shown.
  virtual void OnShow() {}
  // IDOK and IDCANCEL end the dialog unless overridden.
  virtual bool OnCommand(int id, int notifyCode);
  // The dialog procedure's answer: TRUE when the message was handled.
  INT_PTR HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
  void OnDestroyed() override { ended_ = true; }

 private:
  static INT_PTR CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT Route(UINT msg, WPARAM wParam, LPARAM lParam) override;
  bool showing_ = false;
  bool ended_ = false;
  int result_ = IDCANCEL;
};

// Centres window over owner (or the screen's work area when owner is null).
void CenterOver(HWND window, HWND owner);

}  // namespace wl::win32
