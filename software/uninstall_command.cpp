#include "software/uninstall_command.h"

#include <algorithm>

namespace wl {
namespace {

constexpr std::string_view kBlanks = " \t";

std::string_view TrimRight(std::string_view s) {
  const auto end = s.find_last_not_of(kBlanks);
  return end == std::string_view::npos ? std::string_view() : s.substr(0, end + 1);
}

std::string_view TrimLeft(std::string_view s) {
  const auto start = s.find_first_not_of(kBlanks);
  return start == std::string_view::npos ? std::string_view() : s.substr(start);
}

// 0-based position of the first ".exe" in any letter case, or npos.
std::size_t FindExeAnyCase(std::string_view s) {
  for (std::size_t i = 0; i + 4 <= s.size(); ++i) {
    if (s[i] != '.') continue;
    const char e = s[i + 1], x = s[i + 2], e2 = s[i + 3];
    if ((e == 'e' || e == 'E') && (x == 'x' || x == 'X') && (e2 == 'e' || e2 == 'E')) return i;
  }
  return std::string_view::npos;
}

}  // namespace

std::string SoftwareHelpInfo(std::string_view publisher, std::string_view helpLink) {
  std::string text(publisher);
  if (!helpLink.empty()) text += "  (" + std::string(helpLink) + ")";
  return text;
}

std::string SoftwareListHeader(std::size_t count) { return "Installed Software (Total " + std::to_string(count) + ")"; }

UninstallLaunch SplitUninstallCommand(std::string_view command) {
  const auto upper = command.find(".EXE");
  const auto lower = command.find(".exe");
  std::size_t pos = std::string_view::npos;
  if (upper != std::string_view::npos && lower != std::string_view::npos)
    pos = std::max(upper, lower);
  else if (upper != std::string_view::npos)
    pos = upper;
  else if (lower != std::string_view::npos)
    pos = lower;
  else
    pos = FindExeAnyCase(command);

  UninstallLaunch launch;
  if (pos == std::string_view::npos) {
    launch.program = std::string(TrimLeft(TrimRight(command)));
    launch.wholeCommand = true;
    return launch;
  }
  const std::size_t cut = std::min(command.size(), pos + 5);  // ".exe" and the character after it
  launch.program = std::string(TrimLeft(TrimRight(command.substr(0, cut))));
  launch.parameters = std::string(TrimLeft(command.substr(cut)));
  return launch;
}

std::string TextBeforeLastBackslash(std::string_view text) {
  const auto slash = text.rfind('\\');
  return slash == std::string_view::npos ? std::string() : std::string(text.substr(0, slash));
}

}  // namespace wl
