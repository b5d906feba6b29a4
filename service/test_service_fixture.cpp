#include "service/test_service_fixture.h"

#include <atomic>
#include <filesystem>

#include "win32/handles.h"
#include "win32/registry.h"
#include "win32/registry_write.h"
#include "win32/unicode.h"

namespace wl::test {

using win32::UniqueHandle;
using win32::UniqueScHandle;
using win32::Widen;

TestService::TestService(const std::string& args, const std::string& program, bool withDisplayName) {
  static std::atomic<int> counter{0};
  const std::string tag = std::to_string(GetCurrentProcessId()) + "_" + std::to_string(counter++);
  keyName_ = "WlTestSvc" + tag;
  if (withDisplayName) displayName_ = "Wardenlake Test Service " + tag;
  program_ = dir_.File(program + ".exe");
  std::error_code ec;
  std::filesystem::copy_file(Widen(BinaryDir() + "\\" + program + ".exe"), Widen(program_), ec);
  if (ec) return;
  const UniqueScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager) return;
  const std::string command = "\"" + program_ + "\"" + (args.empty() ? "" : " " + args);
  const std::wstring display = Widen(displayName_);
  const UniqueScHandle service(CreateServiceW(manager.get(), Widen(keyName_).c_str(),
                                              display.empty() ? nullptr : display.c_str(),
                                              SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                              SERVICE_ERROR_IGNORE, Widen(command).c_str(), nullptr, nullptr,
                                              nullptr, nullptr, nullptr));
  ok_ = static_cast<bool>(service);
}

std::string TestService::registryKey() const { return "SYSTEM\\CurrentControlSet\\Services\\" + keyName_; }

DWORD TestService::ProcessId() const {
  const UniqueScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  const UniqueScHandle service(
      manager ? OpenServiceW(manager.get(), Widen(keyName_).c_str(), SERVICE_QUERY_STATUS) : nullptr);
  SERVICE_STATUS_PROCESS s{};
  DWORD needed = 0;
  if (!service || !QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&s),
                                        sizeof s, &needed))
    return 0;
  return s.dwProcessId;
}

TestService::~TestService() {
  const UniqueScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (manager) {
    const UniqueScHandle service(OpenServiceW(manager.get(), Widen(keyName_).c_str(), SERVICE_ALL_ACCESS));
    if (service) {
      SERVICE_STATUS s{};
      ControlService(service.get(), SERVICE_CONTROL_STOP, &s);
      // A service that refuses to stop (or hangs while starting) is ended by
      // the id of its own process.
      for (int i = 0; i < 50 && ProcessId() != 0; ++i) Sleep(20);
      if (const DWORD pid = ProcessId()) {
        const UniqueHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
        if (process) {
          TerminateProcess(process.get(), 1);
          WaitForSingleObject(process.get(), 5000);
        }
      }
      DeleteService(service.get());
    }
  }
  WaitForServiceKeyGone(keyName_);
  win32::RegWriteKey::DeleteTree(HKEY_LOCAL_MACHINE, registryKey());
}

bool WaitForServiceKeyGone(const std::string& keyName) {
  for (int i = 0; i < 100; ++i) {
    if (!win32::RegKey::Exists(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\" + keyName)) return true;
    Sleep(50);
  }
  return false;
}

}  // namespace wl::test
