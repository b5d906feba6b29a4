// Full paths of the system's own programs. Whatever the program starts by
// itself (the registry editor, regsvr32, Explorer, …) is started by one of
// these paths, never by a bare name: a bare name is searched in the current
// folder and along PATH, where unwanted software may have put a program of
// that name.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace wl {

// The system folder ("C:\Windows\System32") and the Windows folder
// ("C:\Windows", the machine's own even on a terminal server); no trailing
// backslash; empty on failure.
std::string SystemFolder();
std::string WindowsFolder();

// fileName in the system folder ("regsvr32.exe", "rundll32.exe") or in the
// Windows folder ("regedit.exe", "explorer.exe"). Empty when the folder is
// unknown or fileName is not a bare file name (holds a folder, a drive or
// "..").
std::string SystemProgramPath(std::string_view fileName);
std::string WindowsProgramPath(std::string_view fileName);

// The path of the running program itself, empty on failure.
std::string OwnProgramPath();
// The folder of the running program with a trailing backslash (where its
// reference database and help file lie), empty on failure.
std::string OwnProgramFolder();

}  // namespace wl

namespace wl {

// Starts programPath (a full path) with administrative rights through the
// shell's "runas" verb (the system asks the user first). True when it
// started; false with the Win32 error code in *error otherwise
// (ERROR_CANCELLED when the user said no).
bool StartProgramElevated(const std::string& programPath, uint32_t* error = nullptr);

// Starts programPath (a full path; no search along PATH, no shell verb) with
// arguments after its quoted path on the command line, and lets it run.
// True when it started; false with the Win32 error code in *error otherwise.
bool StartProgram(const std::string& programPath, const std::string& arguments, uint32_t* error = nullptr);

}  // namespace wl
