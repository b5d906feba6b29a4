// InputBox: the small modal prompt for a line of text the system does not
// provide (the process dictionary asks with it). The program's other dialogs
// live with their features and are created once at start by the program
// block (app/application.h): the autorun removal dialog StartupSetupDialog
// (autorun/startup_setup_dialog.h) and the immunization dialogs
// SpywareImmunizeDialog and SiteImmunizeDialog (immunize/immunize_dialogs.h).
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
