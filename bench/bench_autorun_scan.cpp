// Timing program for the autorun scan, run under Wine by scripts/bench.sh
// (not by the tests). It fills the current user's Run key with 10,000 values
// and measures, in one run:
//   1. the autorun scan (all sources, verdicts, hijack rows) against merely
//      enumerating the same Run key's values with the registry API;
//   2. "wlscan autorun" against the system's "reg query" of that key, each
//      a whole process writing its listing to a file.
//   3. with 1,000 scheduled tasks registered through the task service: the
//      new sources (tasks and hooks, with their verdicts) against the bare
//      reads they need (walking the service's folders, reading every task
//      definition file, opening and enumerating every hook key).
// Prints the medians and the ratios. The values and tasks are removed afterwards.
#include <windows.h>
#include <taskschd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "judge/windows_facts.h"
#include "autorun/autorun_scan.h"
#include "autorun/hook_sources.h"
#include "sysroutines/scheduled_tasks.h"
#include "sysroutines/system_info.h"
#include "sysroutines/system_paths.h"
#include "sysroutines/task_service.h"
#include "refdb/reference_tables.h"
#include "refdb/zlb_archive.h"
#include "win32/registry.h"
#include "win32/registry_write.h"
#include "win32/unicode.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr const wchar_t* kRunW = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const char* kRun = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const char* kPrefix = "WLBench-";
constexpr int kValues = 10000;
constexpr int kRounds = 7;

void RemoveBenchValues() {
  auto key = wl::win32::RegWriteKey::Open(HKEY_CURRENT_USER, kRun, KEY_READ | KEY_WRITE);
  if (!key) return;
  for (const auto& name : key->ValueNames())
    if (name.starts_with(kPrefix)) key->DeleteValue(name);
}

// The baseline: every value's name and data, straight from the API.
std::size_t EnumerateRunKey() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kRunW, 0, KEY_READ, &key) != ERROR_SUCCESS) return 0;
  DWORD maxName = 0, maxData = 0;
  RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &maxName, &maxData, nullptr,
                   nullptr);
  std::wstring name(maxName + 1, L'\0');
  std::vector<BYTE> data(maxData + 2);
  std::size_t count = 0;
  for (DWORD i = 0;; ++i) {
    DWORD nameLen = static_cast<DWORD>(name.size()), dataLen = static_cast<DWORD>(data.size()), type = 0;
    if (RegEnumValueW(key, i, name.data(), &nameLen, nullptr, &type, data.data(), &dataLen) != ERROR_SUCCESS) break;
    ++count;
  }
  RegCloseKey(key);
  return count;
}

// Runs a command line with its output into a file; wall time in ms.
double TimeProcess(const std::wstring& commandLine, const std::wstring& outFile) {
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  HANDLE out = CreateFileW(outFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS, 0, nullptr);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = out;
  si.hStdError = out;
  si.hStdInput = nullptr;
  PROCESS_INFORMATION pi{};
  std::wstring cmd = commandLine;
  const auto start = Clock::now();
  if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi)) {
    CloseHandle(out);
    return -1;
  }
  WaitForSingleObject(pi.hProcess, INFINITE);
  const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  CloseHandle(out);
  return ms;
}

template <typename F>
double MedianMs(F&& f) {
  std::vector<double> times;
  for (int i = 0; i < kRounds; ++i) {
    const auto start = Clock::now();
    f();
    times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

constexpr int kTasks = 1000;
constexpr const char* kTaskFolder = "WLBench";

std::string BenchTaskXml(int i) {
  return "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n"
         "<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">"
         "<Triggers><LogonTrigger><Enabled>true</Enabled></LogonTrigger></Triggers>"
         "<Settings><Enabled>true</Enabled><Hidden>" + std::string(i % 5 ? "false" : "true") + "</Hidden></Settings>"
         "<Actions Context=\"Author\"><Exec><Command>C:\\Program Files\\Bench " + std::to_string(i % 97) +
         "\\task" + std::to_string(i) + ".exe</Command><Arguments>/run</Arguments></Exec></Actions></Task>";
}

// Registers (or, with remove, deletes) the benchmark's tasks; how many were done.
int BenchTasks(bool remove) {
  wl::win32::ComScope com;
  wl::win32::ComPtr<ITaskService> service;
  std::string error;
  if (!wl::ConnectTaskService(service, error)) return 0;
  HRESULT hr = S_OK;
  auto root = wl::GetTaskFolder(service.get(), "\\", hr);
  if (!root) return 0;
  VARIANT empty;
  VariantInit(&empty);
  wl::win32::ComPtr<ITaskFolder> folder;
  if (FAILED(root->GetFolder(wl::Bstr(kTaskFolder).get(), folder.put())) || !folder) {
    if (remove) return 0;
    if (FAILED(root->CreateFolder(wl::Bstr(kTaskFolder).get(), empty, folder.put()))) return 0;
  }
  int done = 0;
  for (int i = 0; i < kTasks; ++i) {
    const wl::Bstr name("Task" + std::to_string(i));
    if (remove) {
      done += SUCCEEDED(folder->DeleteTask(name.get(), 0));
      continue;
    }
    wl::win32::ComPtr<IRegisteredTask> task;
    done += SUCCEEDED(folder->RegisterTask(name.get(), wl::Bstr(BenchTaskXml(i)).get(), TASK_CREATE_OR_UPDATE, empty,
                                           empty, TASK_LOGON_INTERACTIVE_TOKEN, empty, task.put()));
  }
  if (remove) root->DeleteFolder(wl::Bstr(kTaskFolder).get(), 0);
  return done;
}

// The service's folders walked as the listing walks them.
std::size_t WalkServiceFolder(ITaskFolder* folder) {
  std::size_t count = 0;
  wl::win32::ComPtr<IRegisteredTaskCollection> tasks;
  LONG n = 0;
  if (SUCCEEDED(folder->GetTasks(TASK_ENUM_HIDDEN, tasks.put())) && tasks && SUCCEEDED(tasks->get_Count(&n)))
    count += static_cast<std::size_t>(n);
  wl::win32::ComPtr<ITaskFolderCollection> folders;
  if (FAILED(folder->GetFolders(0, folders.put())) || !folders || FAILED(folders->get_Count(&n))) return count;
  for (LONG i = 1; i <= n; ++i) {
    VARIANT index;
    VariantInit(&index);
    index.vt = VT_I4;
    index.lVal = i;
    wl::win32::ComPtr<ITaskFolder> sub;
    if (SUCCEEDED(folders->get_Item(index, sub.put())) && sub) count += WalkServiceFolder(sub.get());
  }
  return count;
}

// Every file below folder read whole: the bytes the task store holds.
std::size_t ReadAllFiles(const std::wstring& folder) {
  std::size_t bytes = 0;
  WIN32_FIND_DATAW found{};
  HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return 0;
  std::vector<char> buffer(1 << 16);
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    const std::wstring path = folder + L"\\" + name;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      bytes += ReadAllFiles(path);
      continue;
    }
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) continue;
    DWORD read = 0;
    while (ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr) && read) bytes += read;
    CloseHandle(file);
  } while (FindNextFileW(find, &found));
  FindClose(find);
  return bytes;
}

// The bare reads of the new sources: the service's folders, the task
// definition files, and every hook key opened with its values enumerated
// (sub-keys opened and their value read).
std::size_t BareNewSourceReads() {
  std::size_t work = 0;
  {
    wl::win32::ComScope com;
    wl::win32::ComPtr<ITaskService> service;
    std::string error;
    HRESULT hr = S_OK;
    if (wl::ConnectTaskService(service, error))
      if (auto root = wl::GetTaskFolder(service.get(), "\\", hr)) work += WalkServiceFolder(root.get());
  }
  work += ReadAllFiles(wl::win32::Widen(wl::TaskStoreFolder()));
  for (const auto& source : wl::HookSources()) {
    const HKEY root = source.root == wl::RegRoot::CurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
    for (const std::string& path : wl::HookKeyPaths(source))
      for (const auto& key : wl::ExpandHookKey(root, path, wl::OpenSourceKeyInRegistry)) work += key.key.Values().size();
  }
  return work;
}

// The new sources as the scan reads them, with their verdicts.
std::size_t ScanNewSources(const wl::Judge& judge) {
  std::vector<wl::AutorunRow> rows;
  for (const auto& task : wl::ListScheduledTasks().tasks)
    for (auto& row : wl::TaskRows(task, wl::ComServerOf)) rows.push_back(std::move(row));
  const std::string windowsDir = wl::GetWindowsDir();
  // The places read keys the registry sources read too (the Run keys): as
  // in the scan, what those list already is merged away, not judged twice.
  std::vector<wl::AutorunRow> sourceRows;
  for (const auto& source : wl::RegistrySources())
    wl::ReadRegistrySource(source, wl::OpenSourceKeyInRegistry, sourceRows);
  for (auto& row : rows) sourceRows.push_back(std::move(row));
  rows = std::move(sourceRows);
  const std::size_t firstHook = rows.size();
  for (const auto& source : wl::HookSources()) wl::ReadHookSource(source, wl::OpenSourceKeyInRegistry, windowsDir, rows);
  wl::MergeHookRows(rows, firstHook);
  std::erase_if(rows, [](const wl::AutorunRow& r) { return r.source < wl::kWinIniRunSource; });
  std::vector<wl::HijackRow> hijack;
  wl::AnalyzeAutorunRows(rows, judge, hijack);
  return rows.size();
}

}  // namespace

int wmain() {
  const std::string folder = wl::OwnProgramFolder();
  wl::ReferenceTables tables;
  try {
    wl::TZLBArchive archive;
    archive.Open(folder + "Ref.dbd");
    wl::MainDbValues mainDb;
    wl::LoadReferenceTables(archive, tables, mainDb);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "Cannot load Ref.dbd: %s\n", e.what());
    return 1;
  }

  const wl::WindowsFacts facts;
  const wl::Judge judge(tables, facts);
  RemoveBenchValues();
  {
    auto run = wl::win32::RegWriteKey::Create(HKEY_CURRENT_USER, kRun);
    if (!run) return 1;
    for (int i = 0; i < kValues; ++i)
      run->WriteString(kPrefix + std::to_string(i),
                       "\"C:\\Program Files\\Bench " + std::to_string(i % 97) + "\\prog" + std::to_string(i) +
                           ".exe\" /background");
  }

  std::size_t enumerated = 0, scanned = 0;
  const double enumMs = MedianMs([&] { enumerated = EnumerateRunKey(); });
  const double scanMs = MedianMs([&] { scanned = wl::ScanAutorun(judge).rows.size(); });

  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::wstring outFile = std::wstring(temp) + L"wl_bench_out.txt";
  std::vector<double> wlscanTimes, regTimes;
  for (int i = 0; i < kRounds; ++i) {
    wlscanTimes.push_back(TimeProcess(L"\"" + wl::win32::Widen(folder) + L"wlscan.exe\" autorun", outFile));
    regTimes.push_back(TimeProcess(std::wstring(L"reg.exe query \"HKCU\\") + kRunW + L"\"", outFile));
  }
  DeleteFileW(outFile.c_str());

  // The new sources over 1,000 scheduled tasks, with the Run key still full.
  const int registered = BenchTasks(false);
  std::size_t bare = 0, newRows = 0, fullRows = 0;
  const double bareMs = MedianMs([&] { bare = BareNewSourceReads(); });
  const double newMs = MedianMs([&] { newRows = ScanNewSources(judge); });
  const double fullMs = MedianMs([&] { fullRows = wl::ScanAutorun(judge).rows.size(); });
  const std::size_t serviceListed = wl::ListScheduledTasks().fromService;
  BenchTasks(true);
  RemoveBenchValues();

  const double wlscanMs = Median(wlscanTimes), regMs = Median(regTimes);
  std::printf("Run key values: %d (enumerated %zu, scan rows %zu), median of %d rounds\n", kValues, enumerated,
              scanned, kRounds);
  std::printf("enumerate the Run key (RegEnumValueW)   %9.1f ms\n", enumMs);
  std::printf("autorun scan (21 sources, verdicts)     %9.1f ms   ratio %.2f\n", scanMs, scanMs / enumMs);
  std::printf("reg query of the Run key (process)      %9.1f ms\n", regMs);
  std::printf("wlscan autorun (process)                %9.1f ms   ratio %.2f\n", wlscanMs, wlscanMs / regMs);
  std::printf("Scheduled tasks registered: %d of %d; task service lists %zu\n", registered, kTasks,
              serviceListed);
  std::printf("bare reads of the new sources           %9.1f ms   (work units %zu)\n", bareMs, bare);
  std::printf("new sources: tasks and hooks, verdicts  %9.1f ms   ratio %.2f   rows %zu\n", newMs, newMs / bareMs,
              newRows);
  std::printf("whole autorun scan (Run key + tasks)    %9.1f ms   rows %zu\n", fullMs, fullRows);
  return 0;
}
