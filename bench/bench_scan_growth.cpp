// Timing program for how the judge's cost grows with the number of entries,
// run under Wine by scripts/bench.sh (not by the tests). For N Run values
// (1,000, 4,000 and 10,000) naming programs spread over 100 folders, first
// all missing, then all present, it measures side by side in one run:
//   - "reg query" of the Run key (a process: the bare listing),
//   - "wlscan autorun" (the Autorun List) and "wlscan scan" (the whole
//     hijack scan), each a process,
//   - an autorun scan in this process, and the judge alone over the values,
//   - the file-system calls the judge made per program (lookups of names,
//     files opened, folders listed), from an autorun scan in this process.
// Then N values naming programs in one folder, half of them missing (1,000,
// 2,000 and 4,000): the same, and what a lookup of a missing name costs in a
// folder of thousands here against an empty folder.
// Prints the medians, the ratios to "reg query" (the median of each round's
// ratio) and the growth from the smallest N. Values, folders and files are removed afterwards.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "autorun/autorun_scan.h"
#include "judge/windows_facts.h"
#include "refdb/reference_tables.h"
#include "refdb/zlb_archive.h"
#include "sysroutines/system_paths.h"
#include "win32/registry.h"
#include "win32/registry_write.h"
#include "win32/unicode.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr const wchar_t* kRunW = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const char* kRun = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const char* kPrefix = "WLGrowth-";
constexpr int kRounds = 5;
constexpr int kFolders = 100;

double Ms(Clock::time_point start) { return std::chrono::duration<double, std::milli>(Clock::now() - start).count(); }

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
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
  PROCESS_INFORMATION pi{};
  std::wstring cmd = commandLine;
  const auto start = Clock::now();
  if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi)) {
    CloseHandle(out);
    return -1;
  }
  WaitForSingleObject(pi.hProcess, INFINITE);
  const double ms = Ms(start);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  CloseHandle(out);
  return ms;
}

void RemoveValues() {
  auto key = wl::win32::RegWriteKey::Open(HKEY_CURRENT_USER, kRun, KEY_READ | KEY_WRITE);
  if (!key) return;
  for (const auto& name : key->ValueNames())
    if (name.starts_with(kPrefix)) key->DeleteValue(name);
}

// A small unsigned program file: 64-bit PE headers with nothing to run
// (what the judge reads of a program is its bytes, its version resource and
// its signature directory).
std::string SmallProgram() {
  std::string b(2048, '\0');
  b[0] = 'M';
  b[1] = 'Z';
  b[0x3C] = 0x40;
  b.replace(0x40, 4, std::string("PE\0\0", 4));
  b[0x44] = '\x64';  // x64
  b[0x45] = '\x86';
  b[0x44 + 16] = '\xF0';  // the optional header's 240 bytes
  b[0x58] = '\x0B';       // PE32+
  b[0x59] = '\x02';
  b[0x58 + 108] = 16;     // data directories, all empty: no signature
  return b;
}

void WriteFile(const std::string& path, const std::string& bytes) {
  HANDLE file = CreateFileW(wl::win32::Widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD done = 0;
  ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
  CloseHandle(file);
}

struct Layout {
  const char* title;
  std::vector<int> sizes;
  bool oneFolder;   // all in one folder (else spread over kFolders)
  int presentEvery; // every how many-th program exists (0: none)
};

struct Result {
  double reg = 0, autorun = 0, scan = 0, autorunRatio = 0, scanRatio = 0;
  double lookups = 0, opens = 0, listings = 0, folderOpens = 0;  // per program
  double inProcess = 0, judgeOnly = 0;                            // ms
};

}  // namespace

int wmain() {
  const std::string self = wl::OwnProgramFolder();
  wl::ReferenceTables tables;
  try {
    wl::TZLBArchive archive;
    archive.Open(self + "Ref.dbd");
    wl::MainDbValues mainDb;
    wl::LoadReferenceTables(archive, tables, mainDb);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "Cannot load Ref.dbd: %s\n", e.what());
    return 1;
  }
  wchar_t tempBuf[MAX_PATH];
  GetTempPathW(MAX_PATH, tempBuf);
  const std::wstring outFile = std::wstring(tempBuf) + L"wl_bench_growth.txt";
  wchar_t programFiles[MAX_PATH] = L"";
  GetEnvironmentVariableW(L"ProgramFiles", programFiles, MAX_PATH);
  const std::string root = wl::win32::Narrow(programFiles) + "\\WlGrowth";
  const std::string program = SmallProgram();
  const std::wstring wlscan = L"\"" + wl::win32::Widen(self) + L"wlscan.exe\"";
  const wl::WindowsFacts facts;

  const std::vector<Layout> layouts = {
      {"spread over 100 folders, programs missing", {1000, 4000, 10000}, false, 0},
      {"spread over 100 folders, programs present", {1000, 4000, 10000}, false, 1},
      {"one folder, half of the programs missing", {1000, 2000, 4000}, true, 2},
  };
  std::printf("median of %d rounds; ratios to reg query; growth against the first N\n", kRounds);
  {
    // What each process costs with none of the benchmark's values.
    RemoveValues();
    std::vector<double> reg, autorun, scan;
    for (int round = 0; round < kRounds; ++round) {
      reg.push_back(TimeProcess(std::wstring(L"reg.exe query \"HKCU\\") + kRunW + L"\"", outFile));
      autorun.push_back(TimeProcess(wlscan + L" autorun", outFile));
      scan.push_back(TimeProcess(wlscan + L" scan", outFile));
    }
    std::printf("no values: reg query %.0f ms, wlscan autorun %.0f ms, wlscan scan %.0f ms\n", Median(reg),
                Median(autorun), Median(scan));
  }
  for (const Layout& layout : layouts) {
    std::printf("\n== %s\n", layout.title);
    std::printf("%7s %8s %8s %6s %8s %6s %9s %8s   %s\n", "N", "reg ms", "autorun", "ratio", "scan ms", "ratio",
                "in-proc", "judge", "per program: lookups opens listings folders");
    std::vector<Result> results;
    for (int n : layout.sizes) {
      std::error_code ec;
      std::filesystem::remove_all(std::filesystem::path(wl::win32::Widen(root)), ec);
      RemoveValues();
      for (int f = 0; f < (layout.oneFolder ? 1 : kFolders); ++f)
        std::filesystem::create_directories(std::filesystem::path(wl::win32::Widen(root + "\\App " + std::to_string(f))));
      {
        auto run = wl::win32::RegWriteKey::Create(HKEY_CURRENT_USER, kRun);
        for (int i = 0; i < n; ++i) {
          const std::string path = root + "\\App " + std::to_string(layout.oneFolder ? 0 : i % kFolders) +
                                   "\\prog" + std::to_string(i) + ".exe";
          if (layout.presentEvery && i % layout.presentEvery == 0) WriteFile(path, program);
          run->WriteString(kPrefix + std::to_string(i), "\"" + path + "\" /background");
        }
      }
      Result r;
      // Each round runs the three back to back: the ratios are taken per
      // round (the machine's load changes less within one), then their median.
      std::vector<double> reg, autorun, scan, autorunRatio, scanRatio;
      for (int round = 0; round < kRounds; ++round) {
        reg.push_back(TimeProcess(std::wstring(L"reg.exe query \"HKCU\\") + kRunW + L"\"", outFile));
        autorun.push_back(TimeProcess(wlscan + L" autorun", outFile));
        scan.push_back(TimeProcess(wlscan + L" scan", outFile));
        autorunRatio.push_back(autorun.back() / reg.back());
        scanRatio.push_back(scan.back() / reg.back());
      }
      r.reg = Median(reg);
      r.autorun = Median(autorun);
      r.scan = Median(scan);
      r.autorunRatio = Median(autorunRatio);
      r.scanRatio = Median(scanRatio);
      {
        const wl::Judge judge(tables, facts);
        const auto start = Clock::now();
        wl::ScanAutorun(judge);
        r.inProcess = Ms(start);
        const wl::FileSystemCounts c = judge.Counts();
        r.lookups = static_cast<double>(c.lookups) / n;
        r.opens = static_cast<double>(c.opens) / n;
        r.listings = static_cast<double>(c.listings) / n;
        r.folderOpens = static_cast<double>(c.folderOpens) / n;
        // The judge alone, over the same values, on a fresh judge.
        std::vector<wl::JudgeRequest> requests;
        if (const auto key = wl::win32::RegKey::Open(HKEY_CURRENT_USER, kRun))
          for (const auto& value : key->Values())
            if (value.name.starts_with(kPrefix)) requests.emplace_back(wl::win32::RegValueText(value));
        const wl::Judge fresh(tables, facts);
        const auto judged = Clock::now();
        fresh.AssessAll(requests);
        r.judgeOnly = Ms(judged);
      }
      std::printf("%7d %8.0f %8.0f %6.2f %8.0f %6.2f %9.0f %8.0f   %7.3f %5.3f %8.4f %7.4f\n", n, r.reg, r.autorun,
                  r.autorunRatio, r.scan, r.scanRatio, r.inProcess, r.judgeOnly, r.lookups, r.opens, r.listings,
                  r.folderOpens);
      results.push_back(r);
    }
    std::printf("growth  ");
    for (std::size_t i = 1; i < results.size(); ++i)
      std::printf("  N x%.0f: reg x%.2f, autorun x%.2f, scan x%.2f", double(layout.sizes[i]) / layout.sizes[0],
                  results[i].reg / results[0].reg, results[i].autorun / results[0].autorun,
                  results[i].scan / results[0].scan);
    std::printf("\n");
  }
  RemoveValues();

  // What a lookup of a missing name costs in a folder of thousands.
  {
    const int files = 4000, asked = 1000;
    const std::string full = root + "\\Full", empty = root + "\\Empty";
    std::filesystem::create_directories(std::filesystem::path(wl::win32::Widen(full)));
    std::filesystem::create_directories(std::filesystem::path(wl::win32::Widen(empty)));
    for (int i = 0; i < files; ++i) WriteFile(full + "\\file" + std::to_string(i) + ".exe", program);
    auto lookups = [&](const std::string& folder, const char* stem) {
      const auto start = Clock::now();
      WIN32_FILE_ATTRIBUTE_DATA data;
      for (int i = 0; i < asked; ++i)
        GetFileAttributesExW(wl::win32::Widen(folder + "\\" + stem + std::to_string(i) + ".exe").c_str(),
                             GetFileExInfoStandard, &data);
      return Ms(start) * 1000 / asked;
    };
    const double missingFull = lookups(full, "none"), missingEmpty = lookups(empty, "none");
    const double presentFull = lookups(full, "file");
    const auto start = Clock::now();
    const wl::FolderListing listing = facts.ListFolder(full);
    const double listMs = Ms(start);
    std::printf("\n== a lookup in a folder of %d files (%d lookups each)\n", files, asked);
    std::printf("missing name, full folder   %9.1f us\n", missingFull);
    std::printf("missing name, empty folder  %9.1f us\n", missingEmpty);
    std::printf("present name, full folder   %9.1f us\n", presentFull);
    std::printf("one listing of the folder   %9.1f us (%zu names)\n", listMs * 1000, listing.names.size());
  }
  std::error_code ec;
  std::filesystem::remove_all(std::filesystem::path(wl::win32::Widen(root)), ec);
  DeleteFileW(outFile.c_str());
  return 0;
}
