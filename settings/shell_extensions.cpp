#include "settings/shell_extensions.h"

#include <windows.h>

#include "settings/class_keys.h"
#include "win32/registry.h"

namespace wl {
namespace {

using win32::RegKey;

}  // namespace

std::vector<std::string> ShellExtensionColumns() { return {"Type", "Item Name", "Value", "Key"}; }

std::vector<ShellExtensionRow> ScanShellExtensions() {
  std::vector<ShellExtensionRow> rows;
  for (const ShellExtensionSource& source : ShellExtensionSources()) {
    const auto sourceKey = RegKey::Open(HKEY_CLASSES_ROOT, ClassKeyPath(source.key), KEY_READ);
    if (!sourceKey) continue;
    for (const std::string& name : sourceKey->SubKeyNames()) {
      const std::string display =
          source.itemFromDefault ? ClassKeyDefaultText(ShellExtensionEntryKey(source, name)) : std::string();
      const std::string value = ClassKeyDefaultText(ShellExtensionValueKey(source, name));
      if (auto row = MakeShellExtensionRow(source, name, display, value)) rows.push_back(std::move(*row));
    }
  }
  return rows;
}

}  // namespace wl
