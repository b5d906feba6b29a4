// UTF-8 text <-> std::filesystem::path, so the portable code opens files with
// non-ASCII names on Windows too (where paths are UTF-16).
#pragma once

#include <filesystem>
#include <string>

namespace wl {

inline std::filesystem::path PathFromUtf8(const std::string& text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

inline std::string Utf8FromPath(const std::filesystem::path& path) {
  const std::u8string s = path.u8string();
  return std::string(s.begin(), s.end());
}

}  // namespace wl
