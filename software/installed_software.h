// The installed-software list: the machine-wide uninstall entries of 64-bit
// and 32-bit programs, with the command that removes each.
#pragma once

#include <string>
#include <vector>

#include "core/system_source.h"

namespace wl {

inline constexpr const char* kUninstallKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
// Where 32-bit programs register on a 64-bit system, as the registry editor shows it.
inline constexpr const char* kUninstallKey32 = "SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

struct SoftwareRow {
  std::string displayName;       // "Installed Software"
  std::string helpInfo;          // "Help Info": publisher and help link
  std::string version;           // "Version"
  std::string registryKey;       // "RegistryKey" (hidden): full path of the entry's key
  std::string uninstallCommand;  // "Uninstall Command" (hidden)
};

struct SoftwareScanResult {
  std::vector<SoftwareRow> rows;
  std::string header;  // "Installed Software (Total N)"
};

// Every entry with a "DisplayName" and a non-empty "UninstallString", first
// those of the native view, then those of the 32-bit view, each in the order
// the registry enumerates them. Values of other types show as text. This
// PC's, or the system the source reads.
SoftwareScanResult ScanInstalledSoftware();
SoftwareScanResult ScanInstalledSoftware(const SystemSource& source);

std::vector<std::string> SoftwareColumns(const std::string& header);

}  // namespace wl
