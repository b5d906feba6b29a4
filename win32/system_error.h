// The system's own text for a Win32 error code.
#pragma once

#include <cstdint>
#include <string>

namespace wl::win32 {

// E.g. "Access is denied." for 5; "Error 12345." when the system has no text.
std::string SystemErrorText(uint32_t code);

}  // namespace wl::win32
