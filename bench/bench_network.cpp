// The sniffer's packet path natively: decoding, the 200-row ring with its
// row texts and payload slots; reading a 100,000-packet capture file; a
// 100,000-line hosts file read and judged, against a plain split into lines
// (the baseline: the least any reader does).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <vector>

#include "network/network_settings_rules.h"
#include "network/packet_test_support.h"
#include "network/pcap_file.h"
#include "network/sniffer_rows.h"

namespace {

using wl::test::MakePacket;

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
  for (auto _ : state) {
    const wl::HostsFile hosts = wl::ParseHostsFile(text);
    std::vector<wl::NetworkSettingRow> rows;
    wl::AddHostsRows(hosts, "C:\\Windows\\System32\\drivers\\etc\\hosts", network, rows);
    benchmark::DoNotOptimize(rows.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_HostsFile100k)->Unit(benchmark::kMillisecond);

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
