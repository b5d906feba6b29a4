// The saved hijack report as bytes, and what the report says about this
// system (date, Windows version, computer, time).
#pragma once

#include <cstdint>
#include <string>

#include "documents/scan_document.h"

namespace wl {

// The report text (UTF-8) in the system's ANSI code page when every
// character has its own place there; otherwise UTF-8 with a byte-order mark,
// so that no name turns into "?".
std::string ReportFileBytes(const std::string& utf8Text);
// The same rule for a given code page (tests try code pages the test system
// does not run in).
std::string ReportFileBytes(const std::string& utf8Text, unsigned codePage);

// Writes bytes to the file, replacing it. 0 or the system error code.
uint32_t WriteWholeFile(const std::string& path, const std::string& bytes);

// Today's date in the user's short date form.
std::string ShortDateToday();

// Program and database fields are left to the caller.
ScanHead ScanHeadOfThisSystem();

}  // namespace wl
