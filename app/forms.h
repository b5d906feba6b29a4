// The program's own small dialogs. The other dialogs live with their
// subsystems and are created once at start by the program block (app/
// application.h): the autorun removal dialog TForm2 (autorun/
// startup_setup_form.h) and the immunization dialogs TForm5 and TForm4
// (immunize/immunize_forms.h). InputBox is the small modal prompt the
// system does not provide.
#pragma once

#include <optional>
#include <string>

#include "win32/dialog.h"

namespace wl::app {

class InputBox : public win32::Dialog {
 public:
  static constexpr int kPromptId = 100;
  static constexpr int kEditId = 101;
  InputBox(std::string title, std::string prompt, std::string value)
      : title_(std::move(title)), prompt_(std::move(prompt)), value_(std::move(value)) {}
  const std::string& Value() const { return value_; }

 protected:
  win32::DialogTemplate BuildTemplate() const override;
  void OnInit() override;
  bool OnCommand(int id, int notifyCode) override;

 private:
  std::string title_;
  std::string prompt_;
  std::string value_;
};

// Asks for a line of text; nullopt on Cancel.
std::optional<std::string> InputQuery(HWND owner, const std::string& title, const std::string& prompt,
                                      const std::string& value = {});

}  // namespace wl::app
