// Reading every key and value of the real 11.7 MB SYSTEM hive
// (tests/data/hives, unpacked into the build tree) with the hive reader,
// beside Debian's hivexml (C, libhivex) on the same file in the same run.
// Ours opens the file (read whole), walks every key and value and takes each
// name, time and data; then the same with the text "wlscan hive" prints.
// hivexml opens it, walks it and writes every key and value as XML (to
// /dev/null), started as a program. The last line gives the ratio.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "core/hive.h"
#include "core/hive_listing.h"

namespace {

const std::string kSystem = std::string(WL_HIVE_DATA_DIR) + "/SYSTEM";

void BM_HiveReaderAllKeysAndValues(benchmark::State& state) {
  std::size_t keys = 0, values = 0, bytes = 0;
  for (auto _ : state) {
    std::string error;
    const auto hive = wl::hive::OpenHiveFile(kSystem, {}, error);
    if (!hive) {
      state.SkipWithError(error.c_str());
      return;
    }
    keys = values = bytes = 0;
    wl::hive::Walk(
        *hive,
        [&](const wl::hive::Key& key, const std::string& path) {
          ++keys;
          benchmark::DoNotOptimize(key.LastWriteTime());
          benchmark::DoNotOptimize(path.data());
          return true;
        },
        [&](const wl::hive::Key&, const std::string&, const wl::hive::Value& value, const std::vector<uint8_t>& data) {
          ++values;
          bytes += data.size() + value.Name().size();
          benchmark::DoNotOptimize(value.Type());
        });
  }
  state.counters["keys"] = static_cast<double>(keys);
  state.counters["values"] = static_cast<double>(values);
}
BENCHMARK(BM_HiveReaderAllKeysAndValues)->Unit(benchmark::kMillisecond);

void BM_HiveReaderListingText(benchmark::State& state) {
  std::size_t rows = 0;
  for (auto _ : state) {
    std::string error;
    const auto hive = wl::hive::OpenHiveFile(kSystem, {}, error);
    rows = wl::HiveListingText(*hive).rows.size();
  }
  state.counters["rows"] = static_cast<double>(rows);
}
BENCHMARK(BM_HiveReaderListingText)->Unit(benchmark::kMillisecond);

void BM_HivexmlSameFile(benchmark::State& state) {
  const std::string command = "hivexml '" + kSystem + "' > /dev/null";
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) {
      state.SkipWithError("hivexml failed (is libhivex-bin installed?)");
      return;
    }
  }
}
BENCHMARK(BM_HivexmlSameFile)->Unit(benchmark::kMillisecond);

// Prints as usual, and keeps each benchmark's time per run for the ratio.
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
  const auto ours = reporter.times.find("BM_HiveReaderAllKeysAndValues");
  const auto listing = reporter.times.find("BM_HiveReaderListingText");
  const auto hivexml = reporter.times.find("BM_HivexmlSameFile");
  if (ours != reporter.times.end() && hivexml != reporter.times.end() && hivexml->second > 0) {
    std::printf("SYSTEM hive, all keys and values: hive reader %.1f ms, hivexml %.1f ms (%.2f of its time)\n",
                ours->second, hivexml->second, ours->second / hivexml->second);
    if (listing != reporter.times.end())
      std::printf("with the listing's text: %.1f ms (%.2f of hivexml's time)\n", listing->second,
                  listing->second / hivexml->second);
  }
  benchmark::Shutdown();
  return 0;
}
