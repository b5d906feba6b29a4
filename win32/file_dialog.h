// The system's dialogs that ask for a file to open or a name to save under.
// Every page that asks for a file asks through these, so the dialogs behave
// alike: the file must exist to be opened, its folder to be saved into, and
// an existing file is only overwritten after the dialog asked.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace wl::win32 {

struct FileChoice {
  // Pairs of a caption and its patterns, separated by '|':
  // "Text File|*.txt|All Files|*.*".
  std::string_view filter{};
  std::string_view title{};             // empty: the system's own title
  std::string_view defaultExtension{};  // added to a name typed without one ("txt")
  std::string_view suggestedName{};     // the name the dialog starts with
};

// The full path chosen (UTF-8), nothing when the user cancelled.
std::optional<std::string> AskOpenFile(HWND owner, const FileChoice& choice);
std::optional<std::string> AskSaveFile(HWND owner, const FileChoice& choice);

}  // namespace wl::win32
