// The active-port page's rows, built from the system's endpoint tables: the
// order of the rows, the state names, the address and port texts.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "refdb/reference_tables.h"

namespace wl {

struct IpAddress {
  bool v6 = false;
  std::array<uint8_t, 16> bytes{};  // IPv4 in the first four, network order

  static IpAddress V4(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
    IpAddress ip;
    ip.bytes = {a, b, c, d};
    return ip;
  }
  bool IsZero() const;
  bool IsLoopback() const;  // 127.0.0.1 or ::1
  auto operator<=>(const IpAddress&) const = default;
};

// "1.2.3.4"; IPv6 in its shortest form ("fe80::1").
std::string NumericText(const IpAddress& address);

// One endpoint of the system's TCP or UDP table.
struct PortEndpoint {
  bool tcp = true;
  IpAddress local{}, remote{};  // remote unused for UDP
  uint16_t localPort = 0;   // host order
  uint16_t remotePort = 0;
  uint32_t state = 0;       // TCP state value of the table
  uint32_t pid = 0;         // owning process
};

// TCP state names by the table's state value; other values show as numbers.
std::string TcpStateName(uint32_t state);

// Rows in page order: TCP (by local address, local port, remote address,
// remote port; IPv4 before IPv6), then UDP (by local address and port).
void SortEndpoints(std::vector<PortEndpoint>& endpoints);

struct PortRow {
  std::string description;
  std::string protocol;
  std::string port;
  std::string remoteAddress;
  std::string remotePort;
  std::string state;
  std::string pid;
  std::string processName;
  bool tcp = true;
  IpAddress remote;          // for the resolver's later answer
  bool remoteNamed = false;  // remoteAddress holds a resolved name (or is final)
};

// What building the rows asks of the system.
struct PortTextSources {
  // Service name of a port ("tcp"/"udp"), empty when there is none.
  std::function<std::string(uint16_t port, const char* protocol)> serviceName;
  // Host name of an address if already known; nullopt: not (yet) known.
  std::function<std::optional<std::string>(const IpAddress&)> hostName;
  // Name of a process id, empty when unknown.
  std::function<std::string(uint32_t pid)> processName;
};

// The "Remote Address" text of a TCP row whose remote address is not zero.
std::string AddressText(const IpAddress& address, const PortTextSources& sources, bool* final);

// Builds the rows of the sorted endpoints. Service names are asked once per
// port and protocol.
std::vector<PortRow> BuildPortRows(const std::vector<PortEndpoint>& endpoints, const ReferenceTables& tables,
                                   const PortTextSources& sources);

// Puts names that became known into the rows; true when any row changed.
bool ApplyHostNames(std::vector<PortRow>& rows, const PortTextSources& sources);

// The page's column titles.
const std::vector<std::string>& PortColumns();
std::vector<std::string> PortCells(const PortRow& row);

}  // namespace wl
