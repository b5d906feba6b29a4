// For window tests of a single page: a host window, the shared images, a
// page context whose message boxes are recorded and answered by the test,
// and the page itself, created and shown.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/page.h"
#include "ui/ui_test_support.h"

namespace wl::ui::test {

class RecordingUi : public UiServices {
 public:
  struct Shown {
    std::string text, caption;
    UINT flags = 0;
  };
  int Message(const std::string& text, const std::string& caption, UINT flags) override {
    messages.push_back({text, caption, flags});
    return answer ? answer(messages.back()) : IDOK;
  }
  void ShowStatus(const std::string& text) override { status = text; }
  HWND OwnerWindow() const override { return nullptr; }
  const std::string& AppPath() const override { return path_; }
  void OpenPage(std::string_view name) override { opened.emplace_back(name); }

  std::vector<Shown> messages;
  std::function<int(const Shown&)> answer;  // default: IDOK
  std::string status;
  std::vector<std::string> opened;

 private:
  std::string path_;
};

template <class P>
class PageHost {
 public:
  PageHost() {
    EnsureUi();
    images = MakeSharedImages(16);
    host_ = CreateWindowExW(WS_EX_CONTROLPARENT, L"STATIC", L"host", WS_OVERLAPPEDWINDOW, 0, 0, 900,
                            600, nullptr, nullptr, nullptr, nullptr);
    page = std::make_unique<P>(context);
    page->Create(host_);
    MoveWindow(page->hwnd(), 0, 0, 880, 560, TRUE);
    ShowWindow(page->hwnd(), SW_SHOW);
  }
  ~PageHost() {
    page.reset();
    DestroyWindow(host_);
  }
  PageHost(const PageHost&) = delete;
  PageHost& operator=(const PageHost&) = delete;

  bool MenuEnabled(int id) const {
    return !(GetMenuState(page->PopupMenu(), static_cast<UINT>(id), MF_BYCOMMAND) & MF_GRAYED);
  }
  bool MenuChecked(int id) const {
    return (GetMenuState(page->PopupMenu(), static_cast<UINT>(id), MF_BYCOMMAND) & MF_CHECKED) != 0;
  }
  bool ButtonEnabled(int id) const {
    return SendMessageW(page->Toolbar(), TB_ISBUTTONENABLED, static_cast<WPARAM>(id), 0) != 0;
  }
  std::string MenuText(int id) const {
    wchar_t buf[128] = {};
    GetMenuStringW(page->PopupMenu(), static_cast<UINT>(id), buf, 128, MF_BYCOMMAND);
    std::string out;
    for (const wchar_t* c = buf; *c; ++c) out += static_cast<char>(*c);
    return out;
  }
  // Selects a row as a click would, and runs the popup handler.
  void Select(std::size_t row) {
    page->List().Select(row);
    page->RunPopup();
  }

  ReferenceTables tables;
  HijackList hijack;
  SharedImages images;
  RecordingUi ui;
  PageContext context{tables, hijack, images, ui};
  std::unique_ptr<P> page;

 private:
  HWND host_ = nullptr;
};

}  // namespace wl::ui::test
