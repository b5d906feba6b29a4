// ExtractExecutablePath on the command texts a scan meets, against copying
// and upper-casing the same texts (the least any normalisation does); and on
// a megabyte registry value made of patterns, which must stay linear.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "sysroutines/text_routines.h"

namespace {

const std::vector<std::string>& Commands() {
  static const std::vector<std::string> commands = {
      "\"C:\\Program Files\\Vendor\\App\\app.exe\" /background",
      "%SystemRoot%\\system32\\svchost.exe -k netsvcs -p",
      "\\SystemRoot\\System32\\drivers\\beep.sys",
      "\\??\\C:\\Program Files\\Agent\\agent.sys",
      "rundll32.exe shell32.dll,Control_RunDLL",
      "C:\\Windows\\notepad.exe %1",
      "\"C:\\Users\\bob\\OneDrive - Contoso\\tool.exe\" --start",
      "C:\\Tools\\run.exe",
  };
  return commands;
}

void BM_ExtractExecutablePath(benchmark::State& state) {
  const auto& commands = Commands();
  std::size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(wl::ExtractExecutablePath(commands[i++ % commands.size()], "C:\\Windows"));
}
BENCHMARK(BM_ExtractExecutablePath);

void BM_CopyAndUpperBaseline(benchmark::State& state) {
  const auto& commands = Commands();
  std::size_t i = 0;
  for (auto _ : state) {
    std::string s = commands[i++ % commands.size()];
    for (char& c : s)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    benchmark::DoNotOptimize(s);
  }
}
BENCHMARK(BM_CopyAndUpperBaseline);

// A 1 MiB value of "%1" and "%SystemRoot%" patterns: time per byte must not
// grow with the size.
void BM_ExtractFromPatternValue(benchmark::State& state) {
  std::string value;
  while (value.size() < static_cast<std::size_t>(state.range(0))) value += "%1%SystemRoot%\\";
  for (auto _ : state) benchmark::DoNotOptimize(wl::ExtractExecutablePath(value, "C:\\Windows"));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(value.size()));
}
BENCHMARK(BM_ExtractFromPatternValue)->Arg(64 << 10)->Arg(1 << 20);

}  // namespace

BENCHMARK_MAIN();
