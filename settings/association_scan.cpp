#include "settings/association_scan.h"

#include <windows.h>

#include "settings/class_keys.h"
#include "sysroutines/system_info.h"
#include "win32/registry.h"

namespace wl {

AssociationTables BuildAssociationTables() { return BuildAssociationTables(GetWindowsDir()); }

std::vector<std::string> AssociationColumns() { return {"File Association", "Relative Program", "Analysis"}; }

std::string AssociationRegistryPath(const AssociationTables& tables, std::size_t index) {
  return std::string("HKEY_CLASSES_ROOT") + tables.AssociationKeys.at(index);
}

AssociationScanResult ScanAssociations(const AssociationTables& tables) {
  AssociationScanResult result;
  for (std::size_t i = 0; i < kAssociationCount; ++i) {
    const std::string& key = tables.AssociationKeys[i];
    AssociationRow row;
    row.caption = ClassKeyDefaultText(AssociationClassKey(key));
    if (row.caption.empty()) row.caption = AssociationBareName(key);
    row.command = ClassKeyDefaultText(key);
    row.verdict = JudgeAssociation(tables, i, row.command);
    row.analysis = AssociationVerdictText(row.verdict);
    row.image = AssociationVerdictImage(row.verdict);
    if (row.verdict == AssociationVerdict::Distrustful && AssociationReportsHijack(i)) {
      HijackRow flagged;
      flagged.itemName = row.caption;
      flagged.description = kSystemAssociationCategory;
      flagged.index = static_cast<int>(i);
      flagged.entryKey = AssociationBareName(key);  // the file class, e.g. "exefile"
      result.hijack.push_back(std::move(flagged));
    }
    result.rows.push_back(std::move(row));
  }
  return result;
}

}  // namespace wl
