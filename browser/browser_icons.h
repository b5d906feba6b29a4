// The pictures of the extension list's rows: a file's associated icon, or
// the icon at an index inside a file.
#pragma once

#include "browser/browser_rules.h"
#include "win32/handles.h"

namespace wl {

// The small icon the source names; null when there is none.
win32::UniqueHicon LoadRowIcon(const IconSource& source);

}  // namespace wl
