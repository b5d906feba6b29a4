// The connection to the task service, shared by the task listing and the task
// write routines. The caller's thread must have COM initialised.
#pragma once

#include <taskschd.h>

#include <string>
#include <string_view>

#include "win32/handles.h"

namespace wl {

// Connects to the local task service; error says why it could not.
bool ConnectTaskService(win32::ComPtr<ITaskService>& service, std::string& error);

// The registered task of a task path ("\Folder\Name"); hr receives the
// service's answer when it has none.
win32::ComPtr<IRegisteredTask> GetRegisteredTask(ITaskService* service, std::string_view taskPath, HRESULT& hr);
win32::ComPtr<ITaskFolder> GetTaskFolder(ITaskService* service, std::string_view folderPath, HRESULT& hr);

// An owned BSTR.
class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(std::string_view utf8);
  ~Bstr() { SysFreeString(p_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR get() const { return p_; }
  BSTR* put() {
    SysFreeString(p_);
    p_ = nullptr;
    return &p_;
  }
  std::wstring_view view() const { return p_ ? std::wstring_view(p_, SysStringLen(p_)) : std::wstring_view(); }

 private:
  BSTR p_ = nullptr;
};

}  // namespace wl
