// Asking the shell: a file's icon, its properties dialog, opening a file,
// folder or address, and the folder picker.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "win32/handles.h"

namespace wl {

// The shell's icon for the type of the program a command or path text names
// (ResolveProgramPath); the file itself is not opened. Small (16 x 16) or
// large. Null when the shell has none.
win32::UniqueHicon GetFileIcon(std::string_view text, bool small);

// Shows the shell's properties dialog of an existing file or folder. False
// when there is no such file or folder, when the item does not offer the
// "properties" verb (it is never passed unchecked: an unknown verb can make
// the shell open, that is run, the file instead), or when the shell refuses.
bool ShowFileProperties(std::string_view path, HWND owner = nullptr);

// Opens a file, folder, web address or mailto text with the shell's "open"
// verb (no parameters, normal window); the shell shows no error dialog.
// False for an empty text or when the shell refuses.
bool ShellOpen(std::string_view text);

// The form of a path the shell routines hand to the shell, which takes no
// path of MAX_PATH characters or more: shorter paths as they are, an existing
// longer one in its 8.3 form, empty when it has none short enough.
std::wstring ShellPathFor(std::string_view path);

// The shell's folder picker with caption as its instruction text, over owner
// (which is disabled while it is shown); critical-error dialogs of the system
// are suppressed meanwhile. initialFolder, when given, is selected first.
// The chosen folder, empty when cancelled or when the choice has no path.
std::string ChooseFolder(std::string_view caption, HWND owner = nullptr, std::string_view initialFolder = {});

}  // namespace wl
