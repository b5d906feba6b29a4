#include "tests/support/registry_dump.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "win32/registry.h"
#include "win32/unicode.h"

namespace wl::test {
namespace {

std::string Hex(const std::vector<uint8_t>& data) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  out.reserve(data.size() * 2);
  for (uint8_t b : data) {
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

// Keys the system itself keeps while programs run: the service control
// manager counts the service processes it starts in ServiceCurrent (a
// volatile key; the task service starts when the tasks are listed).
bool KeptByTheSystem(const std::string& path) {
  static const char* const kKept[] = {
      "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\ServiceCurrent",
      "HKEY_LOCAL_MACHINE\\System\\ControlSet001\\Control\\ServiceCurrent",
  };
  for (const char* kept : kKept)
    if (CompareStringOrdinal(win32::Widen(path).c_str(), -1, win32::Widen(kept).c_str(), -1, TRUE) == CSTR_EQUAL)
      return true;
  // Wine's user32 keeps the system parameters it was given for this session
  // (the mouse's, when a window first meets the display) in a volatile key
  // of each user.
  return path.starts_with("HKEY_USERS\\") &&
         path.ends_with("\\Software\\Wine\\Temporary System Parameters");
}

// One line per key and per value: "path" and "path\t name\t type\t bytes".
// A key that cannot be opened is a line of its own, so that it is compared
// too. Wine sorts what it enumerates, Windows does not: the lines are sorted.
void Walk(HKEY parent, const std::string& name, const std::string& path, int depth, std::vector<std::string>& out) {
  if (KeptByTheSystem(path)) return;
  LONG error = ERROR_SUCCESS;
  const auto key = win32::RegKey::Open(parent, name, KEY_READ, win32::RegView::Default, &error);
  if (!key) {
    out.push_back(path + "\t(cannot be opened: " + std::to_string(error) + ")");
    return;
  }
  out.push_back(path);
  for (const auto& value : key->Values())
    out.push_back(path + "\t" + value.name + "\t" + std::to_string(value.type) + "\t" + Hex(value.data));
  if (depth > 64) return;  // a loop of links
  for (const auto& sub : key->SubKeyNames()) Walk(key->get(), sub, path + "\\" + sub, depth + 1, out);
}

}  // namespace

std::vector<std::string> DumpRegistry() {
  std::vector<std::string> lines;
  Walk(HKEY_LOCAL_MACHINE, "", "HKEY_LOCAL_MACHINE", 0, lines);
  Walk(HKEY_USERS, "", "HKEY_USERS", 0, lines);
  std::sort(lines.begin(), lines.end());
  return lines;
}

// What one dump has that the other has not, at most a few lines of each.
std::string RegistryDifference(const std::vector<std::string>& before, const std::vector<std::string>& after) {
  std::vector<std::string> gone, added;
  std::set_difference(before.begin(), before.end(), after.begin(), after.end(), std::back_inserter(gone));
  std::set_difference(after.begin(), after.end(), before.begin(), before.end(), std::back_inserter(added));
  std::string text;
  for (std::size_t i = 0; i < gone.size() && i < 10; ++i) text += "  - " + gone[i].substr(0, 300) + "\n";
  for (std::size_t i = 0; i < added.size() && i < 10; ++i) text += "  + " + added[i].substr(0, 300) + "\n";
  return text;
}

}  // namespace wl::test
