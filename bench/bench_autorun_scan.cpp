// Timing program for the autorun scan, run under Wine by scripts/bench.sh
// (not by the tests). It fills the current user's Run key with 10,000 values
// and measures, in one run:
//   1. the autorun scan (all sources, verdicts, hijack rows) against merely
//      enumerating the same Run key's values with the registry API;
//   2. "wlscan autorun" against the system's "reg query" of that key, each
//      a whole process writing its listing to a file.
// Prints the medians and the ratios. The values are removed afterwards.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "autorun/autorun_scan.h"
#include "refdb/reference_tables.h"
#include "refdb/zlb_archive.h"
#include "win32/registry.h"
#include "win32/unicode.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr const wchar_t* kRunW = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const char* kRun = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const char* kPrefix = "WLBench-";
constexpr int kValues = 10000;
constexpr int kRounds = 7;

std::wstring ProgramFolder() {
  std::wstring buf(32768, L'\0');
  buf.resize(GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size())));
  return buf.substr(0, buf.find_last_of(L'\\') + 1);
}

void RemoveBenchValues() {
  auto key = wl::win32::RegKey::Open(HKEY_CURRENT_USER, kRun, KEY_READ | KEY_WRITE);
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

}  // namespace

int wmain() {
  const std::wstring folder = ProgramFolder();
  wl::ReferenceTables tables;
  try {
    wl::TZLBArchive archive;
    archive.Open(wl::win32::Narrow(folder) + "Ref.dbd");
    wl::MainDbValues mainDb;
    wl::LoadReferenceTables(archive, tables, mainDb);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "Cannot load Ref.dbd: %s\n", e.what());
    return 1;
  }

  RemoveBenchValues();
  {
    auto run = wl::win32::RegKey::Create(HKEY_CURRENT_USER, kRun);
    if (!run) return 1;
    for (int i = 0; i < kValues; ++i)
      run->WriteString(kPrefix + std::to_string(i),
                       "\"C:\\Program Files\\Bench " + std::to_string(i % 97) + "\\prog" + std::to_string(i) +
                           ".exe\" /background");
  }

  std::size_t enumerated = 0, scanned = 0;
  const double enumMs = MedianMs([&] { enumerated = EnumerateRunKey(); });
  const double scanMs = MedianMs([&] { scanned = wl::ScanAutorun(tables).rows.size(); });

  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::wstring outFile = std::wstring(temp) + L"wl_bench_out.txt";
  std::vector<double> wlscanTimes, regTimes;
  for (int i = 0; i < kRounds; ++i) {
    wlscanTimes.push_back(TimeProcess(L"\"" + folder + L"wlscan.exe\" autorun", outFile));
    regTimes.push_back(TimeProcess(std::wstring(L"reg.exe query \"HKCU\\") + kRunW + L"\"", outFile));
  }
  DeleteFileW(outFile.c_str());
  RemoveBenchValues();

  const double wlscanMs = Median(wlscanTimes), regMs = Median(regTimes);
  std::printf("Run key values: %d (enumerated %zu, scan rows %zu), median of %d rounds\n", kValues, enumerated,
              scanned, kRounds);
  std::printf("enumerate the Run key (RegEnumValueW)   %9.1f ms\n", enumMs);
  std::printf("autorun scan (21 sources, verdicts)     %9.1f ms   ratio %.2f\n", scanMs, scanMs / enumMs);
  std::printf("reg query of the Run key (process)      %9.1f ms\n", regMs);
  std::printf("wlscan autorun (process)                %9.1f ms   ratio %.2f\n", wlscanMs, wlscanMs / regMs);
  return 0;
}
