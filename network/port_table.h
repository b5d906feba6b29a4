// The system's TCP and UDP endpoint tables (IPv4 and IPv6, with the owning
// process), service names, reverse host look-ups and process names.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "network/port_rows.h"
#include "core/page_text.h"

namespace wl {

struct EndpointTables {
  std::vector<PortEndpoint> endpoints{};  // in page order
  bool ok = false;                      // at least the IPv4 TCP table was read
  std::string error{};                  // the first table that failed, and why
};
EndpointTables ReadEndpointTables();

// The raw IPv4 TCP table call, for comparison in the timing program: the
// number of rows, or -1.
long BareTcpTableRows();

// getservbyport's name of a port for "tcp"/"udp", empty when none.
std::string ServiceName(uint16_t port, const char* protocol);
// The host name of an address (a blocking reverse look-up), empty when none.
std::string LookupHostName(const IpAddress& address);
// Names of the running processes by id.
std::unordered_map<uint32_t, std::string> ProcessNames();

// The sources for BuildPortRows: service names, process names of the moment;
// host names only from hostName (none: numeric addresses).
PortTextSources SystemPortTextSources(std::function<std::optional<std::string>(const IpAddress&)> hostName = {});

// The active ports as the console scanner prints them (numeric addresses).
PageText PortsPageText(const ReferenceTables& tables);

}  // namespace wl
