// Process operations shared by the process page and the autorun removal:
// the debug privilege, the process count, termination by executable name or
// by id, and the table of top-level windows.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace wl {

// Enables (or disables) SeDebugPrivilege in the program's own token; true
// when the change succeeded.
bool EnableDebugPrivilege(bool enable);

// The current number of processes from the performance counter
// "\Objects\Processes". Raises std::runtime_error("Error: XXXXXXXX") with the
// failing status as eight hex digits (the counter does not exist under Wine).
int64_t CountProcesses();

// Ids of every running process, from EnumProcesses into a buffer that grows
// until everything fits. Empty with error set when the query fails.
std::vector<DWORD> EnumerateProcessIds(DWORD* error = nullptr);

// Ends every process whose executable file name equals the file-name part of
// name (exactly, ignoring case), windowless ones included, found through the
// process snapshot. True when none of them is left running within the wait;
// true as well when none was running. The program never ends itself.
bool TerminateProcessByName(const std::string& name,
                            std::chrono::milliseconds wait = std::chrono::milliseconds(5000));

// Ends one process with exit code 0 and waits (bounded) until it is gone,
// answering messages sent to the program's windows meanwhile. True when the
// process is gone (also when it was gone already).
bool TerminateProcessById(DWORD id, std::chrono::milliseconds wait = std::chrono::milliseconds(5000));

// One top-level window and the process that owns it.
struct WindowEntry {
  std::string executableName;  // owner's executable file name, upper case; empty when not found
  std::string title;
  bool visible = false;
  HWND window = nullptr;
  std::string className;
  DWORD threadId = 0;
  DWORD processId = 0;
};

// Rebuilds the table of every top-level window, in enumeration order.
std::vector<WindowEntry> RefreshWindowTable();

// The running processes whose executable file name equals fileName (ignoring
// case), from the process snapshot.
std::vector<DWORD> FindProcessesByExecutableName(const std::string& fileName);

}  // namespace wl
