// The service list: reads every Win32 service with its description, state,
// start type, program path and the verdict on its program file, and flags the
// services whose program is not a Windows system file.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/hijack_list.h"

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
  std::string analyze;  // "Analyze": the file verdict
  bool systemFile = false;  // the verdict is "Windows System File"
};

struct ServiceScanResult {
  std::vector<ServiceRow> rows;
  std::vector<HijackRow> hijack;  // one "System Service" row per distrusted program
};

// The file verdict used for a program path ("Windows System File" or
// "Distrustful File").
using FileVerdictFn = std::function<std::string(const std::string& programPath)>;

// Own-process and shared-process services, active and inactive, in the order
// the manager lists them. The verdict is asked for the program path of each
// service's "Path": AnalyzeFile, unless another judge is given.
ServiceScanResult ScanServices();
ServiceScanResult ScanServices(const FileVerdictFn& analyzeFile);

// The column titles of the list.
std::vector<std::string> ServiceColumns();

}  // namespace wl
