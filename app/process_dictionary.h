// The process dictionary: what Process.db says about a process name the user
// types.
#pragma once

#include <string>
#include <string_view>

#include "refdb/reference_tables.h"

namespace wl::app {

inline constexpr char kDictionaryTitle[] = "Process Dictionary";
inline constexpr char kDictionaryPrompt[] =
    "Input the process name that you want to kown.\n(eg \"smss.exe\",\"winamp.exe\")";
inline constexpr char kDictionaryResultTitle[] = "Process Dictionary Result";

struct DictionaryAnswer {
  std::string processName;  // the typed text as a program path, lower case
  std::string information;  // the verdict
};

// The typed text is normalised like a command line (ExtractExecutablePath
// with windowsDir) and lower-cased; it is not cut to its file name, so a
// typed folder finds nothing.
DictionaryAnswer LookupProcessDictionary(std::string_view typed, const ReferenceTables& tables,
                                         std::string_view windowsDir);
// The result message's text.
std::string DictionaryMessage(const DictionaryAnswer& answer);

}  // namespace wl::app
