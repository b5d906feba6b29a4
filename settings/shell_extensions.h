// The shell extension list on the live registry: the verbs and context-menu
// handlers of the seven sources, in source order and, within a source, in
// the order the registry enumerates them.
#pragma once

#include <string>
#include <vector>

#include "settings/shell_extension_rules.h"

namespace wl {

// Reads HKEY_CLASSES_ROOT only; a missing source gives no rows.
std::vector<ShellExtensionRow> ScanShellExtensions();

std::vector<std::string> ShellExtensionColumns();

}  // namespace wl
