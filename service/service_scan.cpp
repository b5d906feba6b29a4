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
  return {"Display Name", "Description", "State", "Startup", "Path", "Analyze", "Signer"};
}

ServiceScanResult ScanServices(const Judge& judge) {
  return ScanServices([&judge](const std::vector<JudgeRequest>& requests) { return judge.AssessAll(requests); });
}

ServiceScanResult ScanServices(const ServiceJudgeFn& judgeAll) {
  ServiceScanResult result;
  // By key name: a service created without a display name (as malware can
  // make one) cannot be looked up by it, and would be missing.
  std::vector<ServiceListEntry> services;
  ServiceEnumerate("", SERVICE_WIN32_OWN_PROCESS | SERVICE_WIN32_SHARE_PROCESS, SERVICE_STATE_ALL, services);
  const std::string windowsDir = GetWindowsDir();
  std::vector<JudgeRequest> requests;
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
    const std::string imagePath = TextValue(*key, "ImagePath");
    row.path = ServicePathText(imagePath, windowsDir);
    // svchost finds the DLL under "Parameters", older services keep it in their own key.
    if (const auto parameters = RegKey::Open(HKEY_LOCAL_MACHINE, kServicesKey + keyName + "\\Parameters", KEY_READ))
      row.serviceDll = TextValue(*parameters, "ServiceDll");
    if (row.serviceDll.empty()) row.serviceDll = TextValue(*key, "ServiceDll");
    requests.emplace_back(imagePath, Origin::Service, false, row.serviceDll);
    result.rows.push_back(std::move(row));
  }
  std::vector<Judgement> judged = judgeAll(requests);
  for (std::size_t i = 0; i < result.rows.size() && i < judged.size(); ++i) {
    ServiceRow& row = result.rows[i];
    row.judgement = std::move(judged[i]);
    row.analyze = FileVerdictText(row.judgement);
    row.systemFile = row.judgement.windowsFile;
    row.flagged = row.judgement.flagged;
    if (row.flagged) {
      HijackRow flagged;
      flagged.itemName = row.keyName;
      flagged.description = kSystemServiceCategory;
      flagged.index = -1;  // a service is found by its name; the report shows no index
      flagged.entryKey = row.keyName;
      result.hijack.push_back(std::move(flagged));
    }
  }
  return result;
}

}  // namespace wl
