// What the installed-software page does: run an uninstaller, remove an entry,
// find the folder of a program.
#pragma once

#include <string>

#include "software/installed_software.h"
#include "sysroutines/system_write.h"

namespace wl {

// Starts the uninstall command without waiting for it: split into program
// and parameters and opened through the shell, or, with no ".exe" in it,
// started as one command line. The result carries the reason when it could
// not be started.
// registryKey, the entry's "RegistryKey" text, names what the uninstaller is
// known to change: the backup keeps that key before it starts.
WriteResult StartUninstaller(const std::string& command, const std::string& registryKey = {});

// Deletes the entry's key with all its sub-keys. Only an entry directly below
// one of the two uninstall keys is ever deleted.
WriteResult RemoveSoftwareEntry(const SoftwareRow& row);

// The folder of the program the uninstall command names, when it exists;
// empty otherwise (so that nothing but a folder is ever opened).
std::string SoftwareFolder(const std::string& command);

}  // namespace wl
