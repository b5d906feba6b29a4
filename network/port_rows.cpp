#include "network/port_rows.h"

#include <algorithm>
#include <map>
#include <tuple>

namespace wl {

bool IpAddress::IsZero() const {
  const std::size_t n = v6 ? 16 : 4;
  return std::all_of(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n), [](uint8_t b) { return b == 0; });
}

bool IpAddress::IsLoopback() const {
  if (!v6) return bytes[0] == 127 && bytes[1] == 0 && bytes[2] == 0 && bytes[3] == 1;
  for (int i = 0; i < 15; ++i)
    if (bytes[static_cast<std::size_t>(i)]) return false;
  return bytes[15] == 1;
}

std::string NumericText(const IpAddress& a) {
  if (!a.v6)
    return std::to_string(a.bytes[0]) + "." + std::to_string(a.bytes[1]) + "." + std::to_string(a.bytes[2]) + "." +
           std::to_string(a.bytes[3]);
  unsigned words[8];
  for (int i = 0; i < 8; ++i) words[i] = a.bytes[static_cast<std::size_t>(2 * i)] << 8 | a.bytes[static_cast<std::size_t>(2 * i + 1)];
  // The longest run of two or more zero words becomes "::".
  int bestAt = -1, bestLen = 0;
  for (int i = 0; i < 8;) {
    if (words[i]) {
      ++i;
      continue;
    }
    int j = i;
    while (j < 8 && !words[j]) ++j;
    if (j - i > bestLen && j - i >= 2) {
      bestAt = i;
      bestLen = j - i;
    }
    i = j;
  }
  static const char hex[] = "0123456789abcdef";
  std::string out;
  for (int i = 0; i < 8; ++i) {
    if (i == bestAt) {
      out += "::";
      i += bestLen - 1;
      continue;
    }
    if (!out.empty() && out.back() != ':') out += ':';
    char buf[5];
    int n = 0;
    unsigned w = words[i];
    do {
      buf[n++] = hex[w & 15];
      w >>= 4;
    } while (w);
    while (n) out += buf[--n];
  }
  return out;
}

std::string TcpStateName(uint32_t state) {
  // The values of the system's TCP table: 9 is closing, 11 time-wait,
  // 12 a control block being deleted.
  static const char* const names[] = {"UNKNOWN",  "FINISHED", "LISTENING",  "SYN_SENT", "SEN_RECEIVED",
                                      "ESTABLISHED", "FIN_WAIT", "FIN_WAIT2", "CLOSE_WAIT", "CLOSING",
                                      "LAST_ACK", "TIME_WAIT", "DELETE_TCB"};
  if (state < sizeof names / sizeof names[0]) return names[state];
  return std::to_string(state);
}

void SortEndpoints(std::vector<PortEndpoint>& endpoints) {
  auto key = [](const PortEndpoint& e) {
    return std::make_tuple(!e.tcp, e.local.v6, e.local.bytes, e.localPort, e.tcp ? e.remote.bytes : std::array<uint8_t, 16>{},
                           e.tcp ? e.remotePort : 0);
  };
  std::stable_sort(endpoints.begin(), endpoints.end(),
                   [&](const PortEndpoint& a, const PortEndpoint& b) { return key(a) < key(b); });
}

std::string AddressText(const IpAddress& address, const PortTextSources& sources, bool* final) {
  *final = true;
  if (address.IsZero()) return address.v6 ? "::" : "0.0.0.0";
  if (address.IsLoopback()) return "localhost";
  if (sources.hostName) {
    if (auto name = sources.hostName(address)) return name->empty() ? NumericText(address) : *name;
  }
  *final = false;
  return NumericText(address);
}

std::vector<PortRow> BuildPortRows(const std::vector<PortEndpoint>& endpoints, const ReferenceTables& tables,
                                   const PortTextSources& sources) {
  std::map<std::pair<uint16_t, bool>, std::string> portTexts;
  auto portText = [&](uint16_t port, bool tcp) -> const std::string& {
    auto [it, added] = portTexts.try_emplace({port, tcp});
    if (added) {
      std::string name = sources.serviceName ? sources.serviceName(port, tcp ? "tcp" : "udp") : std::string();
      it->second = name.empty() ? std::to_string(port) : std::move(name);
    }
    return it->second;
  };
  std::map<std::string, std::string> descriptions;
  std::map<uint32_t, std::string> processNames;

  std::vector<PortRow> rows;
  rows.reserve(endpoints.size());
  for (const auto& e : endpoints) {
    PortRow row;
    row.tcp = e.tcp;
    const char* proto = e.tcp ? "TCP" : "UDP";
    row.protocol = std::string(proto) + (e.local.v6 ? "v6" : "");
    row.port = portText(e.localPort, e.tcp);
    const std::string key = proto + row.port;
    auto d = descriptions.find(key);
    if (d == descriptions.end()) d = descriptions.emplace(key, DescribePort(proto, row.port, tables)).first;
    row.description = d->second;
    if (e.tcp) {
      row.remote = e.remote;
      if (e.remote.IsZero()) {
        row.remoteAddress = e.remote.v6 ? "[::]: 0" : "0.0.0.0: 0";
        row.remoteNamed = true;
      } else {
        row.remoteAddress = AddressText(e.remote, sources, &row.remoteNamed);
      }
      row.remotePort = e.state == 2 ? std::string() : portText(e.remotePort, true);
      row.state = TcpStateName(e.state);
    } else {
      row.remoteAddress = "*.*.*.*: *";
      row.remotePort = "*";
      row.remoteNamed = true;
    }
    row.pid = std::to_string(e.pid);
    auto p = processNames.find(e.pid);
    if (p == processNames.end())
      p = processNames.emplace(e.pid, sources.processName ? sources.processName(e.pid) : std::string()).first;
    row.processName = p->second;
    rows.push_back(std::move(row));
  }
  return rows;
}

bool ApplyHostNames(std::vector<PortRow>& rows, const PortTextSources& sources) {
  bool changed = false;
  for (auto& row : rows) {
    if (row.remoteNamed || !row.tcp) continue;
    bool final = false;
    std::string text = AddressText(row.remote, sources, &final);
    if (final) {
      row.remoteAddress = std::move(text);
      row.remoteNamed = true;
      changed = true;
    }
  }
  return changed;
}

const std::vector<std::string>& PortColumns() {
  static const std::vector<std::string> columns = {"Description", "Protocol", "Port", "Remote Address",
                                                   "Remote Port", "State",    "PID",  "Process"};
  return columns;
}

std::vector<std::string> PortCells(const PortRow& r) {
  return {r.description, r.protocol, r.port, r.remoteAddress, r.remotePort, r.state, r.pid, r.processName};
}

}  // namespace wl
