// Timing program for the judge, run under Wine by scripts/bench.sh (not by
// the tests). It measures, in one run:
//   1. one verification of a file: a program with an embedded signature, one
//      without (its catalog lookup included, which finds nothing here), and
//      one whose catalog signature comes through the catalog seam;
//   2. the whole hijack scan with 200 Run entries, each starting a signed
//      program of its own folder: without signatures (and without hashes),
//      with signatures on a fresh judge (cold), and with the same judge a
//      second time (warm: every file's facts are known, only stamped again).
// Prints the medians and the ratios. The entries and copies are removed afterwards.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "core/hijack_list.h"
#include "judge/windows_facts.h"
#include "refdb/reference_tables.h"
#include "refdb/zlb_archive.h"
#include "console/hijack_scan.h"
#include "sysroutines/system_paths.h"
#include "win32/registry_write.h"
#include "win32/unicode.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr const char* kRun = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const char* kPrefix = "WLBenchJudge-";
constexpr int kEntries = 200;
constexpr int kRounds = 5;
constexpr int kVerifications = 40;

template <typename F>
double Ms(F&& f) {
  const auto start = Clock::now();
  f();
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

template <typename F>
double MedianMs(int rounds, F&& f) {
  std::vector<double> times;
  for (int i = 0; i < rounds; ++i) times.push_back(Ms(f));
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

void RemoveEntries(const std::string& copies) {
  if (auto key = wl::win32::RegWriteKey::Open(HKEY_CURRENT_USER, kRun, KEY_READ | KEY_WRITE))
    for (const auto& name : key->ValueNames())
      if (name.starts_with(kPrefix)) key->DeleteValue(name);
  std::error_code ec;
  std::filesystem::remove_all(std::filesystem::path(wl::win32::Widen(copies)), ec);
}

}  // namespace

int wmain() {
  const std::string folder = wl::OwnProgramFolder();
  const std::string signedDir = folder + "signed\\";
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
  if (GetFileAttributesW(wl::win32::Widen(signedDir + "vendor.exe").c_str()) == INVALID_FILE_ATTRIBUTES) {
    std::fprintf(stderr, "No signed test programs in %s (build the target wl_signed_programs)\n", signedDir.c_str());
    return 1;
  }

  // 1. One verification each.
  const double embeddedMs =
      MedianMs(kVerifications, [&] { wl::VerifyEmbeddedSignature(signedDir + "vendor.exe"); });
  const wl::WindowsFacts facts;
  const double unsignedMs = MedianMs(kVerifications, [&] { facts.Signature(signedDir + "unsigned.exe"); });
  const wl::WindowsFacts seamed([](const std::string&) -> std::optional<wl::SignatureInfo> {
    wl::SignatureInfo info;
    info.state = wl::SignatureState::Verified;
    info.catalog = true;
    return info;
  });
  const double catalogSeamMs = MedianMs(kVerifications, [&] { seamed.Signature(signedDir + "unsigned.exe"); });

  // 2. The whole hijack scan over 200 signed programs of their own.
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::string copies = wl::win32::Narrow(temp) + "wl_bench_judge";
  RemoveEntries(copies);
  {
    auto run = wl::win32::RegWriteKey::Create(HKEY_CURRENT_USER, kRun);
    if (!run) return 1;
    for (int i = 0; i < kEntries; ++i) {
      const std::string dir = copies + "\\app" + std::to_string(i);
      std::filesystem::create_directories(std::filesystem::path(wl::win32::Widen(dir)));
      const std::string program = dir + "\\vendor.exe";
      CopyFileW(wl::win32::Widen(signedDir + "vendor.exe").c_str(), wl::win32::Widen(program).c_str(), FALSE);
      run->WriteString(kPrefix + std::to_string(i), "\"" + program + "\" /background");
    }
  }
  std::size_t flagged = 0;
  auto scan = [&](const wl::Judge& judge) {
    wl::HijackList list;
    wl::RunHeadlessHijackScan(judge, list);
    flagged = list.Count();
  };
  const double plainMs = MedianMs(kRounds, [&] {
    const wl::Judge judge(tables, facts, wl::JudgeOptions{.signatures = false, .hashes = false});
    scan(judge);
  });
  std::vector<double> cold, warm;
  std::size_t verifications = 0;
  for (int i = 0; i < kRounds; ++i) {
    const wl::Judge judge(tables, facts);
    cold.push_back(Ms([&] { scan(judge); }));
    verifications = judge.Verifications();
    warm.push_back(Ms([&] { scan(judge); }));
  }
  RemoveEntries(copies);
  std::sort(cold.begin(), cold.end());
  std::sort(warm.begin(), warm.end());
  const double coldMs = cold[cold.size() / 2], warmMs = warm[warm.size() / 2];

  std::printf("one verification, median of %d:\n", kVerifications);
  std::printf("  embedded signature (WinVerifyTrust)        %8.2f ms\n", embeddedMs);
  std::printf("  unsigned (embedded, then catalog lookup)   %8.2f ms\n", unsignedMs);
  std::printf("  catalog signature through the seam         %8.2f ms\n", catalogSeamMs);
  std::printf("hijack scan with %d signed Run programs (%zu flagged, %zu files verified), median of %d:\n",
              kEntries, flagged, verifications, kRounds);
  std::printf("  without signatures or hashes               %8.1f ms\n", plainMs);
  std::printf("  with signatures, cold                      %8.1f ms   ratio %.2f\n", coldMs, coldMs / plainMs);
  std::printf("  with signatures, warm (second scan)        %8.1f ms   ratio %.2f (goal <= 1.10)\n", warmMs,
              warmMs / plainMs);
  return 0;
}
