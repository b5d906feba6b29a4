// A hosts file is outside bytes: read arbitrary ones, judge what was read,
// and comment out each mapping's line.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "network/network_settings_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  static const wl::StringTable network =
      wl::StringTable::FromText("host:google.com=Search engine\ndns:8.8.8.8=Google Public DNS\n");
  for (bool truncated : {false, true}) {
    const wl::HostsFile hosts = wl::ParseHostsFile(bytes, truncated);
    std::vector<wl::NetworkSettingRow> rows;
    wl::AddHostsRows(hosts, "C:\\hosts", network, rows);
    (void)wl::NetworkSettingsHijackRows(rows);
    if (hosts.mappings.size() > size) std::abort();
    std::size_t checked = 0;
    for (const wl::HostsMapping& m : hosts.mappings) {
      if (m.line < 1 || m.line > hosts.lines || m.name.empty() || m.address.empty()) std::abort();
      if (++checked > 8) break;
      // Commenting a line out keeps every other byte, and its mappings are gone.
      const auto fixed = wl::CommentOutHostsLine(bytes, m.line, m.lineText);
      if (!fixed || fixed->size() != size + 2) std::abort();
      for (const wl::HostsMapping& after : wl::ParseHostsFile(*fixed, truncated).mappings)
        if (after.line == m.line) std::abort();
    }
  }
  (void)wl::ClassifyAddress(bytes);
  (void)wl::ProxyIsLocal(bytes);
  for (const std::string& s : wl::SplitNameServers(bytes)) (void)wl::PublicResolverOf(s, network);
  (void)wl::PublicRootOf(bytes, network);
  std::vector<wl::NetworkSettingRow> more;
  wl::ProxyValues proxy;
  proxy.proxyEnable = 1;
  proxy.proxyServer = std::string(bytes);
  proxy.autoConfigUrl = std::string(bytes);
  wl::AddProxyRows(proxy, more);
  wl::AddDnsRows("x", "HKEY_LOCAL_MACHINE\\T", "NameServer", bytes, false, network, more);
  wl::AddRootCertificateRow({"CurrentUser\\ROOT", std::string(bytes), "S", std::string(bytes), false}, network, more);
  (void)wl::NetworkSettingsHijackRows(more);
  return 0;
}
