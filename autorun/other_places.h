// The autorun places that are no table row: the task scheduler's cache,
// services and drivers as their keys and the service manager tell them,
// Windows Terminal's start at logon, WMI's permanent event subscriptions and
// the transfer jobs that run a program when they end. Each reads the system
// into rows for the judge; none changes anything.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "autorun/autorun_rules.h"
#include "autorun/autorun_scan.h"
#include "sysroutines/system_write.h"

namespace wl {

inline constexpr int kTaskCacheSource = 211;
inline constexpr int kDriverSource = 212;
inline constexpr int kServiceKeySource = 213;
inline constexpr int kTerminalSource = 214;
inline constexpr int kWmiSource = 215;
inline constexpr int kTransferJobSource = 216;

inline constexpr const char* kTaskCacheTree =
    "Software\\Microsoft\\Windows NT\\CurrentVersion\\Schedule\\TaskCache\\Tree";
inline constexpr const char* kTaskCacheTasks =
    "Software\\Microsoft\\Windows NT\\CurrentVersion\\Schedule\\TaskCache\\Tasks";
inline constexpr const char* kServicesPath = "System\\CurrentControlSet\\Services";

// The task scheduler's names of tasks (its cache's "Tree" keys) that have no
// definition: no file of that path in the task store, or no "Tasks\{Id}"
// key. Such a name starts nothing the judge can see; the rows are flagged
// always (a task hidden from the tools that list definitions).
void ReadTaskCacheOrphans(const SourceKeyOpener& openKey, std::string_view systemRoot, std::vector<AutorunRow>& rows);

// The names of every service and driver the service manager lists; nullopt
// when it cannot be asked.
using ServiceNameLister = std::function<std::optional<std::vector<std::string>>()>;
std::optional<std::vector<std::string>> ListServiceNamesOfThisSystem();

// Drivers (kernel and file-system, types 1 and 2) the manager lists: one
// whose file lies outside Windows' driver folders is flagged always, one
// inside them is listed (and flagged) when the judge does not trust it
// (unsigned, not Windows' own). And every key under
// Services with an ImagePath the manager does not list (written past it: it
// is loaded at the next start of Windows), flagged always.
void ReadServicesAndDrivers(const SourceKeyOpener& openKey, std::string_view systemRoot,
                            const ServiceNameLister& listServices, std::vector<AutorunRow>& rows);

// The settings files of Windows Terminal under the user's local application
// data (its package folders' LocalState and the unpackaged one's folder).
std::vector<std::string> TerminalSettingsFiles(const std::string& localAppData);
// A settings file that starts the terminal at logon ("startOnUserLogin":
// true): its row, the default profile's command line as the program judged.
// Damaged or hostile JSON gives no row.
void ReadTerminalSettings(const std::string& settingsPath, std::vector<AutorunRow>& rows);
// The file's text with "startOnUserLogin" set to false, the rest as it was
// (comments and layout kept); nullopt when the text holds no such setting
// that can be changed so.
std::optional<std::string> TerminalSettingsWithoutLogon(std::string_view text);

// WMI's permanent event subscriptions in root\subscription (WmiStore()):
// each consumer that runs a command line (judged as one) or a script
// (flagged always), with the filters its bindings tie it to.
void ReadWmiSubscriptions(std::vector<AutorunRow>& rows);
// Removes a consumer of root\subscription, the bindings that name it and the
// filters no other binding uses, each through the write routines.
WriteResult RemoveWmiSubscription(std::string_view consumerPath);

// The background transfer jobs (TransferJobs()) that run a program when they
// end: the program and its parameters judged as a command line.
void ReadTransferJobs(std::vector<AutorunRow>& rows);
// The command line a job's notify program and parameters make (the
// parameters begin with the program's own name, as a program's arguments do).
std::string TransferJobCommand(std::string_view program, std::string_view parameters);

}  // namespace wl
