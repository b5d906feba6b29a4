// The pure rules of the installed-software list: the "Help Info" text, the
// counted header, and how an uninstall command is split into the program to
// start and its parameters.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace wl {

// The publisher, then, when the help link is not empty, two blanks and the
// link in parentheses.
std::string SoftwareHelpInfo(std::string_view publisher, std::string_view helpLink);

// "Installed Software (Total N)".
std::string SoftwareListHeader(std::size_t count);

struct UninstallLaunch {
  std::string program;     // what the shell opens
  std::string parameters;  // passed to it
  bool wholeCommand = false;  // no ".exe" anywhere: start the text as one command line
};

// Splits after the later of the first ".EXE" and the first ".exe", keeping the
// one character that follows the extension (a closing quote or a blank).
// A command with neither form is split at its first ".exe" in any letter
// case; with none at all it is started as a whole command line. Blanks at the
// cut are dropped.
UninstallLaunch SplitUninstallCommand(std::string_view command);

// The text before the last backslash of text; empty when it has none.
std::string TextBeforeLastBackslash(std::string_view text);

}  // namespace wl
