// What the autorun list is made of: its sources with their value rules, its
// rows and their texts, the verdict rules that give a row its status image
// and a place in the hijack report, and the data "Add Program" writes.
// Portable: no system calls.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/table_text.h"
#include "judge/judge.h"
#include "refdb/reference_tables.h"
#include "core/hijack_list.h"

namespace wl {

// Which values of a registry source become rows.
enum class ValueRule {
  All,          // every value; its data as text, whatever its type
  String,       // plain string values (REG_SZ) only
  StringDrive,  // plain string values whose data has a colon as its second character
};

enum class RegRoot { CurrentUser, LocalMachine };

// How a value holds its entries: one entry, or a list whose elements are
// entries of their own (a multi-string element by element; a text split at
// commas, at commas and blanks, or at semicolons).
enum class ValueSplit { Whole, MultiString, Commas, CommasBlanks, Semicolons };

struct RegistrySource {
  int number;           // the source's place in the scan (1 to 16)
  RegRoot root;
  std::string_view keyPath;  // "\Software\…\Run\", as the "Registry Key" text shows it after the root
  ValueRule rule;
};

// The registry sources in scan order: sources 1 to 16, and after each
// machine-wide key that a 64-bit system keeps apart for 32-bit programs (Run,
// RunOnce, RunServicesOnce, RunOnceEx, ShellServiceObjectDelayLoad) its twin
// under Wow6432Node, where 32-bit programs register themselves.
std::span<const RegistrySource> RegistrySources();

// "HKEY_CURRENT_USER\Software\…\Run\": the "Registry Key" text of a source's rows.
std::string RegistryKeyText(const RegistrySource& source);
// The key path to open below the root: without leading and trailing backslashes.
std::string_view RegistryOpenPath(const RegistrySource& source);

// Whether a value passes a source's rule. plainString: the value is of type
// REG_SZ; data: its data as text.
bool PassesValueRule(ValueRule rule, bool plainString, std::string_view data);

// The "Registry Key" texts of the rows that are no registry values.
inline constexpr const char* kWinIniText = "Win.ini";
inline constexpr const char* kSystemIniText = "System.ini";
inline constexpr const char* kStartupMenuText = "Startup Menu";
inline constexpr const char* kCommonStartupMenuText = "Common_Startup Menu";

// Source numbers of the rows that are no registry values.
inline constexpr int kWinIniRunSource = 17;
inline constexpr int kWinIniLoadSource = 18;
inline constexpr int kSystemIniShellSource = 19;
inline constexpr int kUserStartupSource = 20;
inline constexpr int kCommonStartupSource = 21;

// The "Registry Key" text of a scheduled task's rows begins with this, the
// task's folder follows ("Task Scheduler\Folder").
inline constexpr const char* kTaskSchedulerText = "Task Scheduler";

// What kind of entry a row is, by its "Registry Key" text.
enum class AutorunEntryKind { RegistryValue, UserShortcut, CommonShortcut, IniEntry, ScheduledTask, Other };
AutorunEntryKind EntryKindOf(std::string_view registryKeyText);

// Images of the autorun list's image list: three fixed status images, then
// one program icon per row.
inline constexpr int kStatusWarning = 0;
inline constexpr int kStatusCheck = 1;
inline constexpr int kStatusCross = 2;
inline constexpr int kFixedStatusImages = 3;
inline constexpr const char* kStartupItem = "Startup Item";
inline constexpr int kStartupItemImage = 21;  // its category image in the report

// How an entry is removed when that is not told by its "Registry Key" text.
enum class AutorunRemoval {
  Standard,          // by the kind of entry (a value, a key, a file, a task …)
  TerminalLogon,     // "startOnUserLogin" set to false in the settings file (filePath)
  WmiSubscription,   // the WMI consumer, its bindings and a filter no other binding uses
  TransferJob,       // the transfer job cancelled
  Service,           // the service (or driver) removed through the service manager
};

struct AutorunRow {
  std::string itemName;     // "Item Name": value name, INI value text or shortcut name
  std::string value;        // "Value": the command text
  std::string registryKey;  // "Registry Key": key path text, or one of the texts above
  std::string analysis;     // "Analysis": the verdict
  int statusImage = -1;     // kStatusWarning, kStatusCheck, kStatusCross, or -1 for none
  int source = 0;           // the source the row came from (1 to 21)
  std::string iconText;     // what the row's program icon is looked up for
  bool largeIcon = false;   // its icon is taken large and shown scaled down
  // The registry value the row stands for when it is not named by "Item
  // Name" (a hook in a program's sub-key: "Debugger", "StubPath").
  std::string valueName;
  // The system's default of the value: removal writes it back ("Restore
  // Default") instead of deleting the value.
  std::optional<std::string> defaultValue;
  // A hook that differs from the system's default goes into the hijack
  // report whatever its program's verdict.
  bool alwaysFlag = false;
  std::string taskPath;     // a scheduled task's path ("\Folder\Name")
  std::string details;      // what the columns do not show: a task's state and triggers, …
  Judgement judgement;      // what the judge says of the program it starts
  // The kind of place ("Logon", "Explorer", "Scheduled Tasks", "Winlogon",
  // "Image Hijacks" …): the page's filter and the listing's column.
  std::string category;
  // The row stands for the key's default (unnamed) value.
  bool unnamedValue = false;
  // An element of a list value: the value holds it among others (split says
  // how); removal writes the list back without it.
  ValueSplit split = ValueSplit::Whole;
  std::string element;
  // What the judge is asked about when it is not the "Value" text (a module
  // name resolved to its file), and whether that is a path, not a command.
  std::string judgeText;
  bool judgePath = false;
  // Removal deletes this key ("HKEY_…\…") instead of a value (a per-user
  // class that overrides the machine's).
  std::string removeKey;
  // A file of a Startup folder that is no shortcut: its full path.
  std::string filePath;
  // The entry names no program the judge can look at (a task's name left
  // without its definition): the row says "(Unknown)" and goes into the
  // hijack report only when alwaysFlag says so.
  bool noProgram = false;
  // Listed only when the judge does not trust its program, and then flagged
  // (a driver in Windows' driver folders: one the judge trusts, signed or
  // Windows' own, is no row; where Windows' catalogs are missing, only one
  // the judge flags is).
  bool onlyUntrusted = false;
  // The program is a driver's (judged as one).
  bool driver = false;
  // What removing the entry changes when it is no registry value, file or
  // task: a setting in a JSON file, a WMI subscription, a transfer job.
  AutorunRemoval removal = AutorunRemoval::Standard;
  // What that removal acts on: the WMI consumer's path, the transfer job's
  // identifier.
  std::string removalTarget;
  // The user the entry belongs to when it is another than the current user
  // (a task's account, a row of a user's hive under HKEY_USERS): its SID,
  // or the account's name until the scan resolves it. The judge expands the
  // entry in that user's environment.
  std::string owner;
};

// The name of the registry value a row stands for ("" for a key's default value).
inline const std::string& RowValueName(const AutorunRow& row) {
  static const std::string unnamed;
  if (row.unnamedValue) return unnamed;
  return row.valueName.empty() ? row.itemName : row.valueName;
}

// The categories the page's filter offers, in its order.
std::span<const std::string_view> AutorunCategories();

// The status image of a judgement: the check mark for a trusted program,
// the red cross for a malicious one, the warning sign for the rest.
int AutorunStatusImage(Verdict verdict);

// Whether a row starts a program the judge can judge (a task's e-mail or
// message action starts none).
bool RowStartsProgram(const AutorunRow& row);

// The analysis pass: the judge judges every row's command (a task's as a
// task); each row gets its verdict text, its signer and its status image,
// and every flagged row (and every hook that differs from its default) a
// "Startup Item" row in hijack, with the row's index.
void AnalyzeAutorunRows(std::vector<AutorunRow>& rows, const Judge& judge, std::vector<HijackRow>& hijack);

// The category of the rows of a source (its number).
std::string_view AutorunCategoryOf(int source);

TextRow AutorunListHeader();
TextRow AutorunRowText(const AutorunRow& row);

// "Add Program": the Run value for a chosen program file. The name is the
// file name with its extension; the data is the full path, in double quotes
// when it holds a blank (unquoted, a path under "C:\Program Files" could
// start "C:\Program.exe").
std::string RunValueName(std::string_view programPath);
std::string RunValueData(std::string_view programPath);

// The dialog's file information text.
std::string FileInformationText(std::string_view companyName, std::string_view analysis);

}  // namespace wl
