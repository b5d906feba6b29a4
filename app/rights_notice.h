// What the main window says when it runs without administrative rights: the
// status bar's panel, and a line above each page whose actions need them.
#pragma once

#include <string>

namespace wl::app {

inline constexpr char kNoRightsStatus[] = "No administrative rights";
inline constexpr char kRunAsAdministrator[] = "Run as administrator";

// The line shown above page pageIndex without administrative rights; empty
// for a page whose actions need none.
std::string RightsNoticeFor(int pageIndex);

}  // namespace wl::app
