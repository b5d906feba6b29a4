// For window tests of a page: the main window's services, with message boxes
// and status texts recorded and message boxes answered by the test.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "ui/page.h"

namespace wl::ui::test {

class FakeUi : public UiServices {
 public:
  int Message(const std::string& text, const std::string& caption, UINT) override {
    messages.push_back(caption + "|" + text);
    return answer;
  }
  void ShowStatus(const std::string& text) override { statuses.push_back(text); }
  HWND OwnerWindow() const override { return host; }
  const std::string& AppPath() const override { return path_; }
  void OpenPage(std::string_view name) override { opened.emplace_back(name); }

  std::vector<std::string> messages, statuses;  // "caption|text" of each message box
  std::vector<std::string> opened;
  int answer = IDOK;
  HWND host = nullptr;

 private:
  std::string path_;
};

}  // namespace wl::ui::test
