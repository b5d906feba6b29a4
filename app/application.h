// The program block: the single-instance rule, the windows in their order of
// creation, the message loop.
#pragma once

#include <memory>

#include "app/input_box.h"
#include "app/main_window.h"
#include "autorun/startup_setup_dialog.h"
#include "immunize/immunize_dialogs.h"

namespace wl::app {

// The windows of the program, created in order: the main window (whose
// RunStartUp runs the start-up sequence), the autorun removal dialog, the
// spyware and the site immunization dialogs.
class Application {
 public:
  explicit Application(MainOptions options = {});
  ~Application();
  // False when the main window could not be made.
  bool CreateWindows();
  MainWindow& Main() { return main_; }
  wl::StartupSetupDialog& StartupSetup() { return startupSetup_; }
  wl::SpywareImmunizeDialog& SpywareImmunize() { return spywareImmunize_; }
  wl::SiteImmunizeDialog& SiteImmunize() { return siteImmunize_; }

 private:
  MainWindow main_;
  wl::StartupSetupDialog startupSetup_;
  wl::SpywareImmunizeDialog spywareImmunize_;  // both read the tables main_ loads
  wl::SiteImmunizeDialog siteImmunize_;
};

// Window class and title of the hidden window every running instance owns.
inline constexpr wchar_t kApplicationClass[] = L"TApplication";
inline constexpr wchar_t kApplicationTitle[] = L"Wardenlake";

// The whole program; returns the process exit code: 0, also when another
// instance already runs; 1 when the program cannot start.
int WardenlakeMain();

}  // namespace wl::app
