#include "process/operate_process.h"

#include <pdh.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <unordered_map>

#include "process/process_rows.h"
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

// Opens and terminates one process. When expectedName is given, a process
// whose image is known to carry another name (its id was reused) is left alone.
KillResult Kill(DWORD id, const std::wstring* expectedName, UniqueHandle& handle) {
  if (id == GetCurrentProcessId()) return KillResult::Failed;
  handle.reset(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id));
  if (!handle) handle.reset(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id));
  if (!handle) return GetLastError() == ERROR_INVALID_PARAMETER ? KillResult::Gone : KillResult::Failed;
  if (WaitForSingleObject(handle.get(), 0) == WAIT_OBJECT_0) return KillResult::Gone;
  if (expectedName) {
    std::wstring image(32768, L'\0');
    DWORD size = static_cast<DWORD>(image.size());
    if (QueryFullProcessImageNameW(handle.get(), 0, image.data(), &size)) {
      image.resize(size);
      if (!SameFileNameIgnoringCase(WideFileNamePart(image), *expectedName)) return KillResult::Gone;
    }
  }
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
  switch (Kill(id, nullptr, handle)) {
    case KillResult::Gone: return true;
    case KillResult::Failed: return false;
    case KillResult::Pending: return WaitForExit(handle.get(), Clock::now() + wait);
  }
  return false;
}

bool TerminateProcessByName(const std::string& name, std::chrono::milliseconds wait) {
  const std::string fileName(FileNamePart(name));
  if (fileName.empty()) return false;
  const std::wstring wanted = Widen(fileName);
  const auto deadline = Clock::now() + wait;
  std::vector<DWORD> failed;  // could not be ended: not tried again
  // A process of that name may start another one as it dies: look again
  // until none is left or the time is up.
  for (;;) {
    std::vector<UniqueHandle> pending;
    bool found = false;
    for (DWORD id : FindProcessesByExecutableName(fileName)) {
      if (std::find(failed.begin(), failed.end(), id) != failed.end()) continue;
      found = true;
      UniqueHandle handle;
      switch (Kill(id, &wanted, handle)) {
        case KillResult::Gone: break;
        case KillResult::Failed: failed.push_back(id); break;
        case KillResult::Pending: pending.push_back(std::move(handle)); break;
      }
    }
    if (!found) return failed.empty();
    bool allGone = true;
    for (auto& handle : pending) allGone = WaitForExit(handle.get(), deadline) && allGone;
    if (!allGone || Clock::now() >= deadline) {
      for (DWORD id : FindProcessesByExecutableName(fileName))
        if (std::find(failed.begin(), failed.end(), id) == failed.end()) return false;
      return failed.empty();
    }
  }
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
