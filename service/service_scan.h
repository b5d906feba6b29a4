// The service list: reads every Win32 service with its description, state,
// start type, program path and the judge's verdict on what it runs (its
// ServiceDll when svchost hosts it), and flags the services the judge flags.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/hijack_list.h"
#include "core/system_source.h"
#include "judge/judge.h"

namespace wl {

inline constexpr const char* kServicesKey = "SYSTEM\\CurrentControlSet\\Services\\";
inline constexpr const char* kSystemServiceCategory = "System Service";

struct ServiceRow {
  std::string keyName;      // "Display Name" column: the name the manager and the registry use
  std::string displayName;  // the manager's display name; empty for a service created without one
  std::string description;  // "Description"
  std::string state;        // "State": "Stopp" or "Running"
  bool stopped = false;
  std::string startup;  // "Startup": start-type name
  std::string path;     // "Path": ImagePath upper-cased, %SYSTEMROOT% replaced
  std::string analyze;  // "Analyze": the file verdict (FileVerdictText)
  bool systemFile = false;  // it runs a file of Windows itself
  bool flagged = false;     // the judge flags it
  std::string serviceDll;   // what svchost loads for it, as stored
  Judgement judgement;
};

struct ServiceScanResult {
  std::vector<ServiceRow> rows;
  std::vector<HijackRow> hijack;  // one "System Service" row per flagged service
};

// The file verdict used for a program path ("Windows System File" or
// "Distrustful File").
using FileVerdictFn = std::function<std::string(const std::string& programPath)>;
// How the services are judged, all at once (the judge, or a test's stand-in).
using ServiceJudgeFn = std::function<std::vector<Judgement>(const std::vector<JudgeRequest>& requests)>;

// Own-process and shared-process services, active and inactive, each
// judged by its ImagePath and ServiceDll. On this PC in the order the
// manager lists them, with their states; on a system read offline, the
// keys of its current control set whose type is a service's (not a
// driver's), in the order of the hive, without a state. Their keys are read
// through the source.
ServiceScanResult ScanServices(const Judge& judge);
ServiceScanResult ScanServices(const ServiceJudgeFn& judgeAll);
ServiceScanResult ScanServices(const ServiceJudgeFn& judgeAll, const SystemSource& source);

// The column titles of the list.
std::vector<std::string> ServiceColumns();

}  // namespace wl
