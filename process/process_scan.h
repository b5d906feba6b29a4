// Reads the running processes and their modules into rows with verdicts.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "process/process_rows.h"
#include "refdb/reference_tables.h"
#include "core/page_text.h"

namespace wl {

struct ProcessScan {
  std::vector<ProcessRow> rows;
  std::string error;  // the system error text when the process ids could not be read
};

// At most this many modules are read per process.
inline constexpr std::size_t kMaxModules = 1024;

// Lists every running process except the idle and system pseudo-processes,
// with its modules (main executable first) and its verdict. A process whose
// modules cannot be read is listed by its executable name from the process
// snapshot, with a size of 0 and no modules.
ProcessScan ScanProcesses(const ReferenceTables& tables);
// The same, every process judged by its program.
ProcessScan ScanProcesses(const Judge& judge);
// Judges the rows whose program is known.
void JudgeProcessRows(std::vector<ProcessRow>& rows, const Judge& judge);

// One process's row; exposed for tests.
ProcessRow ReadProcessRow(DWORD id, const ReferenceTables& tables);

// "System Error.  Code: N." and the system's text for the code on the next line.
std::string SystemErrorMessage(DWORD code);

// What the console scanner prints for the process page.
PageText ProcessPageText(const Judge& judge);

}  // namespace wl
