// The autorun places after the registry sources, the INI entries and the
// Startup folders (sources 1 to 21): scheduled tasks (source 22) and the
// logon and process hooks (sources 23 and up), each hook source one line of
// a table. Portable: no system calls.
#pragma once

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "autorun/autorun_rules.h"
#include "core/task_definition.h"

namespace wl {

inline constexpr int kScheduledTaskSource = 22;

// The places where software persists beyond sources 1 to 21, each one
// row of a table: where the key is, which of its values count, how a value
// is read and what Windows puts there itself. A key path may hold "*"
// parts: every sub-key there ("…\\RunOnceEx\\*\\", "…\\Notify\\*\\").

// Which values of a key become rows.
enum class HookValues {
  Strings,  // every value of a string type (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) that is not empty
  Any,      // every value whatever its type (its data as text)
  Named,    // the values named in valueNames ("Debugger", "Load|Run"; an empty name is the key's default value)
  KeyName,  // no value: each key the path names is one entry, its name the data (a class identifier)
  ValueNames,  // every value is one entry, its name the data (a DLL path, a class identifier)
  DefaultOrKeyName,  // the key's default value, else the name of the key (a handler's class identifier)
};

// What the text of an entry is, for the judge.
enum class HookText {
  Command,  // a command line as stored
  Path,     // a file path (a DLL): not split at blanks
  Module,   // a DLL name the system looks up in its system folder ("msv1_0"): ".dll" may be left out
  ClassId,  // a COM class identifier: its server is judged
  ProgId,   // a COM program identifier ("Vendor.Connect"): its class's server is judged
  ServiceName,  // a service's or driver's name: the program its key names is judged
};

// When a row goes into the hijack report whatever its verdict.
enum class HookFlag {
  Judge,           // only when the judge flags it
  Always,          // every entry here is unusual (a debugger put before a program, a policy shell)
  OverridesMachine,  // when the same key exists under the machine root too (a per-user class)
};

// Both: a machine-wide key below "\Software\" is read in the 64-bit view and
// in the 32-bit one (its twin under Wow6432Node).
enum class RegViews { Native, Both };

// What removing a row does: delete the value (an element of a list: write
// the list back without it), write the system's default back, or delete the
// key the row's value lives in.
enum class HookRemoval { DeleteValue, RestoreDefault, DeleteKey };

struct HookSource {
  int number;
  std::string_view category;  // "Logon", "Winlogon", "LSA" …
  RegRoot root;
  std::string_view keyPath;  // "\Software\…\Winlogon\", as the "Registry Key" text shows it after the root
  RegViews views;
  HookValues values;
  std::string_view valueNames = {};  // Named: the values, separated by '|'
  ValueSplit split = ValueSplit::Whole;
  HookText text = HookText::Command;
  HookFlag flag = HookFlag::Judge;
  // The elements Windows ships there, separated by '|' ("msv1_0",
  // "%windir%\system32\userinit.exe"): they are no rows; everything else is
  // flagged.
  std::string_view defaults = {};
  HookRemoval removal = HookRemoval::DeleteValue;
  // RestoreDefault: the whole value Windows ships ("%windir%" stands for the
  // Windows directory).
  std::string_view restore = {};
  std::string_view detailValue = {};  // a value of the same key the row's details show
  // The item name is the key's default value (a component's title) when it
  // has one, else the name of the sub-key the last "*" stands for.
  bool titled = false;
  // A key is an entry only when it holds this value (an add-in's LoadBehavior).
  std::string_view requiredValue = {};
};

// The hook sources in scan order.
std::span<const HookSource> HookSources();

// The key paths a source reads, "\Software\…\" forms: the key, then its
// 32-bit twin where the source reads both views. "*" parts stay.
std::vector<std::string> HookKeyPaths(const HookSource& source);
std::string HookKeyText(RegRoot root, std::string_view keyPath);
// The names of a Named source ("Load|Run" -> Load, Run; "" -> the default value).
std::vector<std::string> HookValueNames(const HookSource& source);

// The whole value a source's removal writes back (RestoreDefault), the
// Windows directory put in.
std::string HookDefaultValue(const HookSource& source, std::string_view windowsDir);
// Whether one element (or the whole value) is one the system ships there:
// case, blanks, quotes, the Windows directory's spellings and, for modules,
// the system folder and ".dll" aside.
bool IsHookDefault(const HookSource& source, std::string_view element, std::string_view windowsDir);

// The file the judge looks at for a module name: "msv1_0" ->
// "<windows>\system32\msv1_0.dll"; a path stays as it is.
std::string ModulePath(std::string_view name, std::string_view windowsDir);

// The elements of a list value ("a.exe, b.exe"): split at the separators,
// blanks around them trimmed, empty ones left out.
std::vector<std::string> SplitHookList(ValueSplit split, std::string_view text);
// The list text without one element (the first one equal to it, case
// aside) and the separator after it; nullopt when the list does not hold it.
std::optional<std::string> ListWithout(ValueSplit split, std::string_view text, std::string_view element);
// The same for the elements of a multi-string.
std::optional<std::vector<std::string>> ElementsWithout(const std::vector<std::string>& elements,
                                                        std::string_view element);

// The file a service's or driver's ImagePath names, as the system loader
// reads it: "\SystemRoot\…", "System32\…" and "\??\C:\…" made full paths;
// none given: the drivers folder's "<name>.sys" (a driver's default).
std::string DriverImagePath(std::string_view imagePath, std::string_view serviceName, std::string_view windowsDir);
// Whether a driver's file lies where Windows keeps drivers: its drivers
// folder (or below it) or the driver store's packages.
bool IsInDriverFolders(std::string_view path, std::string_view windowsDir);

// Whether a command's program lies in the Windows directory or below it.
bool IsSystemProgram(std::string_view command, std::string_view windowsDir);

// Places that are files: a program Windows loads or starts because a file of
// that name is where it looks.
enum class FileFolder {
  System,     // the Windows directory's system32
  Windows,    // the Windows directory
  Documents,  // the user's documents
  AppData,    // the user's roaming application data
};

enum class FileCheck {
  Present,     // the file is there at all (Windows ships none of that name)
  NotItsName,  // a program of Windows' own whose version information names another program
  EveryFile,   // every file of the folder
};

struct FilePlace {
  int number;
  std::string_view category;
  FileFolder folder;
  std::string_view path;  // below the folder: a file, or (EveryFile) a folder
  FileCheck check;
  HookFlag flag = HookFlag::Judge;
  // NotItsName: the original file names the real program's version
  // information gives, separated by '|'.
  std::string_view names = {};
};

std::span<const FilePlace> FilePlaces();

// Whether a file's original name (from its version information) is one the
// place accepts; an empty one (no version information) is none.
bool IsOwnName(const FilePlace& place, std::string_view originalName);

// A hook row that stands for the same value as a row before firstHook (the
// sources 1 to 21 read some of the same keys) is dropped; what it knows (the
// default, the flag) goes to that row.
void MergeHookRows(std::vector<AutorunRow>& rows, std::size_t firstHook);

// The rows of a scheduled task: one per action. comServer gives the program
// of a COM handler's class (empty when unknown).
using ComServerLookup = std::function<std::string(const std::string& classId)>;
std::vector<AutorunRow> TaskRows(const ScheduledTask& task, const ComServerLookup& comServer);

// The "Registry Key" text of a task folder's rows: "Task Scheduler\Folder".
std::string TaskKeyText(std::string_view folder);

// A task's state and triggers, as the row's details say them.
std::string TaskDetails(const ScheduledTask& task);

}  // namespace wl
