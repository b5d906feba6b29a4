#include "service/service_manager.h"

#include <windows.h>

#include "win32/handles.h"
#include "win32/unicode.h"
#include "win32/wait.h"

namespace wl {
namespace {

using win32::Narrow;
using win32::UniqueScHandle;
using win32::Widen;

UniqueScHandle OpenManager(const std::string& machine, DWORD access) {
  const std::wstring m = Widen(machine);
  return UniqueScHandle(OpenSCManagerW(m.empty() ? nullptr : m.c_str(), nullptr, access));
}

ServiceProgress ProgressOf(const SERVICE_STATUS& s) { return {s.dwCurrentState, s.dwCheckPoint, s.dwWaitHint}; }

ServiceWaitHooks HooksFor(SC_HANDLE service) {
  return {[service]() -> std::optional<ServiceProgress> {
            SERVICE_STATUS s{};
            if (!QueryServiceStatus(service, &s)) return std::nullopt;
            return ProgressOf(s);
          },
          // The window stays painted and answers other programs while the
          // service starts or stops.
          [](uint32_t ms) { win32::WaitResponsive([] { return false; }, std::chrono::milliseconds(ms)); },
          [] { return static_cast<uint64_t>(GetTickCount64()); }};
}

}  // namespace

bool ServiceEnumerate(const std::string& machine, uint32_t typeMask, uint32_t stateMask,
                      std::vector<ServiceListEntry>& list) {
  // Enumerating needs no more than the right to connect and enumerate, so a
  // user without administrative rights still sees the list.
  const UniqueScHandle manager = OpenManager(machine, SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE);
  if (!manager) return false;
  std::vector<BYTE> buffer(147492);
  DWORD resume = 0;
  for (;;) {
    DWORD needed = 0, count = 0;
    const BOOL ok = EnumServicesStatusW(manager.get(), typeMask, stateMask,
                                        reinterpret_cast<ENUM_SERVICE_STATUSW*>(buffer.data()),
                                        static_cast<DWORD>(buffer.size()), &needed, &count, &resume);
    const DWORD error = ok ? ERROR_SUCCESS : GetLastError();
    if (!ok && error != ERROR_MORE_DATA) break;
    const auto* entries = reinterpret_cast<const ENUM_SERVICE_STATUSW*>(buffer.data());
    for (DWORD i = 0; i < count; ++i)
      list.push_back({Narrow(entries[i].lpServiceName ? entries[i].lpServiceName : L""),
                      Narrow(entries[i].lpDisplayName ? entries[i].lpDisplayName : L"")});
    if (ok) break;
    // More than fits: go on from the resume handle, with room for the next entry.
    if (count == 0) {
      if (needed <= buffer.size() || needed > (64u << 20)) break;
      buffer.resize(needed);
    }
  }
  return true;
}

bool ServiceGetList(const std::string& machine, uint32_t typeMask, uint32_t stateMask,
                    std::vector<std::string>& list) {
  std::vector<ServiceListEntry> entries;
  if (!ServiceEnumerate(machine, typeMask, stateMask, entries)) return false;
  for (auto& entry : entries) list.push_back(std::move(entry.displayName));
  return true;
}

std::string ServiceGetKeyName(const std::string& machine, const std::string& displayName) {
  const UniqueScHandle manager = OpenManager(machine, SC_MANAGER_CONNECT);
  if (!manager) return {};
  std::wstring buf(256, L'\0');
  for (int attempt = 0; attempt < 2; ++attempt) {
    DWORD len = static_cast<DWORD>(buf.size());
    if (GetServiceKeyNameW(manager.get(), Widen(displayName).c_str(), buf.data(), &len)) {
      buf.resize(len);
      return Narrow(buf);
    }
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) break;
    buf.assign(static_cast<std::size_t>(len) + 2, L'\0');
  }
  return {};
}

uint32_t ServiceGetStatus(const std::string& machine, const std::string& keyName) {
  const UniqueScHandle manager = OpenManager(machine, SC_MANAGER_CONNECT);
  if (!manager) return kServiceStopped;
  const UniqueScHandle service(OpenServiceW(manager.get(), Widen(keyName).c_str(), SERVICE_QUERY_STATUS));
  if (!service) return 0;
  SERVICE_STATUS s{};
  if (!QueryServiceStatus(service.get(), &s)) return 0;
  return s.dwCurrentState;
}

bool ServiceStopped(const std::string& machine, const std::string& keyName) {
  return ServiceGetStatus(machine, keyName) == kServiceStopped;
}

bool ServiceStart(const std::string& machine, const std::string& keyName, uint32_t boundMs) {
  const UniqueScHandle manager = OpenManager(machine, SC_MANAGER_CONNECT);
  if (!manager) return false;
  const UniqueScHandle service(
      OpenServiceW(manager.get(), Widen(keyName).c_str(), SERVICE_START | SERVICE_QUERY_STATUS));
  if (!service) return false;
  const bool started = StartServiceW(service.get(), 0, nullptr);
  SERVICE_STATUS s{};
  if (!QueryServiceStatus(service.get(), &s)) return false;
  if (!started) return s.dwCurrentState == kServiceRunning;  // already running, or it could not start
  return WaitForServiceState(ProgressOf(s), kServiceRunning, HooksFor(service.get()), boundMs) == kServiceRunning;
}

bool ServiceStop(const std::string& machine, const std::string& keyName, uint32_t boundMs) {
  const UniqueScHandle manager = OpenManager(machine, SC_MANAGER_CONNECT);
  if (!manager) return false;
  const UniqueScHandle service(
      OpenServiceW(manager.get(), Widen(keyName).c_str(), SERVICE_STOP | SERVICE_QUERY_STATUS));
  if (!service) return false;
  SERVICE_STATUS s{};
  if (!ControlService(service.get(), SERVICE_CONTROL_STOP, &s)) {
    // Refused or not running: the answer is the state it is in now.
    if (!QueryServiceStatus(service.get(), &s)) return false;
    return s.dwCurrentState == kServiceStopped;
  }
  return WaitForServiceState(ProgressOf(s), kServiceStopped, HooksFor(service.get()), boundMs) == kServiceStopped;
}

}  // namespace wl
