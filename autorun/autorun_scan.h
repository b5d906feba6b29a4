// The autorun scan: reads every autorun entry into rows with verdicts - the
// registry sources, the INI entries and the two Startup folders (sources 1
// to 21), the scheduled tasks, the places of the table in hook_sources.h and
// the places that need code of their own (other_places.h) - and the
// "Startup Item" rows for the hijack report. Icons are not looked up
// here; the page fetches them for the rows it shows.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "autorun/autorun_rules.h"
#include "autorun/hook_sources.h"
#include "refdb/reference_tables.h"
#include "core/hijack_list.h"
#include "core/page_text.h"
#include "sysroutines/scheduled_tasks.h"
#include "win32/registry.h"

namespace wl {

// Where the scan looks besides the registry.
struct AutorunPlaces {
  std::string windowsDir;           // Win.ini and System.ini live here
  std::string userStartupFolder;    // special folder 7
  std::string commonStartupFolder;  // special folder 24
  // The Windows directory the system's defaults name (Winlogon's Userinit)
  // and system programs live in; this system's when empty.
  std::string systemRoot;
  // The user's documents (special folder 5: PowerShell's profiles) and
  // roaming application data (26: Office's start-up folders); not read when
  // empty.
  std::string documentsFolder;
  std::string appDataFolder;
  // Also the per-user places of the other users whose hives are loaded
  // (HKEY_USERS\<SID>; readable with administrative rights).
  bool otherUsers = false;
  // The user's local application data (special folder 28: Windows
  // Terminal's settings); not read when empty.
  std::string localAppDataFolder;
  // The services and drivers the service manager lists: a key under
  // Services it does not list is one written past it. Not asked when empty
  // (then no key counts as such).
  std::function<std::optional<std::vector<std::string>>()> listServices;
  // Also WMI's event subscriptions (WmiStore()) and the background transfer
  // jobs (TransferJobs()): their services are started when asked, which
  // takes a moment the first time.
  bool wmiSubscriptions = false;
  bool transferJobs = false;

  static AutorunPlaces OfThisSystem();
  std::string WinIniPath() const { return windowsDir + "\\Win.ini"; }
  std::string SystemIniPath() const { return windowsDir + "\\System.ini"; }
};

// How a source's key is opened: for reading only (a scan never creates or
// changes a key). Replaced in tests to produce answers the test system
// cannot give.
using SourceKeyOpener = std::function<std::optional<win32::RegKey>(HKEY root, const std::string& path)>;
std::optional<win32::RegKey> OpenSourceKeyInRegistry(HKEY root, const std::string& path);

// The scheduled tasks; replaced in tests to list a chosen task store.
using TaskLister = std::function<TaskListing()>;
TaskListing ListTasksOfThisSystem();

struct AutorunScanResult {
  std::vector<AutorunRow> rows;
  std::vector<HijackRow> hijack;
};

// Every key is opened for reading only; a missing key gives no rows. After
// sources 1 to 21 come the scheduled tasks and the hook sources. The
// judge gives each row its verdict.
AutorunScanResult ScanAutorun(const Judge& judge, const AutorunPlaces& places = AutorunPlaces::OfThisSystem(),
                              const SourceKeyOpener& openKey = OpenSourceKeyInRegistry,
                              const TaskLister& listTasks = ListTasksOfThisSystem);

// The values of the keys one scan has read, by root and path: a key that
// two sources read (the Run keys) is enumerated once.
using KeyValueCache = std::unordered_map<std::string, std::vector<win32::RegValue>>;

// The rows of one registry source, in the order the registry enumerates them.
void ReadRegistrySource(const RegistrySource& source, const SourceKeyOpener& openKey, std::vector<AutorunRow>& rows,
                        KeyValueCache* cache = nullptr);

// Every key a hook key path names ("*" parts: each sub-key there), opened
// for reading, with the sub-key names the "*" parts stood for.
struct HookKey {
  std::string path;  // below the root, without leading or trailing backslashes
  std::vector<std::string> matches;
  win32::RegKey key;
};
std::vector<HookKey> ExpandHookKey(HKEY root, std::string_view keyPath, const SourceKeyOpener& openKey);

// The files of a Startup folder that are no shortcuts (full paths, sorted);
// the folder's desktop.ini is none of them.
std::vector<std::string> ListStartupFiles(const std::string& folder);

// The SID of an account a task names (a SID as it stands, a name looked up
// on this system); empty when the system knows no such account.
std::string AccountSid(const std::string& account);

// The loaded user hives of HKEY_USERS other than the current user's (no
// ".DEFAULT", no "_Classes" hives), by their SIDs.
std::vector<std::string> OtherUserHives(const SourceKeyOpener& openKey);
// The per-user hook places of one loaded user hive, their texts under
// "HKEY_USERS\<SID>\", each row naming its user.
void ReadOtherUser(const std::string& sid, const SourceKeyOpener& openKey, std::string_view systemRoot,
                   std::vector<AutorunRow>& rows);

// The rows of one file place: what is there, in the folders places names.
void ReadFilePlace(const FilePlace& place, const AutorunPlaces& places, std::string_view systemRoot,
                   std::vector<AutorunRow>& rows);

// The rows of one hook source, its keys opened for reading only.
void ReadHookSource(const HookSource& source, const SourceKeyOpener& openKey, std::string_view systemRoot,
                    std::vector<AutorunRow>& rows, KeyValueCache* cache = nullptr);

// The program registered for a COM class ("{…}"): its in-process server, else
// its local server; empty when none is.
std::string ComServerOf(const std::string& classId);

// The class a COM program identifier names ("{…}"); empty when none.
std::string ClassIdOfProgId(const std::string& progId);
// The file of an add-in manifest as the registry names it
// ("file:///C:/a/b.vsto|vstolocal" -> "C:\a\b.vsto").
std::string ManifestPath(std::string_view manifest);

// The program a service's or driver's key names: a driver's file as the
// loader finds it, a service's ImagePath as stored; empty when the key or
// its ImagePath is missing.
struct ServiceProgram {
  std::string path;    // as the row shows it
  std::string judged;  // what the judge is asked about
  bool isPath = false;
  bool driver = false;
};
ServiceProgram ServiceProgramOf(const std::string& name, const SourceKeyOpener& openKey, std::string_view systemRoot);

// An INI value as the system reads it; empty when the file, section or key is missing.
std::string ReadIniValue(const std::string& iniPath, const std::string& section, const std::string& key);

// What the console scanner prints for the autorun page.
PageText AutorunPageText(const Judge& judge);
// The same from a scan already made (the rows keep their order).
PageText AutorunPageTextOf(AutorunScanResult scan);

}  // namespace wl
