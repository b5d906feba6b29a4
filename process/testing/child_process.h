// Test helper: a child process started without inheriting handles, ended by
// its own handle when the owner goes out of scope.
#pragma once

#include <windows.h>

#include <filesystem>
#include <string>

#include "core/utf8_path.h"
#include "tests/support/test_support.h"
#include "win32/handles.h"
#include "win32/unicode.h"

namespace wl::test {

class ChildProcess {
 public:
  // commandLine as CreateProcess takes it (the program is searched on the
  // path when not given with its folder). For the idle helper, waitReady
  // waits until it is up, so that it is never ended while it starts.
  explicit ChildProcess(const std::string& commandLine, bool waitReady = false) {
    // Standard handles on NUL: a child that got the test runner's output
    // pipe (as programs under Wine do) could keep the runner waiting on it.
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    win32::UniqueHfile nul(CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       &inherit, OPEN_EXISTING, 0, nullptr));
    // Only that handle is inherited: not the runner's pipe either.
    HANDLE inherited[] = {nul.get()};
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    std::string attributes(size, '\0');
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributes.data());
    const bool listed = InitializeProcThreadAttributeList(list, 1, 0, &size) &&
                        UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited,
                                                  sizeof inherited, nullptr, nullptr);
    STARTUPINFOEXW si{};
    si.StartupInfo.cb = sizeof si;
    si.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    si.StartupInfo.hStdInput = si.StartupInfo.hStdOutput = si.StartupInfo.hStdError = nul.get();
    si.lpAttributeList = listed ? list : nullptr;
    PROCESS_INFORMATION pi{};
    std::wstring cmd = win32::Widen(commandLine);
    const BOOL started = CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, TRUE,
                                        CREATE_SUSPENDED | (listed ? EXTENDED_STARTUPINFO_PRESENT : 0), nullptr,
                                        nullptr, &si.StartupInfo, &pi);
    if (listed) DeleteProcThreadAttributeList(list);
    if (!started) return;
    process_.reset(pi.hProcess);
    id_ = pi.dwProcessId;
    win32::UniqueHandle ready;
    if (waitReady)
      ready.reset(CreateEventW(nullptr, TRUE, FALSE, (L"WardenlakeIdleReady" + std::to_wstring(id_)).c_str()));
    ResumeThread(pi.hThread);
    CloseHandle(pi.hThread);
    if (ready) {
      HANDLE both[] = {ready.get(), process_.get()};
      WaitForMultipleObjects(2, both, FALSE, 10000);
    }
  }
  ~ChildProcess() {
    if (Running()) {
      TerminateProcess(process_.get(), 1);
      WaitForSingleObject(process_.get(), 5000);
    }
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Started() const { return static_cast<bool>(process_); }
  bool Running() const { return process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT; }
  // Waits until the process has ended; true when it did within the time.
  bool WaitEnded(DWORD ms = 5000) const { return process_ && WaitForSingleObject(process_.get(), ms) == WAIT_OBJECT_0; }
  DWORD Id() const { return id_; }
  HANDLE Handle() const { return process_.get(); }

 private:
  win32::UniqueHandle process_;
  DWORD id_ = 0;
};

// The idle helper program copied into folder under another name.
inline std::string CopyIdleHelper(const ScratchDir& folder, const std::string& name) {
  const std::string target = folder.File(name);
  std::filesystem::copy_file(BinaryDir() + "\\wlidle.exe", PathFromUtf8(target),
                             std::filesystem::copy_options::overwrite_existing);
  return target;
}

// Starts the idle helper, copied into folder as name, and waits until it is up.
inline std::string IdleCommand(const ScratchDir& folder, const std::string& name, bool window = false) {
  return "\"" + CopyIdleHelper(folder, name) + "\"" + (window ? " window" : "");
}

inline std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

}  // namespace wl::test
