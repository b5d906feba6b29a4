#include "settings/class_keys.h"

#include <windows.h>

#include "win32/registry.h"

namespace wl {

std::string ClassKeyPath(const std::string& key) {
  std::string path = key.substr(key.empty() || key[0] != '\\' ? 0 : 1);
  while (!path.empty() && path.back() == '\\') path.pop_back();
  return path;
}

std::string ClassKeyDefaultText(const std::string& key) {
  if (key.find_first_not_of('\\') == std::string::npos) return {};
  const auto v = win32::ReadValueAt(HKEY_CLASSES_ROOT, key, "");
  return v ? win32::RegValueText(*v) : std::string();
}

}  // namespace wl
