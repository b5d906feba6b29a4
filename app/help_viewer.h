// F1: a topic of the help file beside the program, opened in the system's
// help viewer (hh.exe, by its full path).
#pragma once

#include <functional>
#include <string>

namespace wl::app {

// Starts a program by its full path with the arguments; false with the
// reason in *error when it cannot.
using StartProgramFn = std::function<bool(const std::string& program, const std::string& arguments, std::string* error)>;

// Opens topic of the help file in the program folder appPath (with its
// trailing backslash), the viewer started through start. Empty when it
// opened, else the message that says why not.
std::string OpenHelpTopic(const std::string& appPath, const std::string& topic, const StartProgramFn& start);

}  // namespace wl::app
