#include "settings/association_scan.h"

#include <windows.h>

#include "sysroutines/system_info.h"
#include "win32/registry.h"

namespace wl {
namespace {

// The default value of a key under HKEY_CLASSES_ROOT as text; empty when the
// key or the value is missing. A value that is not a string shows as the
// lists show any value.
std::string DefaultValueText(const std::string& keyWithBackslash) {
  if (keyWithBackslash.find_first_not_of('\\') == std::string::npos) return {};
  const auto v = win32::ReadValueAt(HKEY_CLASSES_ROOT, keyWithBackslash, "");
  return v ? win32::RegValueText(*v) : std::string();
}

}  // namespace

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
    row.caption = DefaultValueText(AssociationClassKey(key));
    if (row.caption.empty()) row.caption = AssociationBareName(key);
    row.command = DefaultValueText(key);
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
