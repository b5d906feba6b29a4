// Parts of a Windows path as text (no file system is asked).
#pragma once

#include <string_view>

namespace wl {

// What follows the last backslash or slash: "C:\x\y.exe" -> "y.exe".
constexpr std::string_view FileNameOf(std::string_view path) {
  const std::size_t slash = path.find_last_of("\\/");
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace wl
