#include "software/software_page_text.h"

#include "software/installed_software.h"

namespace wl {

PageText SoftwarePageText(const ReferenceTables&) {
  const SoftwareScanResult scan = ScanInstalledSoftware();
  PageText text;
  text.header = SoftwareColumns(scan.header);
  text.keys = {"name", "helpInfo", "version", "registryKey", "uninstallCommand"};
  for (const auto& row : scan.rows)
    text.rows.push_back({row.displayName, row.helpInfo, row.version, row.registryKey, row.uninstallCommand});
  return text;
}

}  // namespace wl
