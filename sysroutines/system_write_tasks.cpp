// The write routines of scheduled tasks, through the task service.
#include "sysroutines/system_write.h"

#include <optional>

#include "core/task_definition.h"
#include "sysroutines/task_service.h"
#include "sysroutines/text_routines.h"
#include "sysroutines/write_gate.h"
#include "win32/handles.h"
#include "win32/unicode.h"

namespace wl {

namespace {

// The Win32 error code within a service's HRESULT, else the HRESULT itself.
uint32_t ErrorOf(HRESULT hr) {
  return HRESULT_FACILITY(hr) == FACILITY_WIN32 ? static_cast<uint32_t>(HRESULT_CODE(hr)) : static_cast<uint32_t>(hr);
}

// Connects to the task service for a change; the failure when it cannot.
std::optional<WriteResult> ConnectFor(const WriteRequest& r, win32::ComPtr<ITaskService>& service) {
  std::string error;
  if (ConnectTaskService(service, error)) return std::nullopt;
  return gate::Failure(r, ERROR_SERVICE_NOT_ACTIVE, error);
}

// The checks every task change makes before touching anything.
std::optional<WriteResult> CheckTaskPath(const WriteRequest& r, std::string_view taskPath) {
  if (taskPath.size() < 2 || taskPath.front() != '\\' || taskPath.back() == '\\')
    return gate::Failure(r, ERROR_INVALID_NAME, "it is not a task path.");
  return std::nullopt;
}

// A change of a task under way: the task service, connected once the
// change passed its checks and the gate.
struct TaskChangeSession {
  std::optional<win32::ComScope> com;
  win32::ComPtr<ITaskService> service;
};

// What every change of a registered task starts with; the failure when a
// step fails.
std::optional<WriteResult> StartTaskChange(const WriteRequest& r, std::string_view taskPath, TaskChangeSession& s) {
  if (auto refused = CheckTaskPath(r, taskPath)) return refused;
  if (auto refused = gate::Intercepted(r)) return refused;
  s.com.emplace();
  return ConnectFor(r, s.service);
}

}  // namespace

std::string ScheduledTaskXml(std::string_view taskPath) {
  win32::ComScope com;
  win32::ComPtr<ITaskService> service;
  std::string error;
  if (!ConnectTaskService(service, error)) return {};
  HRESULT hr = S_OK;
  const auto task = GetRegisteredTask(service.get(), taskPath, hr);
  Bstr xml;
  if (!task || FAILED(task->get_Xml(xml.put()))) return {};
  return win32::Narrow(xml.view());
}

WriteResult DeleteScheduledTask(std::string_view taskPath, std::string* xmlBefore) {
  const WriteRequest request{WriteKind::DeleteTask, std::string(taskPath), {}};
  TaskChangeSession session;
  if (auto failed = StartTaskChange(request, taskPath, session)) return *failed;
  const win32::ComPtr<ITaskService>& service = session.service;
  HRESULT hr = S_OK;
  const auto folder = GetTaskFolder(service.get(), TaskFolderOf(taskPath), hr);
  if (!folder) return gate::Failure(request, ErrorOf(hr));
  if (xmlBefore) {
    const auto task = GetRegisteredTask(service.get(), taskPath, hr);
    if (!task) return gate::Failure(request, ErrorOf(hr));
    Bstr xml;
    hr = task->get_Xml(xml.put());
    if (FAILED(hr)) return gate::Failure(request, ErrorOf(hr), "its definition cannot be read for the backup.");
    *xmlBefore = win32::Narrow(xml.view());
  }
  const Bstr name(TaskNameOf(taskPath));
  hr = folder->DeleteTask(name.get(), 0);
  return SUCCEEDED(hr) ? gate::Done() : gate::Failure(request, ErrorOf(hr));
}

namespace {

// Sets whether a task is enabled; done only when the service then reports it so.
WriteResult SetTaskEnabled(WriteKind kind, std::string_view taskPath, bool enable) {
  const WriteRequest request{kind, std::string(taskPath), {}};
  TaskChangeSession session;
  if (auto failed = StartTaskChange(request, taskPath, session)) return *failed;
  const win32::ComPtr<ITaskService>& service = session.service;
  HRESULT hr = S_OK;
  const auto task = GetRegisteredTask(service.get(), taskPath, hr);
  if (!task) return gate::Failure(request, ErrorOf(hr));
  hr = task->put_Enabled(enable ? VARIANT_TRUE : VARIANT_FALSE);
  if (FAILED(hr)) return gate::Failure(request, ErrorOf(hr));
  VARIANT_BOOL enabled = enable ? VARIANT_FALSE : VARIANT_TRUE;
  if (FAILED(task->get_Enabled(&enabled)) || (enabled != VARIANT_FALSE) != enable)
    return gate::Failure(request, ERROR_GEN_FAILURE,
                   std::string("the task service accepted the change but the task is still ") +
                       (enable ? "disabled." : "enabled."));
  return gate::Done();
}

}  // namespace

WriteResult DisableScheduledTask(std::string_view taskPath) {
  return SetTaskEnabled(WriteKind::DisableTask, taskPath, false);
}

WriteResult EnableScheduledTask(std::string_view taskPath) {
  return SetTaskEnabled(WriteKind::EnableTask, taskPath, true);
}

std::optional<bool> ScheduledTaskEnabled(std::string_view taskPath) {
  win32::ComScope com;
  win32::ComPtr<ITaskService> service;
  std::string error;
  if (!ConnectTaskService(service, error)) return std::nullopt;
  HRESULT hr = S_OK;
  const auto task = GetRegisteredTask(service.get(), taskPath, hr);
  VARIANT_BOOL enabled = VARIANT_TRUE;
  if (!task || FAILED(task->get_Enabled(&enabled))) return std::nullopt;
  return enabled != VARIANT_FALSE;
}

WriteResult RegisterScheduledTask(std::string_view taskPath, std::string_view xml) {
  WriteRequest request{WriteKind::RegisterTask, std::string(taskPath), {}};
  request.text = std::string(xml);
  if (auto refused = CheckTaskPath(request, taskPath)) return *refused;
  if (xml.empty()) return gate::Failure(request, ERROR_INVALID_PARAMETER, "there is no definition.");
  if (auto refused = gate::Intercepted(request)) return *refused;
  win32::ComScope com;
  win32::ComPtr<ITaskService> service;
  if (auto failed = ConnectFor(request, service)) return *failed;
  HRESULT hr = S_OK;
  const std::string folderPath = TaskFolderOf(taskPath);
  auto folder = GetTaskFolder(service.get(), folderPath, hr);
  if (!folder) {
    // The folders on the way, made where missing.
    VARIANT none;
    VariantInit(&none);
    std::string path;
    for (const auto& part : SplitText(std::string_view(folderPath).substr(1), "\\")) {
      if (part.empty()) continue;
      auto parent = GetTaskFolder(service.get(), path.empty() ? "\\" : path, hr);
      path += "\\" + std::string(part);
      if (GetTaskFolder(service.get(), path, hr)) continue;
      win32::ComPtr<ITaskFolder> made;
      hr = parent ? parent->CreateFolder(Bstr(part).get(), none, made.put()) : hr;
      if (!parent || FAILED(hr)) return gate::Failure(request, ErrorOf(hr), "its folder " + path + " cannot be made.");
    }
    folder = GetTaskFolder(service.get(), folderPath, hr);
    if (!folder) return gate::Failure(request, ErrorOf(hr));
  }
  VARIANT empty;
  VariantInit(&empty);
  win32::ComPtr<IRegisteredTask> task;
  // No account is given: the definition's own principal stays.
  hr = folder->RegisterTask(Bstr(TaskNameOf(taskPath)).get(), Bstr(xml).get(), TASK_CREATE_OR_UPDATE, empty, empty,
                            TASK_LOGON_NONE, empty, task.put());
  return SUCCEEDED(hr) ? gate::Done() : gate::Failure(request, ErrorOf(hr), "the task service did not take its definition.");
}

}  // namespace wl
