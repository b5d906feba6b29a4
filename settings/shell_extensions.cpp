#include "settings/shell_extensions.h"

#include <windows.h>

#include "win32/registry.h"

namespace wl {
namespace {

using win32::RegKey;

std::string WithoutLeadingBackslash(const std::string& key) {
  std::string path = key.substr(key.empty() || key[0] != '\\' ? 0 : 1);
  while (!path.empty() && path.back() == '\\') path.pop_back();
  return path;
}

// The default value of a key under HKEY_CLASSES_ROOT as the lists show any
// value; empty when the key or the value is missing.
std::string DefaultValueText(const std::string& key) {
  const auto v = win32::ReadValueAt(HKEY_CLASSES_ROOT, key, "");
  return v ? win32::RegValueText(*v) : std::string();
}

}  // namespace

std::vector<std::string> ShellExtensionColumns() { return {"Type", "Item Name", "Value", "Key"}; }

std::vector<ShellExtensionRow> ScanShellExtensions() {
  std::vector<ShellExtensionRow> rows;
  for (const ShellExtensionSource& source : ShellExtensionSources()) {
    const auto sourceKey = RegKey::Open(HKEY_CLASSES_ROOT, WithoutLeadingBackslash(source.key), KEY_READ);
    if (!sourceKey) continue;
    for (const std::string& name : sourceKey->SubKeyNames()) {
      const std::string display =
          source.itemFromDefault ? DefaultValueText(ShellExtensionEntryKey(source, name)) : std::string();
      const std::string value = DefaultValueText(ShellExtensionValueKey(source, name));
      if (auto row = MakeShellExtensionRow(source, name, display, value)) rows.push_back(std::move(*row));
    }
  }
  return rows;
}

}  // namespace wl
