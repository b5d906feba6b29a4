#include "service/service_scan.h"

#include <windows.h>
#include <shlwapi.h>

#include "service/service_manager.h"
#include "service/service_rules.h"
#include "sysroutines/system_info.h"
#include "sysroutines/version_info.h"
#include "win32/registry.h"
#include "win32/unicode.h"

namespace wl {
namespace {

using win32::RegKey;

// A description stored as an indirect string ("@file.dll,-id") is shown as
// the text it names; when that cannot be loaded, as stored.
std::string DescriptionText(const std::string& stored) {
  if (stored.size() < 2 || stored[0] != '@') return stored;
  std::wstring out(1024, L'\0');
  if (SHLoadIndirectString(win32::Widen(stored).c_str(), out.data(), static_cast<UINT>(out.size()), nullptr) != S_OK)
    return stored;
  out.resize(wcsnlen(out.c_str(), out.size()));
  return win32::Narrow(out);
}

std::string TextValue(const RegKey& key, const std::string& name) {
  const auto v = key.Read(name);
  return v ? win32::RegValueText(*v) : std::string();
}

}  // namespace

std::vector<std::string> ServiceColumns() {
  return {"Display Name", "Description", "State", "Startup", "Path", "Analyze"};
}

ServiceScanResult ScanServices() {
  return ScanServices([](const std::string& path) { return AnalyzeFile(path); });
}

ServiceScanResult ScanServices(const FileVerdictFn& analyzeFile) {
  ServiceScanResult result;
  // By key name: a service created without a display name (as malware can
  // make one) cannot be looked up by it, and would be missing.
  std::vector<ServiceListEntry> services;
  ServiceEnumerate("", SERVICE_WIN32_OWN_PROCESS | SERVICE_WIN32_SHARE_PROCESS, SERVICE_STATE_ALL, services);
  const std::string windowsDir = GetWindowsDir();
  for (const ServiceListEntry& service : services) {
    const std::string& keyName = service.keyName;
    if (keyName.empty()) continue;
    const auto key = RegKey::Open(HKEY_LOCAL_MACHINE, kServicesKey + keyName, KEY_READ);
    if (!key || !key->HasValue("Type")) continue;

    ServiceRow row;
    row.keyName = keyName;
    row.displayName = service.displayName;
    row.description = DescriptionText(TextValue(*key, "Description"));
    row.stopped = ServiceStopped("", keyName);
    row.state = ServiceStateText(row.stopped);
    row.startup = StartTypeName(key->ReadDword("Start"));
    row.path = ServicePathText(TextValue(*key, "ImagePath"), windowsDir);
    row.analyze = analyzeFile(ExtractExecutablePath(row.path));
    row.systemFile = row.analyze == kWindowsSystemFile;
    if (!row.systemFile) {
      HijackRow flagged;
      flagged.itemName = row.keyName;
      flagged.description = kSystemServiceCategory;
      flagged.index = -1;  // a service is found by its name; the report shows no index
      flagged.entryKey = row.keyName;
      result.hijack.push_back(std::move(flagged));
    }
    result.rows.push_back(std::move(row));
  }
  return result;
}

}  // namespace wl
