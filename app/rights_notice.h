// What the main window says when it runs without administrative rights: the
// status bar's panel, the window menu's item and a line with a button above
// each page whose actions need them (the feature table says which).
#pragma once

#include <windows.h>

#include <string>

#include "features/feature_table.h"

namespace wl::app {

inline constexpr char kNoRightsStatus[] = "No administrative rights";
inline constexpr char kRunAsAdministrator[] = "Run as administrator";

// The line shown above the feature's page without administrative rights;
// empty when nothing on it needs them.
std::string RightsNoticeFor(const Feature& feature);

// The line above the page and its button "Run as administrator".
class RightsNoticeLine {
 public:
  // Makes the line (hidden) and the window menu's item; the button sends
  // parent buttonId, the menu item the system command menuCommand.
  void Create(HWND parent, int textId, int buttonId, UINT menuCommand);
  // Shows the notice of the feature in view (null: none), or hides the
  // line; true when the line came or went, so that the page moves.
  bool Update(const Feature* inView);
  // Whether the line is meant to show (its window may still be hidden).
  bool Shown() const;
  // The text of the line; empty while hidden.
  std::string Text() const;
  // Puts the line at the top of area (the page's area); returns the height
  // it takes there, 0 while hidden.
  int Place(const RECT& area, UINT dpi);

 private:
  HWND text_ = nullptr;
  HWND button_ = nullptr;
};

}  // namespace wl::app
