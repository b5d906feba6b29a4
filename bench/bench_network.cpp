// The sniffer's packet path natively: decoding, the 200-row ring with its
// row texts and payload slots; reading a 100,000-packet capture file; a
// 100,000-line hosts file read and judged, against a plain split into lines
// (the baseline: the least any reader does); one hosts line of 4,096 to a
// million names (4 MB), read and turned into rows, with the peak of memory
// held and the growth Google Benchmark fits to it.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <vector>

#include "network/network_settings_rules.h"
#include "network/packet_test_support.h"
#include "network/pcap_file.h"
#include "network/sniffer_rows.h"

// Every allocation of the program is counted: the bytes held now and the
// most held at once since the last reset (what a reader costs at its peak).
namespace {
std::atomic<std::size_t> g_held{0}, g_peak{0};
}  // namespace

void* operator new(std::size_t size) {
  void* p = std::malloc(size + 16);
  if (!p) throw std::bad_alloc();
  *static_cast<std::size_t*>(p) = size;
  const std::size_t now = g_held += size;
  for (std::size_t peak = g_peak; now > peak && !g_peak.compare_exchange_weak(peak, now);) {
  }
  return static_cast<char*>(p) + 16;
}
void operator delete(void* p) noexcept {
  if (!p) return;
  char* base = static_cast<char*>(p) - 16;
  g_held -= *reinterpret_cast<std::size_t*>(base);
  std::free(base);
}
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }

namespace {

using wl::test::MakePacket;

// Starts a peak measurement; PeakSince gives the most bytes held above the
// start since then.
std::size_t PeakStart() {
  g_peak = g_held.load();
  return g_held.load();
}
double PeakSince(std::size_t start) { return static_cast<double>(g_peak.load() - start); }

// A mix of the traffic a sniffer sees: web, DNS, pings, small and full TCP segments.
std::vector<std::vector<uint8_t>> Traffic() {
  std::vector<std::vector<uint8_t>> packets;
  packets.push_back(MakePacket({.protocol = 6, .tcpOptions = 12, .payload = std::string(1400, 'x')}));
  packets.push_back(MakePacket({.protocol = 6, .tcpOptions = 12}));
  packets.push_back(MakePacket({.protocol = 17, .sourcePort = 53, .destPort = 50000, .payload = std::string(90, 'd')}));
  packets.push_back(MakePacket({.protocol = 6, .payload = "GET /index.html HTTP/1.1\r\nHost: example.org\r\n\r\n"}));
  packets.push_back(MakePacket({.protocol = 1, .payload = std::string(56, 'p')}));
  packets.push_back(MakePacket({.protocol = 6, .tcpOptions = 12, .payload = std::string(536, 'y')}));
  return packets;
}

long ResidentKb() {
  long pages = 0, resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return resident * 4;
}

void BM_DecodeAndList(benchmark::State& state) {
  const auto traffic = Traffic();
  wl::SnifferRows rows;
  std::size_t i = 0;
  // Warm the ring once round, then memory must stay where it is.
  for (int k = 0; k < 400; ++k, ++i) rows.AddPacket(traffic[i % traffic.size()].data(), traffic[i % traffic.size()].size());
  const long before = ResidentKb();
  for (auto _ : state) {
    const auto& p = traffic[i++ % traffic.size()];
    rows.AddPacket(p.data(), p.size(), 1700000000, 0);
    benchmark::DoNotOptimize(rows.RowCount());
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["rss_growth_kb"] = static_cast<double>(ResidentKb() - before);
}
BENCHMARK(BM_DecodeAndList);

void BM_DecodeOnly(benchmark::State& state) {
  const auto traffic = Traffic();
  wl::DecodedPacket d;
  std::size_t i = 0;
  for (auto _ : state) {
    const auto& p = traffic[i++ % traffic.size()];
    wl::DecodePacketInto(p.data(), p.size(), d);
    benchmark::DoNotOptimize(d.dataSize);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DecodeOnly);

void BM_ReadCapture100k(benchmark::State& state) {
  const auto traffic = Traffic();
  wl::PcapWriter writer;
  for (int i = 0; i < 100000; ++i)
    writer.Add(traffic[i % traffic.size()].data(), traffic[i % traffic.size()].size(), 1700000000 + i, 0);
  const auto& file = writer.Bytes();
  for (auto _ : state) {
    wl::SnifferRows rows;
    const auto r = wl::ReadCapture(file.data(), file.size(), [&](const wl::CapturePacket& p) {
      rows.AddPacket(p.data, p.size, p.seconds, p.nanoseconds);
    });
    if (r.packets != 100000) state.SkipWithError("packets missing");
  }
  state.SetItemsProcessed(state.iterations() * 100000);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(file.size()));
}
BENCHMARK(BM_ReadCapture100k)->Unit(benchmark::kMillisecond);

// An ad-blocking hosts file: 100,000 lines, mixed line ends, some comments,
// a few redirects of well-known names.
std::string HostsFile100k() {
  std::string text = "# hosts\r\n127.0.0.1 localhost\r\n::1 localhost\r\n";
  for (int i = 0; i < 100000; ++i) {
    if (i % 1000 == 0) text += "# section " + std::to_string(i) + "\n";
    else if (i % 5000 == 1) text += "203.0.113." + std::to_string(i % 250) + " www" + std::to_string(i) + ".google.com\r\n";
    else text += "0.0.0.0\tads" + std::to_string(i) + ".tracker.example" + (i % 2 ? "\r\n" : "\n");
  }
  return text;
}

void BM_HostsFile100k(benchmark::State& state) {
  const std::string text = HostsFile100k();
  const wl::StringTable network = wl::StringTable::FromText("host:google.com=Search engine\n");
  double peak = 0;
  for (auto _ : state) {
    const std::size_t start = PeakStart();
    const wl::HostsFile hosts = wl::ParseHostsFile(text);
    std::vector<wl::NetworkSettingRow> rows;
    wl::AddHostsRows(hosts, "C:\\Windows\\System32\\drivers\\etc\\hosts", network, rows);
    peak = PeakSince(start);
    benchmark::DoNotOptimize(rows.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
  state.counters["file_bytes"] = static_cast<double>(text.size());
  state.counters["peak_bytes"] = peak;
}
BENCHMARK(BM_HostsFile100k)->Unit(benchmark::kMillisecond);

// One line of a hosts file with state.range(0) names: "0.0.0.0 n0.example
// n1.example …" (a million names are about 4 MB, the most the scan reads).
// Time and the peak of memory held must grow with the line, not with its
// square: the counters give bytes per name.
std::string OneLine(int64_t names) {
  std::string text = "0.0.0.0";
  text.reserve(static_cast<std::size_t>(names) * 4 + 16);
  for (int64_t i = 0; i < names; ++i) {
    text += ' ';
    text += std::to_string(i % 1000);  // short names: ~4 bytes each
  }
  return text + "\n";
}

void BM_HostsOneLineRead(benchmark::State& state) {
  const std::string text = OneLine(state.range(0));
  double peak = 0;
  for (auto _ : state) {
    const std::size_t start = PeakStart();
    const wl::HostsFile hosts = wl::ParseHostsFile(text);
    peak = PeakSince(start);
    if (hosts.mappings.size() != static_cast<std::size_t>(state.range(0))) state.SkipWithError("names missing");
  }
  state.counters["file_bytes"] = static_cast<double>(text.size());
  state.counters["peak_bytes"] = peak;
  state.counters["peak_bytes_per_name"] = peak / static_cast<double>(state.range(0));
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_HostsOneLineRead)->RangeMultiplier(4)->Range(1 << 12, 1 << 20)->Complexity(benchmark::oN)->Unit(benchmark::kMillisecond);

void BM_HostsOneLineRows(benchmark::State& state) {
  const std::string text = OneLine(state.range(0));
  const wl::StringTable network = wl::StringTable::FromText("host:google.com=Search engine\n");
  double peak = 0;
  for (auto _ : state) {
    const std::size_t start = PeakStart();
    const wl::HostsFile hosts = wl::ParseHostsFile(text);
    std::vector<wl::NetworkSettingRow> rows;
    wl::AddHostsRows(hosts, "C:\\Windows\\System32\\drivers\\etc\\hosts", network, rows);
    peak = PeakSince(start);
    benchmark::DoNotOptimize(rows.data());
  }
  state.counters["peak_bytes"] = peak;
  state.counters["peak_bytes_per_name"] = peak / static_cast<double>(state.range(0));
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_HostsOneLineRows)->RangeMultiplier(4)->Range(1 << 12, 1 << 20)->Complexity(benchmark::oN)->Unit(benchmark::kMillisecond);

void BM_HostsFile100kLinesOnly(benchmark::State& state) {
  const std::string text = HostsFile100k();
  for (auto _ : state) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i)
      if (text[i] == '\n') {
        lines.emplace_back(text.data() + start, i - start);
        start = i + 1;
      }
    benchmark::DoNotOptimize(lines.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_HostsFile100kLinesOnly)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
