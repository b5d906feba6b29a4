#include "sysroutines/text_routines.h"

#include <utility>

#include "core/ascii.h"

namespace wl {
namespace {

bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= 32; }

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// Appends tail to head without doubling the backslash where they meet.
std::string JoinPath(std::string_view head, std::string_view tail) {
  std::string out(head);
  if (!out.empty() && out.back() == '\\' && !tail.empty() && tail.front() == '\\') tail.remove_prefix(1);
  out += tail;
  return out;
}

// Replaces every occurrence in one pass (a registry value may be a megabyte
// of patterns), keeping a single backslash where the replacement meets the
// text after it.
void ReplaceAll(std::string& s, std::string_view pattern, std::string_view replacement) {
  std::size_t pos = s.find(pattern);
  if (pos == std::string::npos) return;
  std::string out;
  out.reserve(s.size());
  std::size_t from = 0;
  for (; pos != std::string::npos; pos = s.find(pattern, from)) {
    out.append(s, from, pos - from);
    out += replacement;
    from = pos + pattern.size();
    if (!replacement.empty() && replacement.back() == '\\' && from < s.size() && s[from] == '\\') ++from;
  }
  out.append(s, from, std::string::npos);
  s = std::move(out);
}

void RemoveAll(std::string& s, std::string_view pattern) { ReplaceAll(s, pattern, {}); }

void CutAtFirst(std::string& s, std::string_view pattern) {
  const auto pos = s.find(pattern);
  if (pos != std::string::npos) s.resize(pos);
}

// "\SystemRoot" (any case) starting the path, followed by a backslash or by
// nothing that could belong to a folder name.
void ReplaceLeadingSystemRoot(std::string& s, std::string_view windowsDir) {
  static constexpr std::string_view kSystemRoot = "\\SystemRoot";
  if (windowsDir.empty()) return;
  std::size_t at = 0;
  while (at < s.size() && (IsBlankOrControl(s[at]) || s[at] == '"')) ++at;
  if (!StartsWithNoCase(std::string_view(s).substr(at), kSystemRoot)) return;
  const std::size_t end = at + kSystemRoot.size();
  if (end < s.size() && s[end] != '\\' && !IsBlankOrControl(s[end]) && s[end] != '"') return;
  s = s.substr(0, at) + JoinPath(windowsDir, std::string_view(s).substr(end));
}

}  // namespace

std::string ExtractExecutablePath(std::string_view text, std::string_view windowsDir) {
  std::string s(text);

  // A path in quotes at the start is the program path, whatever it contains.
  bool quoted = false;
  std::size_t first = 0;
  while (first < s.size() && IsBlankOrControl(s[first])) ++first;
  if (first < s.size() && s[first] == '"') {
    const auto close = s.find('"', first + 1);
    if (close != std::string::npos) {
      s = s.substr(first + 1, close - first - 1);
      quoted = true;
    }
  }

  if (!quoted) CutAtFirst(s, "/");
  ReplaceLeadingSystemRoot(s, windowsDir);
  RemoveAll(s, "\\??\\");
  s = AsciiUpper(s);
  if (!windowsDir.empty()) ReplaceAll(s, "%SYSTEMROOT%", windowsDir);
  RemoveAll(s, "%1");
  if (!quoted) {
    CutAtFirst(s, ",");
    CutAtFirst(s, " -");
  }

  // Blanks, control characters and quotes go from both ends; "!" is a
  // legal file-name character and stays.
  std::size_t begin = 0, end = s.size();
  while (begin < end && (IsBlankOrControl(s[begin]) || s[begin] == '"')) ++begin;
  while (end > begin && (IsBlankOrControl(s[end - 1]) || s[end - 1] == '"')) --end;
  return s.substr(begin, end - begin);
}

std::string TrimUpToChar(std::string_view text, char limit) {
  const auto strip = [limit](char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 0x80 && u <= static_cast<unsigned char>(limit);
  };
  std::size_t begin = 0, end = text.size();
  while (begin < end && strip(text[begin])) ++begin;
  while (end > begin && strip(text[end - 1])) --end;
  return std::string(text.substr(begin, end - begin));
}

std::vector<std::string> SplitText(std::string_view text, std::string_view separator) {
  std::vector<std::string> parts;
  if (separator.empty()) {
    parts.emplace_back(text);
    return parts;
  }
  std::size_t start = 0;
  for (auto pos = text.find(separator); pos != std::string_view::npos; pos = text.find(separator, start)) {
    parts.emplace_back(text.substr(start, pos - start));
    start = pos + separator.size();
  }
  parts.emplace_back(text.substr(start));
  return parts;
}

std::string TextBeforeChar(std::string_view text, char c) {
  const auto pos = text.find(c);
  return pos == std::string_view::npos ? std::string() : std::string(text.substr(0, pos));
}

std::string TextBeforeChar(std::string_view text, CharCount count) {
  std::size_t n = count.value < text.size() ? count.value : text.size();
  while (n > 0 && n < text.size() && IsContinuationByte(text[n])) --n;
  return std::string(text.substr(0, n));
}

std::string TextAfterLastChar(std::string_view text, char c) {
  const auto pos = text.rfind(c);
  return pos == std::string_view::npos ? std::string(text) : std::string(text.substr(pos + 1));
}

std::string TextAfterLastChar(std::string_view text, CharCount count) {
  std::size_t start = text.size() - (count.value < text.size() ? count.value : text.size());
  while (start < text.size() && IsContinuationByte(text[start])) ++start;
  return std::string(text.substr(start));
}

std::size_t FindCharFromEnd(std::string_view text, char c, std::size_t n) {
  if (n == 0) return 0;
  for (std::size_t i = text.size(); i > 0; --i)
    if (text[i - 1] == c && --n == 0) return i;
  return 0;
}

bool IsFullPath(std::string_view path) {
  const auto isSlash = [](char c) { return c == '\\' || c == '/'; };
  if (path.size() >= 3 && ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) &&
      path[1] == ':' && isSlash(path[2]))
    return true;
  return path.size() >= 3 && isSlash(path[0]) && isSlash(path[1]) && !isSlash(path[2]);
}

}  // namespace wl
