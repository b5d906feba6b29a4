// The dialogs of the program: created once at start and reused, so their
// controls keep their state between openings. The autorun removal dialog and
// the two immunization dialogs are filled by their own pages' code; here
// they are the frames the main window opens. InputBox is the small modal
// prompt the system does not provide.
#pragma once

#include <optional>
#include <string>

#include "win32/dialog.h"

namespace wl::app {

// "Startup Setup": properties and removal of an autorun entry.
class TForm2 : public win32::Dialog {
 protected:
  win32::DialogTemplate BuildTemplate() const override;
};

// "Immunize Spyware,Adware,Malware".
class TForm5 : public win32::Dialog {
 protected:
  win32::DialogTemplate BuildTemplate() const override;
};

// "Immunize Restricted Sites".
class TForm4 : public win32::Dialog {
 protected:
  win32::DialogTemplate BuildTemplate() const override;
};

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
