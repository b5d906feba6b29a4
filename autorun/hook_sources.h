// The autorun places of current systems after the 21 classic sources:
// scheduled tasks (source 22) and the logon and process hooks (sources 23 and
// up), each hook source one line of a table. Portable: no system calls.
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

// Which values of a hook source's key become rows.
enum class HookRule {
  StringValues,     // every string value (REG_SZ, REG_EXPAND_SZ) that is not empty
  NamedValue,       // the value named valueName, when it is a string that is not empty
  NotDefault,       // the value named valueName, when it is set and differs from the system's default
  SubKeyValue,      // the value named valueName of every sub-key (one row per sub-key)
  SubKeyNonSystem,  // as SubKeyValue, when its command is no program of the Windows directory
};

// Both: a machine-wide key below "\Software\" is read in the 64-bit view and
// in the 32-bit one (its twin under Wow6432Node).
enum class RegViews { Native, Both };

// What removing a row does: delete the value, or write the system's default.
enum class HookRemoval { DeleteValue, RestoreDefault };

enum class HookDefault { None, Shell, Userinit, Empty };

struct HookSource {
  int number;
  RegRoot root;
  std::string_view keyPath;  // "\Software\…\Winlogon\", as the "Registry Key" text shows it after the root
  RegViews views;
  HookRule rule;
  std::string_view valueName;    // the value the rule reads (empty for StringValues)
  HookRemoval removal;
  HookDefault byDefault = HookDefault::None;
  std::string_view detailValue = {};  // a value of the same key the row's details show
};

// The hook sources in scan order.
std::span<const HookSource> HookSources();

// The key paths a source reads, "\Software\…\" forms: the key, then its
// 32-bit twin where the source reads both views.
std::vector<std::string> HookKeyPaths(const HookSource& source);
std::string HookKeyText(RegRoot root, std::string_view keyPath);

// The system's default of a value ("explorer.exe"; the Windows directory's
// "system32\userinit.exe,"; ""), and whether data is that default (case,
// blanks and a Userinit's trailing commas aside; the bare file name counts).
std::string HookDefaultValue(HookDefault byDefault, std::string_view windowsDir);
bool IsHookDefault(HookDefault byDefault, std::string_view data, std::string_view windowsDir);

// Whether a command's program lies in the Windows directory or below it.
bool IsSystemProgram(std::string_view command, std::string_view windowsDir);

// A hook row that stands for the same value as a row before firstHook (the
// classic sources read some of the same keys) is dropped; what it knows (the
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
