// What the process page does to the system.
#pragma once

#include "process/process_rows.h"
#include "sysroutines/system_write.h"

namespace wl {

// Ends the process of the row (by its id: ending every process of the same
// name would also end unrelated instances, such as every service host).
// True when it is gone.
bool KillProcess(const ProcessRow& row);

// "Delete File": ends the processes running the row's program (by executable
// name, so that no instance keeps the file in use), then moves the row's main
// executable to the Recycle Bin.
WriteResult DeleteProcessFile(const ProcessRow& row);

}  // namespace wl
