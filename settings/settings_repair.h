// What the association and shell-extension pages change in the registry.
#pragma once

#include <cstddef>
#include <string>

#include "settings/association_rules.h"
#include "settings/shell_extension_rules.h"
#include "sysroutines/system_write.h"

namespace wl {

// Writes the default open command of entry index (0 to 10) as the default
// value of its command key, creating the key when it is missing.
WriteResult RestoreDefaultAssociation(const AssociationTables& tables, std::size_t index);

// Writes "<program>" "%1" as the open command of entry index (11 to 19),
// creating the key when it is missing.
WriteResult SetCustomAssociation(const AssociationTables& tables, std::size_t index, const std::string& program);

// Deletes the verb's or handler's key with everything below it. Refused for
// entries carrying the default mark, and for any key that is not one entry
// directly below one of the seven sources.
WriteResult RemoveShellExtension(const ShellExtensionRow& row);

}  // namespace wl
