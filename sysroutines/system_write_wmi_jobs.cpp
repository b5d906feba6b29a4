// The write routines of WMI instances and background transfer jobs.
#include "sysroutines/system_write.h"

#include "sysroutines/write_gate.h"

namespace wl {

WriteResult DeleteWmiInstance(std::string_view wmiNamespace, std::string_view path) {
  const WriteRequest request{WriteKind::DeleteWmiInstance, std::string(wmiNamespace), std::string(path)};
  if (path.empty()) return gate::Failure(request, ERROR_INVALID_NAME, "it names no instance.");
  WmiInstance before;
  if (const uint32_t e = WmiStore().Get(wmiNamespace, path, before)) return gate::Failure(request, e);
  if (auto refused = gate::Intercepted(request)) return *refused;
  if (const uint32_t e = WmiStore().Delete(wmiNamespace, path)) return gate::Failure(request, e);
  return gate::Done();
}

WriteResult CreateWmiInstance(std::string_view wmiNamespace, const WmiInstance& instance) {
  WriteRequest request{WriteKind::CreateWmiInstance, std::string(wmiNamespace), instance.path};
  request.text = WmiInstanceText(instance);
  if (instance.className.empty() || instance.path.empty())
    return gate::Failure(request, ERROR_INVALID_DATA, "it names no class or path.");
  WmiInstance there;
  const uint32_t found = WmiStore().Get(wmiNamespace, instance.path, there);
  if (found == ERROR_SUCCESS) return gate::Failure(request, ERROR_ALREADY_EXISTS, "one of that path is there.");
  if (found != ERROR_FILE_NOT_FOUND) return gate::Failure(request, found);
  if (auto refused = gate::Intercepted(request)) return *refused;
  if (const uint32_t e = WmiStore().Create(wmiNamespace, instance)) return gate::Failure(request, e);
  return gate::Done();
}

WriteResult CancelTransferJob(std::string_view id) {
  const WriteRequest request{WriteKind::CancelTransferJob, std::string(id), {}};
  TransferJob job;
  if (const uint32_t e = TransferJobs().Get(id, job)) return gate::Failure(request, e);
  if (auto refused = gate::Intercepted(request)) return *refused;
  if (const uint32_t e = TransferJobs().Cancel(id)) return gate::Failure(request, e);
  return gate::Done();
}

}  // namespace wl
