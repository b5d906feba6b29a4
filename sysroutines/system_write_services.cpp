// The write routines of services.
#include "sysroutines/system_write.h"

#include "sysroutines/write_gate.h"
#include "win32/handles.h"
#include "win32/registry_write.h"
#include "win32/unicode.h"

namespace wl {

using win32::RegWriteKey;

WriteResult CreateServiceEntry(const ServiceSpec& spec) {
  const WriteRequest request{WriteKind::CreateService, spec.name, {}};
  if (spec.name.empty() || spec.binaryPath.empty())
    return gate::Failure(request, ERROR_INVALID_PARAMETER, "no service or program was named.");
  if (auto refused = gate::Intercepted(request)) return *refused;
  const win32::UniqueScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
  if (!manager) return gate::Failure(request, GetLastError());
  std::wstring dependencies;
  for (const auto& d : spec.dependencies) dependencies += win32::Widen(d) + L'\0';
  dependencies += L'\0';
  const std::wstring name = win32::Widen(spec.name), display = win32::Widen(spec.displayName),
                     path = win32::Widen(spec.binaryPath), group = win32::Widen(spec.group),
                     account = win32::Widen(spec.account);
  const win32::UniqueScHandle service(CreateServiceW(
      manager.get(), name.c_str(), display.empty() ? nullptr : display.c_str(), SERVICE_ALL_ACCESS,
      spec.serviceType, spec.startType, spec.errorControl, path.c_str(), group.empty() ? nullptr : group.c_str(),
      nullptr, dependencies.size() > 1 ? dependencies.c_str() : nullptr, account.empty() ? nullptr : account.c_str(),
      nullptr));
  if (!service) return gate::Failure(request, GetLastError());
  if (!spec.description.empty()) {
    std::wstring text = win32::Widen(spec.description);
    SERVICE_DESCRIPTIONW description{text.data()};
    ChangeServiceConfig2W(service.get(), SERVICE_CONFIG_DESCRIPTION, &description);
  }
  return gate::Done();
}

WriteResult DeleteServiceEntry(std::string_view name) {
  const WriteRequest request{WriteKind::DeleteService, std::string(name), {}};
  if (name.empty() || name.find('\\') != std::string_view::npos || name.find('/') != std::string_view::npos)
    return gate::Failure(request, ERROR_INVALID_NAME, "it is not a service name.");
  if (auto refused = gate::Intercepted(request)) return *refused;
  const std::string key = "SYSTEM\\CurrentControlSet\\Services\\" + std::string(name);
  const LONG rc = RegWriteKey::DeleteTree(HKEY_LOCAL_MACHINE, key);
  if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) return gate::Failure(request, static_cast<uint32_t>(rc));
  // The manager forgets it now rather than at the next start; its key is
  // gone already, so a failure here leaves nothing behind that comes back.
  const win32::UniqueScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  const win32::UniqueScHandle service(
      manager ? OpenServiceW(manager.get(), win32::Widen(name).c_str(), DELETE) : nullptr);
  if (service) DeleteService(service.get());
  if (!service && rc == ERROR_FILE_NOT_FOUND) return gate::Failure(request, ERROR_SERVICE_DOES_NOT_EXIST, "it does not exist.");
  return gate::Done();
}

}  // namespace wl
