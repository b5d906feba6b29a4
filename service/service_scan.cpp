#include "service/service_scan.h"

#include <shlwapi.h>
#include <windows.h>

#include "service/service_manager.h"
#include "service/service_rules.h"
#include "sysroutines/system_source.h"
#include "win32/unicode.h"

namespace wl {
namespace {

// A description stored as an indirect string ("@file.dll,-id") is shown as
// the text it names, from that system's file; when that cannot be loaded,
// as stored.
std::string DescriptionText(const std::string& stored, const SystemSource& source) {
  if (stored.size() < 2 || stored[0] != '@') return stored;
  std::string indirect = stored;
  if (!source.IsLive()) {
    // The file is the offline system's: named in its environment, found
    // under its root (a bare name in its system folder).
    const std::size_t comma = stored.rfind(',');
    if (comma == std::string::npos || comma < 2) return stored;
    std::string file = source.Expand(stored.substr(1, comma - 1));
    if (file.find('\\') == std::string::npos) file = source.Folders().system32 + "\\" + file;
    const auto now = source.PathNow(file);
    if (!now || !source.StatFile(file).exists) return stored;
    indirect = "@" + *now + stored.substr(comma);
  }
  std::wstring out(1024, L'\0');
  if (SHLoadIndirectString(win32::Widen(indirect).c_str(), out.data(), static_cast<UINT>(out.size()), nullptr) != S_OK)
    return stored;
  out.resize(wcsnlen(out.c_str(), out.size()));
  return win32::Narrow(out);
}

std::string TextValue(const SourceKey& key, const std::string& name) { return key.ReadText(name).value_or(""); }

// The service keys of a system that is not running: those whose type is an
// own-process or shared-process service's (no driver bits), in the order
// of the hive.
std::vector<ServiceListEntry> ServiceKeysOf(const SystemSource& source) {
  std::vector<ServiceListEntry> services;
  const auto all = source.Open(SourceRoot::LocalMachine, kServicesKey);
  if (!all) return services;
  for (const std::string& name : all->SubKeyNames()) {
    const auto key = all->Open(name);
    const auto type = key ? key->ReadDword("Type") : std::nullopt;
    if (!type || (*type & SERVICE_WIN32) == 0 || (*type & SERVICE_DRIVER) != 0) continue;
    ServiceListEntry entry;
    entry.keyName = name;
    entry.displayName = key->ReadText("DisplayName").value_or("");
    services.push_back(std::move(entry));
  }
  return services;
}

}  // namespace

std::vector<std::string> ServiceColumns() {
  return {"Display Name", "Description", "State", "Startup", "Path", "Analyze", "Signer"};
}

ServiceScanResult ScanServices(const Judge& judge) {
  return ScanServices([&judge](const std::vector<JudgeRequest>& requests) { return judge.AssessAll(requests); });
}

ServiceScanResult ScanServices(const ServiceJudgeFn& judgeAll) { return ScanServices(judgeAll, LiveSystemSource()); }

ServiceScanResult ScanServices(const ServiceJudgeFn& judgeAll, const SystemSource& source) {
  ServiceScanResult result;
  // By key name: a service created without a display name (as malware can
  // make one) cannot be looked up by it, and would be missing.
  std::vector<ServiceListEntry> services;
  if (source.IsLive())
    ServiceEnumerate("", SERVICE_WIN32_OWN_PROCESS | SERVICE_WIN32_SHARE_PROCESS, SERVICE_STATE_ALL, services);
  else
    services = ServiceKeysOf(source);
  const std::string windowsDir = source.Folders().windows;
  std::vector<JudgeRequest> requests;
  for (const ServiceListEntry& service : services) {
    const std::string& keyName = service.keyName;
    if (keyName.empty()) continue;
    const auto key = source.Open(SourceRoot::LocalMachine, kServicesKey + keyName);
    if (!key || !key->HasValue("Type")) continue;

    ServiceRow row;
    row.keyName = keyName;
    row.displayName = service.displayName;
    row.description = DescriptionText(TextValue(*key, "Description"), source);
    if (source.IsLive()) {
      row.stopped = ServiceStopped("", keyName);
      row.state = ServiceStateText(row.stopped);
    } else {
      row.stopped = true;  // nothing runs on a system that is not running; its state is not known
    }
    row.startup = StartTypeName(key->ReadDword("Start"));
    const std::string imagePath = TextValue(*key, "ImagePath");
    row.path = ServicePathText(imagePath, windowsDir);
    // svchost finds the DLL under "Parameters", older services keep it in their own key.
    if (const auto parameters = key->Open("Parameters")) row.serviceDll = TextValue(*parameters, "ServiceDll");
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
