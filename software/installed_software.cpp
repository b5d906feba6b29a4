#include "software/installed_software.h"

#include <windows.h>

#include "software/uninstall_command.h"
#include "win32/registry.h"

namespace wl {
namespace {

using win32::RegKey;
using win32::RegView;

std::optional<std::string> Text(const RegKey& key, const std::string& name) {
  const auto v = key.Read(name);
  if (!v) return std::nullopt;
  return win32::RegValueText(*v);
}

void ScanView(RegView view, const std::string& shownPath, std::vector<SoftwareRow>& rows) {
  // Read only: a missing uninstall key is an empty list, never created.
  const auto uninstall = RegKey::Open(HKEY_LOCAL_MACHINE, kUninstallKey, KEY_READ, view);
  if (!uninstall) return;
  for (const std::string& name : uninstall->SubKeyNames()) {
    const auto entry = RegKey::Open(HKEY_LOCAL_MACHINE, std::string(kUninstallKey) + "\\" + name, KEY_READ, view);
    if (!entry) continue;
    const auto displayName = Text(*entry, "DisplayName");
    const auto command = Text(*entry, "UninstallString");
    if (!displayName || !command || command->empty()) continue;
    SoftwareRow row;
    row.displayName = *displayName;
    row.helpInfo = SoftwareHelpInfo(Text(*entry, "Publisher").value_or(""), Text(*entry, "HelpLink").value_or(""));
    row.version = Text(*entry, "DisplayVersion").value_or("");
    row.registryKey = "HKEY_LOCAL_MACHINE\\" + shownPath + "\\" + name;
    row.uninstallCommand = *command;
    rows.push_back(std::move(row));
  }
}

}  // namespace

SoftwareScanResult ScanInstalledSoftware() {
  SoftwareScanResult result;
  ScanView(RegView::Force64, kUninstallKey, result.rows);
  ScanView(RegView::Force32, kUninstallKey32, result.rows);
  result.header = SoftwareListHeader(result.rows.size());
  return result;
}

std::vector<std::string> SoftwareColumns(const std::string& header) {
  return {header, "Help Info", "Version", "RegistryKey", "Uninstall Command"};
}

}  // namespace wl
