// What the autorun page does to the system: removing an entry and its
// program file, and adding a program to the current user's Run key. Every
// change goes through the system write routines; nothing here shows a message.
#pragma once

#include <string>
#include <string_view>

#include "autorun/autorun_rules.h"
#include "autorun/autorun_scan.h"
#include "sysroutines/system_write.h"

namespace wl {

struct RemovalChoice {
  bool deleteProgramFile = false;  // end the program's processes and move its file to the Recycle Bin
  bool deleteEntry = false;        // remove the entry itself
};

struct RemovalOutcome {
  // The program file was asked for but not moved: the page says "Can not
  // remove " and the "Value" text. programFileReason says why, when known.
  bool programFileNotRemoved = false;
  std::string programFileReason;
  // What ending the program's processes did ("Ended upd.exe (1234)."), for
  // the user; empty when none ran it.
  std::string programsEnded;
  // The entry is gone (removed now, or already gone): the row leaves the list.
  bool entryRemoved = false;
  // Why an entry that was asked for is still there (e.g. access denied).
  std::string entryError;
};

// Removes what the choice asks for, the program file first, then the entry:
// - a registry value is deleted from the key its "Registry Key" text names;
// - a Startup shortcut file is deleted outright;
// - a hook value with a system default (Winlogon's Shell, Userinit,
//   AppInit_DLLs) gets that default back instead;
// - a scheduled task is deleted (all its actions go with it);
// - a Win.ini entry is removed from the file, and System.ini's [boot] shell
//   is set back to "Explorer.exe" (an empty shell would leave no desktop);
//   an INI entry that no longer holds the row's value is left as it is.
// The processes whose program file is the entry's program (as the judge
// resolved it, else the program path of the text) are ended first - never
// other processes of that file name, never a program of Windows itself;
// only a file named exactly by the "Value" text is moved.
RemovalOutcome RemoveAutorunItem(const AutorunRow& row, const RemovalChoice& choice, const AutorunPlaces& places);

// "Restore Default": writes the system's default back into the value a hook
// row stands for. Only rows with a default (CanRestoreDefault).
WriteResult RestoreAutorunDefault(const AutorunRow& row);
bool CanRestoreDefault(const AutorunRow& row);

// Removes the element a row stands for from its list value (one element of a
// multi-string, one program of a comma list) and writes the rest back in the
// value's type; the defaults stay. A list left empty gets the row's default.
WriteResult RemoveAutorunElement(const AutorunRow& row);

// "Disable": disables the scheduled task of a task row, which stays listed.
WriteResult DisableAutorunTask(const AutorunRow& row);
inline bool CanDisable(const AutorunRow& row) { return !row.taskPath.empty(); }

// The shortcut file of a "Startup Menu" or "Common_Startup Menu" row; empty
// for other rows.
std::string StartupShortcutPath(const AutorunRow& row, const AutorunPlaces& places);

// Writes the program into HKEY_CURRENT_USER's Run key (RunValueName,
// RunValueData), replacing a value of the same name.
WriteResult AddProgramToRun(std::string_view programPath);

inline constexpr const char* kUserRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr const char* kDefaultShell = "Explorer.exe";

}  // namespace wl
