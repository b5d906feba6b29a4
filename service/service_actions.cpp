#include "service/service_actions.h"

#include "judge/windows_facts.h"

#include <windows.h>

#include "service/service_manager.h"
#include "sysroutines/system_info.h"
#include "sysroutines/version_info.h"
#include "win32/handles.h"
#include "win32/registry.h"
#include "win32/unicode.h"

namespace wl {
namespace {

// Unregisters the service with the manager, so that it leaves the list now
// rather than at the next start of the system. Its key is already gone; a
// failure here only means the manager forgets it later.
void UnregisterService(const std::string& keyName) {
  const win32::UniqueScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager) return;
  const win32::UniqueScHandle service(OpenServiceW(manager.get(), win32::Widen(keyName).c_str(), DELETE));
  if (service) DeleteService(service.get());
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
  result.keyResult = DeleteRegTree(HKEY_LOCAL_MACHINE, kServicesKey + row.keyName);
  if (!result.keyResult) {
    result.outcome = RemoveServiceOutcome::KeyNotDeleted;
    return result;
  }
  UnregisterService(row.keyName);
  result.outcome = RemoveServiceOutcome::Removed;
  // The program goes only with its registration, never leaving a service
  // whose program is missing.
  if (!program.empty()) result.fileResult = DeleteProgramFile(program);
  return result;
}

}  // namespace wl
