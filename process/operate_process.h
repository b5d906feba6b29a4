// Process operations shared by the process page and the autorun removal:
// the debug privilege, the process count, termination of the processes of
// one program file or of one process by id, and the table of top-level
// windows.
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

// One process, by the file name of its program and its id.
struct ProcessOfFile {
  std::string name;
  DWORD id = 0;
  bool operator==(const ProcessOfFile&) const = default;
};

struct EndProgramResult {
  std::vector<ProcessOfFile> ended;   // ended now
  std::vector<ProcessOfFile> failed;  // still running: could not be ended within the wait
  // Processes Windows cannot do without that run the file (its session
  // manager, service host, logon …): never ended.
  std::vector<ProcessOfFile> spared;
  bool AllEnded() const { return failed.empty() && spared.empty(); }
  // What was done, for the user: "Ended upd.exe (1234) and upd.exe (1240)."
  // with what could not be ended or was left running after it; empty when
  // no process ran the file.
  std::string Text() const;
};

// Ends the processes whose program file (the image path the system gives,
// QueryFullProcessImageNameW) is the file at programPath - the same file,
// however either path is written (short names, case, "..") - windowless
// ones included; never a process that merely has a program of that name
// elsewhere, never a process Windows cannot do without (one marked to stop
// the system when it ends, or the system's own session, logon, service and
// security programs in the system folder), never this program itself. A
// process that starts another instance of the file as it dies is ended too,
// until none is left or the wait is over.
EndProgramResult EndProcessesOfFile(const std::string& programPath,
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
