// Verdict look-up through the key index against the line-by-line scan, on a
// 50,000-line table. Run both in one go and compare.
#include <benchmark/benchmark.h>

#include <string>

#include "refdb/reference_tables.h"

namespace {

const wl::StringTable& Table() {
  static const wl::StringTable table = [] {
    std::string text;
    for (int i = 0; i < 50000; ++i) text += "process" + std::to_string(i) + ".exe=%Program number " + std::to_string(i) + "\r\n";
    return wl::StringTable::FromText(text);
  }();
  return table;
}

void BM_LookupIndexed(benchmark::State& state) {
  const auto& t = Table();
  int i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(wl::LookupVerdict("process" + std::to_string(i * 7919 % 50000) + ".exe", t));
    ++i;
  }
}
BENCHMARK(BM_LookupIndexed);

void BM_LookupLinear(benchmark::State& state) {
  const auto& t = Table();
  int i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(wl::LookupVerdictLinear("process" + std::to_string(i * 7919 % 50000) + ".exe", t));
    ++i;
  }
}
BENCHMARK(BM_LookupLinear);

void BM_LoadTable(benchmark::State& state) {
  std::string text;
  for (int i = 0; i < 50000; ++i) text += "process" + std::to_string(i) + ".exe=%Program number " + std::to_string(i) + "\r\n";
  for (auto _ : state) benchmark::DoNotOptimize(wl::StringTable::FromText(text));
}
BENCHMARK(BM_LoadTable);

}  // namespace

BENCHMARK_MAIN();
