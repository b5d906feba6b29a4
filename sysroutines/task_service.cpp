#include "sysroutines/task_service.h"

#include "core/task_definition.h"
#include "win32/system_error.h"
#include "win32/unicode.h"

namespace wl {

Bstr::Bstr(std::string_view utf8) {
  const std::wstring w = win32::Widen(utf8);
  p_ = SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
}

bool ConnectTaskService(win32::ComPtr<ITaskService>& service, std::string& error) {
  HRESULT hr = CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskService,
                                service.put_void());
  if (SUCCEEDED(hr) && service) {
    VARIANT empty;
    VariantInit(&empty);
    hr = service->Connect(empty, empty, empty, empty);
    if (SUCCEEDED(hr)) return true;
  }
  service.reset();
  error = "The task service cannot be reached: " + win32::SystemErrorText(static_cast<uint32_t>(hr));
  return false;
}

win32::ComPtr<ITaskFolder> GetTaskFolder(ITaskService* service, std::string_view folderPath, HRESULT& hr) {
  win32::ComPtr<ITaskFolder> folder;
  const Bstr path(folderPath.empty() ? std::string_view("\\") : folderPath);
  hr = service->GetFolder(path.get(), folder.put());
  if (SUCCEEDED(hr) && !folder) hr = HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
  return folder;
}

win32::ComPtr<IRegisteredTask> GetRegisteredTask(ITaskService* service, std::string_view taskPath, HRESULT& hr) {
  win32::ComPtr<IRegisteredTask> task;
  const auto folder = GetTaskFolder(service, TaskFolderOf(taskPath), hr);
  if (!folder) return task;
  const Bstr name(TaskNameOf(taskPath));
  hr = folder->GetTask(name.get(), task.put());
  if (SUCCEEDED(hr) && !task) hr = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
  return task;
}

}  // namespace wl
