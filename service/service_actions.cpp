#include "service/service_actions.h"

#include "judge/windows_facts.h"

#include <windows.h>

#include "core/ascii.h"
#include "service/service_manager.h"
#include "sysroutines/system_info.h"
#include "sysroutines/version_info.h"
#include "win32/handles.h"
#include "win32/registry.h"
#include "win32/unicode.h"

namespace wl {
namespace {

// The other services whose program is this one (key names), drivers
// included: their program file must stay.
std::vector<std::string> OtherServicesOf(const std::string& program, const std::string& keyName) {
  std::vector<std::string> users;
  std::vector<ServiceListEntry> services;
  ServiceEnumerate("", SERVICE_WIN32 | SERVICE_DRIVER, SERVICE_STATE_ALL, services);
  const std::string windowsDir = GetWindowsDir();
  for (const auto& service : services) {
    if (EqualsNoCase(service.keyName, keyName)) continue;
    const auto key = win32::RegKey::Open(HKEY_LOCAL_MACHINE, kServicesKey + service.keyName, KEY_READ);
    const auto image = key ? key->Read("ImagePath") : std::nullopt;
    if (!image) continue;
    if (ExtractExecutablePath(ServicePathText(win32::RegValueText(*image), windowsDir)) == program)
      users.push_back(service.keyName);
  }
  return users;
}

// A program that has just stopped may hold its file a moment longer.
WriteResult DeleteProgramFile(const std::string& path) {
  WriteResult result = DeleteFileNow(path);
  for (int i = 0; i < 20 && (result.error == ERROR_ACCESS_DENIED || result.error == ERROR_SHARING_VIOLATION); ++i) {
    Sleep(100);
    result = DeleteFileNow(path);
  }
  return result;
}

}  // namespace

WriteResult SetServiceStartType(const std::string& keyName, uint32_t start) {
  const std::string key = kServicesKey + keyName;
  if (keyName.empty() || !win32::RegKey::Exists(HKEY_LOCAL_MACHINE, key)) {
    WriteResult gone;
    gone.error = ERROR_FILE_NOT_FOUND;
    gone.message = "Could not change the start type of " + keyName + ": the service is no longer registered.";
    return gone;
  }
  return WriteRegDword(HKEY_LOCAL_MACHINE, key, "Start", start);
}

std::string ProgramKeptText(const std::string& program, const std::vector<std::string>& services) {
  std::string names;
  for (std::size_t i = 0; i < services.size(); ++i)
    names += (i == 0 ? "" : i + 1 == services.size() ? " and " : ", ") + services[i];
  return "The program file " + program + " was kept: the service" + (services.size() == 1 ? " " : "s ") + names +
         (services.size() == 1 ? " uses" : " use") + " it too.";
}

RemoveServiceResult RemoveServiceEntry(const ServiceRow& row) {
  // The row may be old: whether its program is Windows' own is asked again,
  // of the judge (a file's own word that it is Microsoft's is not enough).
  return RemoveServiceEntry(row, [](const std::string& path) {
    const ReferenceTables none;
    const WindowsFacts facts;
    const Judge judge(none, facts, JudgeOptions{.hashes = false});
    return judge.Assess({path, Origin::Service, true}).windowsFile ? std::string(kWindowsSystemFile)
                                                                    : std::string(kDistrustfulFile);
  });
}

RemoveServiceResult RemoveServiceEntry(const ServiceRow& row, const FileVerdictFn& analyzeFile, uint32_t boundMs) {
  RemoveServiceResult result;
  const std::string program = ExtractExecutablePath(row.path);
  if (row.systemFile || row.keyName.empty() || analyzeFile(program) == kWindowsSystemFile) {
    result.outcome = RemoveServiceOutcome::SystemService;
    return result;
  }
  if (!ServiceStop("", row.keyName, boundMs)) {
    result.outcome = RemoveServiceOutcome::CannotStop;
    return result;
  }
  // Looked for before the service goes: a program other services run stays.
  const std::vector<std::string> others = program.empty() ? std::vector<std::string>() : OtherServicesOf(program, row.keyName);
  result.keyResult = DeleteServiceEntry(row.keyName);
  if (!result.keyResult) {
    result.outcome = RemoveServiceOutcome::KeyNotDeleted;
    return result;
  }
  result.outcome = RemoveServiceOutcome::Removed;
  // The program goes only with its registration, never leaving a service
  // whose program is missing.
  if (!others.empty()) {
    result.programKeptFor = others;
  } else if (!program.empty()) {
    result.fileResult = DeleteProgramFile(program);
  }
  return result;
}

}  // namespace wl
