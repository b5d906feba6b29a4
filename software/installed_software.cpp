#include "software/installed_software.h"

#include "software/uninstall_command.h"
#include "sysroutines/system_source.h"

namespace wl {
namespace {

void ScanView(const SystemSource& source, SourceView view, const std::string& shownPath,
              std::vector<SoftwareRow>& rows) {
  // Read only: a missing uninstall key is an empty list, never created.
  const auto uninstall = source.Open(SourceRoot::LocalMachine, kUninstallKey, view);
  if (!uninstall) return;
  for (const std::string& name : uninstall->SubKeyNames()) {
    const auto entry = uninstall->Open(name);
    if (!entry) continue;
    const auto displayName = entry->ReadText("DisplayName");
    const auto command = entry->ReadText("UninstallString");
    if (!displayName || !command || command->empty()) continue;
    SoftwareRow row;
    row.displayName = *displayName;
    row.helpInfo =
        SoftwareHelpInfo(entry->ReadText("Publisher").value_or(""), entry->ReadText("HelpLink").value_or(""));
    row.version = entry->ReadText("DisplayVersion").value_or("");
    row.registryKey = "HKEY_LOCAL_MACHINE\\" + shownPath + "\\" + name;
    row.uninstallCommand = *command;
    rows.push_back(std::move(row));
  }
}

}  // namespace

SoftwareScanResult ScanInstalledSoftware() { return ScanInstalledSoftware(LiveSystemSource()); }

SoftwareScanResult ScanInstalledSoftware(const SystemSource& source) {
  SoftwareScanResult result;
  ScanView(source, SourceView::Force64, kUninstallKey, result.rows);
  ScanView(source, SourceView::Force32, kUninstallKey32, result.rows);
  result.header = SoftwareListHeader(result.rows.size());
  return result;
}

std::vector<std::string> SoftwareColumns(const std::string& header) {
  return {header, "Help Info", "Version", "RegistryKey", "Uninstall Command"};
}

}  // namespace wl
