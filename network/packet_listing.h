// The packets of a capture file as the sniffer's grid lists them, one row
// per packet, for the console scanner.
#pragma once

#include <string>

#include "core/page_text.h"

namespace wl {

// False with a reason when the file cannot be read or is damaged (the rows
// before the damage are in text).
bool PacketsPageText(const std::string& path, PageText& text, std::string& error);

}  // namespace wl
