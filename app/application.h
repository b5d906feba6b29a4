// The program block: the single-instance rule, the forms in their order of
// creation, the message loop.
#pragma once

#include <memory>

#include "app/forms.h"
#include "app/main_form.h"
#include "autorun/startup_setup_form.h"
#include "immunize/immunize_forms.h"

namespace wl::app {

// The forms of the program, created in order: the main window (whose
// FormCreate runs the start-up sequence), the autorun removal dialog, the
// spyware and the site immunization dialogs.
class Application {
 public:
  explicit Application(MainOptions options = {});
  ~Application();
  // False when the main window could not be made.
  bool CreateForms();
  TForm1& Form1() { return form1_; }
  wl::TForm2& Form2() { return form2_; }
  wl::TForm5& Form5() { return form5_; }
  wl::TForm4& Form4() { return form4_; }

 private:
  TForm1 form1_;
  wl::TForm2 form2_;
  wl::TForm5 form5_;  // both read the tables form1_ loads
  wl::TForm4 form4_;
};

// Window class and title of the hidden window every running instance owns.
inline constexpr wchar_t kApplicationClass[] = L"TApplication";
inline constexpr wchar_t kApplicationTitle[] = L"Wardenlake";

// The whole program; returns the process exit code: 0, also when another
// instance already runs; 1 when the program cannot start.
int WardenlakeMain();

}  // namespace wl::app
