// A baseline read from its file, for "wlscan scan --baseline" and the
// Autorun List's "Compare with Saved...". Reads only.
#pragma once

#include <string>

#include "documents/scan_baseline.h"

namespace wl {

// False with a message that names the file and says what is wrong: it
// cannot be opened or read (the system's reason), is too large, or is no
// baseline (ReadBaseline's reason).
bool ReadBaselineFile(const std::string& path, Baseline& out, std::string& error);

}  // namespace wl
