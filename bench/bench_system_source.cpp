// An offline system read through the system source: the real 11.7 MB
// SYSTEM hive of the tests laid out as a system's volume in a scratch
// folder. Opening it (the hive read whole, the control set, the machine's
// environment, the users), every service's values as the service list reads
// them, and every key and value of the current control set through the
// source, beside the same keys walked by the hive reader itself (the
// source's cost over the reader's). The last lines give the ratios.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>

#include "core/hive.h"
#include "core/offline_system.h"
#include "core/utf8_path.h"

namespace {

namespace fs = std::filesystem;

// The layout, made once: ROOT\Windows\System32\config\SYSTEM.
const std::string& Root() {
  static const std::string root = [] {
    const fs::path dir = fs::temp_directory_path() / "wl-bench-offline";
    fs::create_directories(dir / "Windows/System32/config");
    fs::copy_file(std::string(WL_HIVE_DATA_DIR) + "/SYSTEM", dir / "Windows/System32/config/SYSTEM",
                  fs::copy_options::overwrite_existing);
    return wl::Utf8FromPath(dir);
  }();
  return root;
}

void BM_OfflineOpen(benchmark::State& state) {
  for (auto _ : state) {
    const wl::SystemSource source = wl::OpenOfflineSystem(Root());
    benchmark::DoNotOptimize(source.Users().size());
  }
}
BENCHMARK(BM_OfflineOpen)->Unit(benchmark::kMillisecond);

void BM_OfflineAllServices(benchmark::State& state) {
  std::size_t services = 0;
  for (auto _ : state) {
    const wl::SystemSource source = wl::OpenOfflineSystem(Root());
    const auto all = source.Open(wl::SourceRoot::LocalMachine, "SYSTEM\\CurrentControlSet\\Services");
    services = 0;
    for (const std::string& name : all->SubKeyNames()) {
      const auto key = all->Open(name);
      if (!key) continue;
      ++services;
      for (const char* value : {"Type", "Start", "ImagePath", "DisplayName", "Description", "ObjectName"})
        benchmark::DoNotOptimize(key->ReadText(value));
      if (const auto parameters = key->Open("Parameters")) benchmark::DoNotOptimize(parameters->ReadText("ServiceDll"));
      benchmark::DoNotOptimize(key->LastWriteTime());
    }
  }
  state.counters["services"] = static_cast<double>(services);
}
BENCHMARK(BM_OfflineAllServices)->Unit(benchmark::kMillisecond);

std::size_t ReadAll(const wl::SourceKey& key, std::size_t& values) {
  std::size_t keys = 1;
  for (const wl::SourceValue& v : key.Values()) values += 1 + v.data.size() / 4096;
  benchmark::DoNotOptimize(key.LastWriteTime());
  for (const std::string& name : key.SubKeyNames())
    if (const auto sub = key.Open(name)) keys += ReadAll(*sub, values);
  return keys;
}

void BM_OfflineWholeControlSet(benchmark::State& state) {
  std::size_t keys = 0, values = 0;
  for (auto _ : state) {
    const wl::SystemSource source = wl::OpenOfflineSystem(Root());
    values = 0;
    keys = ReadAll(*source.Open(wl::SourceRoot::LocalMachine, "SYSTEM\\CurrentControlSet"), values);
  }
  state.counters["keys"] = static_cast<double>(keys);
}
BENCHMARK(BM_OfflineWholeControlSet)->Unit(benchmark::kMillisecond);

// The baseline: the same control set walked by the hive reader directly.
void BM_HiveReaderWholeControlSet(benchmark::State& state) {
  std::size_t keys = 0;
  for (auto _ : state) {
    std::string error;
    const auto hive = wl::hive::OpenHiveFile(Root() + "/Windows/System32/config/SYSTEM", {}, error);
    const auto select = hive->Find("Select")->GetValue("Current")->Dword();
    char controlSet[32];
    std::snprintf(controlSet, sizeof controlSet, "ControlSet%03u", *select);
    keys = 0;
    wl::hive::Walk(
        *hive,
        [&](const wl::hive::Key& key, const std::string& path) {
          const bool inSet = path.empty() || path.starts_with(controlSet);
          if (inSet && !path.empty()) ++keys;
          benchmark::DoNotOptimize(key.LastWriteTime());
          return inSet;
        },
        [&](const wl::hive::Key&, const std::string&, const wl::hive::Value& value, const std::vector<uint8_t>& data) {
          benchmark::DoNotOptimize(value.Name());
          benchmark::DoNotOptimize(data.size());
        });
  }
  state.counters["keys"] = static_cast<double>(keys);
}
BENCHMARK(BM_HiveReaderWholeControlSet)->Unit(benchmark::kMillisecond);

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const auto& run : runs)
      if (!run.error_occurred) times[run.benchmark_name()] = run.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> times;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const auto& t = reporter.times;
  if (t.count("BM_OfflineWholeControlSet") && t.count("BM_HiveReaderWholeControlSet"))
    std::printf(
        "current control set, every key and value: through the source %.1f ms, hive reader %.1f ms (%.2f of "
        "its time)\n",
        t.at("BM_OfflineWholeControlSet"), t.at("BM_HiveReaderWholeControlSet"),
        t.at("BM_OfflineWholeControlSet") / t.at("BM_HiveReaderWholeControlSet"));
  if (t.count("BM_OfflineAllServices") && t.count("BM_OfflineOpen"))
    std::printf("all services of the offline SYSTEM: %.1f ms, of which opening the system %.1f ms\n",
                t.at("BM_OfflineAllServices"), t.at("BM_OfflineOpen"));
  std::error_code ec;
  fs::remove_all(fs::temp_directory_path() / "wl-bench-offline", ec);
  benchmark::Shutdown();
  return 0;
}
