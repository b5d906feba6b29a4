#include "service/service_actions.h"

#include <windows.h>

#include "core/ascii.h"
#include "judge/command_line.h"
#include "service/service_manager.h"
#include "sysroutines/system_info.h"
#include "sysroutines/version_info.h"
#include "win32/file_path.h"
#include "win32/handles.h"
#include "win32/registry.h"
#include "win32/unicode.h"

namespace wl {
namespace {

bool SameFile(const std::string& a, const std::string& b) {
  const std::wstring wa = win32::Widen(a), wb = win32::Widen(b);
  return !wa.empty() && CompareStringOrdinal(wa.c_str(), static_cast<int>(wa.size()), wb.c_str(),
                                             static_cast<int>(wb.size()), TRUE) == CSTR_EQUAL;
}

std::string TextOf(const win32::RegKey& key, const std::string& name) {
  const auto value = key.Read(name);
  return value ? win32::RegValueText(*value) : std::string();
}

// What the service's key asks the judge about now: its ImagePath and the
// DLL svchost loads for it (under "Parameters", else in its own key).
JudgeRequest RequestNow(const std::string& keyName) {
  const auto key = win32::RegKey::Open(HKEY_LOCAL_MACHINE, kServicesKey + keyName, KEY_READ);
  if (!key) return {};
  std::string dll;
  if (const auto parameters = win32::RegKey::Open(HKEY_LOCAL_MACHINE, kServicesKey + keyName + "\\Parameters", KEY_READ))
    dll = TextOf(*parameters, "ServiceDll");
  if (dll.empty()) dll = TextOf(*key, "ServiceDll");
  return JudgeRequest(TextOf(*key, "ImagePath"), Origin::Service, false, dll);
}

// The other services whose program is this one (key names), drivers
// included: their program file must stay. Each one's program is found as
// Windows finds it.
std::vector<std::string> OtherServicesOf(const std::string& program, const std::string& keyName, const Judge& judge) {
  std::vector<std::string> users;
  std::vector<ServiceListEntry> services;
  ServiceEnumerate("", SERVICE_WIN32 | SERVICE_DRIVER, SERVICE_STATE_ALL, services);
  for (const auto& service : services) {
    if (EqualsNoCase(service.keyName, keyName)) continue;
    const auto key = win32::RegKey::Open(HKEY_LOCAL_MACHINE, kServicesKey + service.keyName, KEY_READ);
    if (!key) continue;
    const std::string image = TextOf(*key, "ImagePath");
    if (image.empty()) continue;
    if (SameFile(ResolveCommand(image, judge.Facts()).program, program)) users.push_back(service.keyName);
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

RemoveServiceResult RemoveServiceEntry(const ServiceRow& row, const Judge& judge, uint32_t boundMs) {
  RemoveServiceResult result;
  if (row.systemFile || row.keyName.empty()) {
    result.outcome = RemoveServiceOutcome::SystemService;
    return result;
  }
  // The row may be old: what the service starts is judged again, from its
  // key as it is now, with the reference tables (a file's own word that it
  // is Microsoft's is not enough).
  const JudgeRequest request = RequestNow(row.keyName);
  const Judgement now = request.command.empty() ? Judgement{} : judge.Assess(request);
  if (now.windowsFile) {
    result.outcome = RemoveServiceOutcome::SystemService;
    return result;
  }
  result.program = now.program;
  if (!ServiceStop("", row.keyName, boundMs)) {
    result.outcome = RemoveServiceOutcome::CannotStop;
    return result;
  }
  const bool exists = !result.program.empty() && win32::FileExists(result.program);
  // Looked for before the service goes: a program other services run stays.
  const std::vector<std::string> others =
      exists ? OtherServicesOf(result.program, row.keyName, judge) : std::vector<std::string>();
  result.keyResult = DeleteServiceEntry(row.keyName);
  if (!result.keyResult) {
    result.outcome = RemoveServiceOutcome::KeyNotDeleted;
    return result;
  }
  result.outcome = RemoveServiceOutcome::Removed;
  // The program goes only with its registration, never leaving a service
  // whose program is missing; and only the file the service would start,
  // when it is the one the list showed.
  if (!exists) return result;
  if (!row.judgement.program.empty() && !SameFile(row.judgement.program, result.program)) {
    result.programKeptReason = "The program file " + result.program +
                               " was kept: the service started " + row.judgement.program +
                               " when the list was read, and starts this file now. Look at both before deleting either.";
    return result;
  }
  if (!others.empty()) {
    result.programKeptFor = others;
  } else {
    result.fileResult = DeleteProgramFile(result.program);
  }
  return result;
}

}  // namespace wl
