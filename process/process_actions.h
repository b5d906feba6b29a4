// What the process page does to the system.
#pragma once

#include "process/operate_process.h"
#include "process/process_rows.h"
#include "sysroutines/system_write.h"

namespace wl {

// Ends the process of the row (by its id: ending every process of the same
// name would also end unrelated instances, such as every service host).
// True when it is gone.
bool KillProcess(const ProcessRow& row);

// "Delete File": ends the processes running the row's program file (every
// process of that very file, so that none keeps it in use; never one whose
// program merely has its name elsewhere), then moves the file to the
// Recycle Bin. ended, when given, receives what the ending did.
WriteResult DeleteProcessFile(const ProcessRow& row, EndProgramResult* ended = nullptr);

}  // namespace wl
