// Case rules for ASCII letters only: the registry, file names and command
// lines compare case-insensitively, and these are the one place that says
// how. Bytes outside A-Z/a-z (UTF-8 sequences included) are left as they
// are and compare exactly.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace wl {

constexpr char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
constexpr char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

inline std::string AsciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = AsciiLower(c);
  return out;
}

inline std::string AsciiUpper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = AsciiUpper(c);
  return out;
}

constexpr bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  return true;
}

constexpr bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

constexpr bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && EqualsNoCase(text.substr(text.size() - suffix.size()), suffix);
}

// Where word first stands in text, ignoring case; npos when nowhere.
constexpr std::size_t FindNoCase(std::string_view text, std::string_view word, std::size_t from = 0) {
  if (word.size() > text.size()) return std::string_view::npos;
  for (std::size_t i = from; i + word.size() <= text.size(); ++i)
    if (EqualsNoCase(text.substr(i, word.size()), word)) return i;
  return std::string_view::npos;
}

constexpr bool ContainsNoCase(std::string_view text, std::string_view word) {
  return FindNoCase(text, word) != std::string_view::npos;
}

}  // namespace wl
