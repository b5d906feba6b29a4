#include "process/operate_process.h"

#include <pdh.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <unordered_map>

#include <winternl.h>

#include "process/process_rows.h"
#include "win32/file_path.h"
#include "win32/handles.h"
#include "win32/unicode.h"

namespace wl {
namespace {

using Clock = std::chrono::steady_clock;
using win32::Narrow;
using win32::UniqueHandle;
using win32::UniqueSnapshot;
using win32::Widen;

bool SameFileNameIgnoringCase(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
         CSTR_EQUAL;
}

std::wstring WideFileNamePart(const std::wstring& path) {
  const auto pos = path.find_last_of(L"\\/");
  return pos == std::wstring::npos ? path : path.substr(pos + 1);
}

// Waits until the process ends or the deadline passes, answering messages
// that other threads or processes send to this thread's windows meanwhile
// (posted messages and user input stay queued, so no handler runs in the
// middle of a termination).
bool WaitForExit(HANDLE process, Clock::time_point deadline) {
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    const DWORD ms = left > 0 ? static_cast<DWORD>(left) : 0;
    const DWORD r = MsgWaitForMultipleObjectsEx(1, &process, ms, QS_SENDMESSAGE, 0);
    if (r == WAIT_OBJECT_0) return true;
    if (r == WAIT_OBJECT_0 + 1) {
      MSG msg;
      PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
      if (ms == 0) return WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
      continue;
    }
    return WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
  }
}

enum class KillResult { Gone, Failed, Pending };

// Opens and terminates one process.
KillResult Kill(DWORD id, UniqueHandle& handle) {
  if (id == GetCurrentProcessId()) return KillResult::Failed;
  handle.reset(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id));
  if (!handle) handle.reset(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id));
  if (!handle) return GetLastError() == ERROR_INVALID_PARAMETER ? KillResult::Gone : KillResult::Failed;
  if (WaitForSingleObject(handle.get(), 0) == WAIT_OBJECT_0) return KillResult::Gone;
  if (!TerminateProcess(handle.get(), 0))
    return WaitForSingleObject(handle.get(), 0) == WAIT_OBJECT_0 ? KillResult::Gone : KillResult::Failed;
  return KillResult::Pending;
}

std::unordered_map<DWORD, std::wstring> ProcessNamesById() {
  std::unordered_map<DWORD, std::wstring> names;
  UniqueSnapshot snap(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snap) return names;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL ok = Process32FirstW(snap.get(), &entry); ok; ok = Process32NextW(snap.get(), &entry))
    names.emplace(entry.th32ProcessID, WideFileNamePart(entry.szExeFile));  // the first entry of an id wins
  return names;
}

}  // namespace

bool EnableDebugPrivilege(bool enable) {
  HANDLE raw = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &raw)) return false;
  UniqueHandle token(raw);
  TOKEN_PRIVILEGES privileges{};
  if (!LookupPrivilegeValueW(nullptr, SE_DEBUG_NAME, &privileges.Privileges[0].Luid)) return false;
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
  SetLastError(ERROR_SUCCESS);
  if (!AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr)) return false;
  return GetLastError() == ERROR_SUCCESS;  // ERROR_NOT_ALL_ASSIGNED when the user lacks the right
}

int64_t CountProcesses() {
  struct Query {
    PDH_HQUERY query = nullptr;
    PDH_HCOUNTER counter = nullptr;
    ~Query() {
      if (counter) PdhRemoveCounter(counter);
      if (query) PdhCloseQuery(query);
    }
  } q;
  auto check = [](PDH_STATUS status) {
    if (status != ERROR_SUCCESS) {
      char text[32];
      std::snprintf(text, sizeof text, "Error: %08lX", static_cast<unsigned long>(status));
      throw std::runtime_error(text);
    }
  };
  check(PdhOpenQueryW(nullptr, 0, &q.query));
  // The English counter name, so the count works on every display language.
  check(PdhAddEnglishCounterW(q.query, L"\\Objects\\Processes", 0, &q.counter));
  check(PdhCollectQueryData(q.query));
  PDH_FMT_COUNTERVALUE value{};
  check(PdhGetFormattedCounterValue(q.counter, PDH_FMT_LARGE, nullptr, &value));
  check(value.CStatus);
  return value.largeValue;
}

std::vector<DWORD> EnumerateProcessIds(DWORD* error) {
  std::vector<DWORD> ids(1024);
  for (;;) {
    DWORD bytes = 0;
    const DWORD capacity = static_cast<DWORD>(ids.size() * sizeof(DWORD));
    if (!EnumProcesses(ids.data(), capacity, &bytes)) {
      if (error) *error = GetLastError();
      return {};
    }
    // A full buffer may have cut the list short: grow and ask again.
    if (bytes < capacity) {
      ids.resize(bytes / sizeof(DWORD));
      if (error) *error = ERROR_SUCCESS;
      return ids;
    }
    ids.resize(ids.size() * 2);
  }
}

std::vector<DWORD> FindProcessesByExecutableName(const std::string& fileName) {
  std::vector<DWORD> ids;
  const std::wstring wanted = Widen(fileName);
  if (wanted.empty()) return ids;
  UniqueSnapshot snap(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snap) return ids;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL ok = Process32FirstW(snap.get(), &entry); ok; ok = Process32NextW(snap.get(), &entry))
    if (SameFileNameIgnoringCase(WideFileNamePart(entry.szExeFile), wanted)) ids.push_back(entry.th32ProcessID);
  return ids;
}

bool TerminateProcessById(DWORD id, std::chrono::milliseconds wait) {
  UniqueHandle handle;
  switch (Kill(id, handle)) {
    case KillResult::Gone: return true;
    case KillResult::Failed: return false;
    case KillResult::Pending: return WaitForExit(handle.get(), Clock::now() + wait);
  }
  return false;
}

namespace {

std::wstring WithoutPrefix(std::wstring path) {
  if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) return L"\\\\" + path.substr(8);
  if (path.rfind(L"\\\\?\\", 0) == 0) return path.substr(4);
  return path;
}

// The path of a file as the system spells it (its final path: long names,
// its own case, no "..", links resolved); where the file cannot be opened,
// the path made full and long as far as it exists.
std::wstring SpelledPath(const std::wstring& path) {
  if (path.empty()) return {};
  const win32::UniqueHfile file(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  std::wstring buffer(32768, L'\0');
  if (file) {
    const DWORD n = GetFinalPathNameByHandleW(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()),
                                              FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (n > 0 && n < buffer.size()) return WithoutPrefix(buffer.substr(0, n));
  }
  DWORD n = GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
  if (n == 0 || n >= buffer.size()) return path;
  std::wstring full = buffer.substr(0, n);
  n = GetLongPathNameW(full.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
  return n > 0 && n < buffer.size() ? buffer.substr(0, n) : full;
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
  return !a.empty() &&
         CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
             CSTR_EQUAL;
}

// The programs of Windows' session, logon, service and security processes:
// ending one of them stops or breaks the system.
constexpr const wchar_t* kCriticalPrograms[] = {
    L"smss.exe",  L"csrss.exe", L"wininit.exe",     L"winlogon.exe", L"services.exe",
    L"lsass.exe", L"lsaiso.exe", L"svchost.exe",    L"fontdrvhost.exe", L"dwm.exe",
    L"logonui.exe", L"sihost.exe", L"wudfhost.exe", L"smartscreen.exe", L"securityhealthservice.exe",
};

const std::wstring& SystemFolder() {
  static const std::wstring folder = [] {
    wchar_t buffer[MAX_PATH];
    const UINT n = GetSystemDirectoryW(buffer, MAX_PATH);
    return n > 0 && n < MAX_PATH ? SpelledPath(std::wstring(buffer, n)) : std::wstring();
  }();
  return folder;
}

// Whether the process (its image spelled as the system spells it) is one
// Windows cannot do without.
bool CriticalProcess(HANDLE process, const std::wstring& image) {
  ULONG breakOnTermination = 0;
  if (NT_SUCCESS(NtQueryInformationProcess(process, ProcessBreakOnTermination, &breakOnTermination,
                                           sizeof breakOnTermination, nullptr)) &&
      breakOnTermination)
    return true;
  const auto slash = image.find_last_of(L'\\');
  if (slash == std::wstring::npos || !SamePath(image.substr(0, slash), SystemFolder())) return false;
  const std::wstring name = image.substr(slash + 1);
  for (const wchar_t* critical : kCriticalPrograms)
    if (SamePath(name, critical)) return true;
  return false;
}

}  // namespace

std::string EndProgramResult::Text() const {
  auto list = [](const std::vector<ProcessOfFile>& processes) {
    std::string text;
    for (std::size_t i = 0; i < processes.size(); ++i)
      text += (i == 0 ? "" : i + 1 == processes.size() ? " and " : ", ") + processes[i].name + " (" +
              std::to_string(processes[i].id) + ")";
    return text;
  };
  std::string text;
  if (!ended.empty()) text += "Ended " + list(ended) + ".";
  if (!failed.empty()) text += std::string(text.empty() ? "" : " ") + "Could not end " + list(failed) + ".";
  if (!spared.empty())
    text += std::string(text.empty() ? "" : " ") + "Left running " + list(spared) +
            (spared.size() == 1 ? ": Windows cannot do without it." : ": Windows cannot do without them.");
  return text;
}

EndProgramResult EndProcessesOfFile(const std::string& programPath, std::chrono::milliseconds wait) {
  EndProgramResult result;
  const std::wstring target = SpelledPath(win32::ApiPath(programPath));
  if (programPath.empty() || target.empty()) return result;
  const auto deadline = Clock::now() + wait;
  std::vector<DWORD> settled;  // spared or failed: not looked at again
  // A process of that file may start another one as it dies: look again
  // until none is left or the time is up.
  for (;;) {
    std::vector<std::pair<ProcessOfFile, UniqueHandle>> pending;
    for (DWORD id : EnumerateProcessIds()) {
      if (id == 0 || id == 4 || id == GetCurrentProcessId()) continue;
      if (std::find(settled.begin(), settled.end(), id) != settled.end()) continue;
      // The image is read from the very handle that ends it: an id used
      // again meanwhile cannot make another process the one ended.
      UniqueHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id));
      const bool canEnd = static_cast<bool>(process);
      if (!process) process.reset(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id));
      if (!process) continue;
      std::wstring image(32768, L'\0');
      DWORD size = static_cast<DWORD>(image.size());
      if (!QueryFullProcessImageNameW(process.get(), 0, image.data(), &size)) continue;
      image.resize(size);
      const std::wstring spelled = SpelledPath(image);
      if (!SamePath(spelled, target)) continue;
      const ProcessOfFile found{Narrow(WideFileNamePart(spelled)), id};
      if (WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0) continue;
      if (CriticalProcess(process.get(), spelled)) {
        result.spared.push_back(found);
        settled.push_back(id);
        continue;
      }
      if (!canEnd || !TerminateProcess(process.get(), 0)) {
        if (WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0) continue;
        result.failed.push_back(found);
        settled.push_back(id);
        continue;
      }
      pending.emplace_back(found, std::move(process));
    }
    if (pending.empty()) break;
    for (auto& [found, process] : pending) {
      if (WaitForExit(process.get(), deadline)) {
        result.ended.push_back(found);
      } else {
        result.failed.push_back(found);
        settled.push_back(found.id);
      }
    }
    if (Clock::now() >= deadline) break;
  }
  return result;
}

std::vector<WindowEntry> RefreshWindowTable() {
  std::vector<HWND> windows;
  EnumWindows(
      [](HWND hwnd, LPARAM lp) -> BOOL {
        reinterpret_cast<std::vector<HWND>*>(lp)->push_back(hwnd);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&windows));
  const auto names = ProcessNamesById();
  std::vector<WindowEntry> table;
  table.reserve(windows.size());
  for (HWND hwnd : windows) {
    WindowEntry e;
    wchar_t text[256];
    const int titleLen = GetWindowTextW(hwnd, text, 256);
    e.title = Narrow(std::wstring_view(text, titleLen > 0 ? titleLen : 0));
    const int classLen = GetClassNameW(hwnd, text, 256);
    e.className = Narrow(std::wstring_view(text, classLen > 0 ? classLen : 0));
    e.threadId = GetWindowThreadProcessId(hwnd, &e.processId);
    e.window = hwnd;
    e.visible = IsWindowVisible(hwnd) != FALSE;
    if (const auto it = names.find(e.processId); it != names.end()) {
      std::wstring upper = it->second;
      if (!upper.empty()) CharUpperBuffW(upper.data(), static_cast<DWORD>(upper.size()));
      e.executableName = Narrow(upper);
    }
    table.push_back(std::move(e));
  }
  return table;
}

}  // namespace wl
