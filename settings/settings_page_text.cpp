#include "settings/settings_page_text.h"

#include "settings/association_scan.h"
#include "settings/shell_extensions.h"

namespace wl {

PageText AssociationsPageText(const ReferenceTables&) {
  return AssociationsPageTextOf(ScanAssociations(BuildAssociationTables()));
}

PageText AssociationsPageTextOf(const AssociationScanResult& scan) {
  PageText text;
  text.header = AssociationColumns();
  text.keys = {"name", "command", "verdict"};
  for (const auto& row : scan.rows) text.rows.push_back({row.caption, row.command, row.analysis});
  text.hijack = scan.hijack;
  return text;
}

PageText ShellExtensionsPageText(const ReferenceTables&) {
  PageText text;
  text.header = ShellExtensionColumns();
  text.keys = {"type", "name", "value", "key"};
  for (const auto& row : ScanShellExtensions()) text.rows.push_back({row.type, row.itemName, row.value, row.key});
  return text;
}

}  // namespace wl
