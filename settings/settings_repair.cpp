#include "settings/settings_repair.h"

#include <windows.h>

#include "settings/class_keys.h"

namespace wl {
namespace {

WriteResult Refused(const std::string& message) {
  WriteResult r;
  r.error = ERROR_INVALID_PARAMETER;
  r.message = message;
  return r;
}

}  // namespace

WriteResult RestoreDefaultAssociation(const AssociationTables& tables, std::size_t index) {
  if (!HasDefaultCommand(index)) return Refused("This association has no default command.");
  const RestoreCommand command = DefaultCommandFor(tables, index);
  return WriteRegString(HKEY_CLASSES_ROOT, ClassKeyPath(tables.AssociationKeys[index]), "",
                        command.command, command.expandable ? REG_EXPAND_SZ : REG_SZ);
}

WriteResult SetCustomAssociation(const AssociationTables& tables, std::size_t index, const std::string& program) {
  if (index >= kAssociationCount || HasDefaultCommand(index))
    return Refused("This association is restored to its default, not set to a program of your own.");
  if (program.empty() || program.find('"') != std::string::npos) return Refused("No valid program was chosen.");
  return WriteRegString(HKEY_CLASSES_ROOT, ClassKeyPath(tables.AssociationKeys[index]), "",
                        CustomOpenCommand(program), REG_SZ);
}

WriteResult RemoveShellExtension(const ShellExtensionRow& row) {
  if (row.isDefault) return Refused("The selected item is a default setting of the system; it is not removed.");
  for (const auto& source : ShellExtensionSources()) {
    const std::string prefix = ShellExtensionEntryKey(source, "");
    if (row.key.size() <= prefix.size() || row.key.compare(0, prefix.size(), prefix) != 0) continue;
    const std::string name = row.key.substr(prefix.size());
    if (name.find('\\') != std::string::npos) break;
    return DeleteRegTree(HKEY_CLASSES_ROOT, ClassKeyPath(row.key));
  }
  return Refused("The key " + row.key + " is not a shell extension entry.");
}

}  // namespace wl
