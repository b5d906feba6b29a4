// The endpoint tables of the running system, with sockets the test opens.
#include "network/port_table.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "network/socket_fixture.h"

namespace wl {
namespace {

const PortEndpoint* Find(const std::vector<PortEndpoint>& eps, bool tcp, uint16_t localPort, uint16_t remotePort = 0) {
  for (const auto& e : eps)
    if (e.tcp == tcp && !e.local.v6 && e.localPort == localPort && (!tcp || e.remotePort == remotePort)) return &e;
  return nullptr;
}

TEST(PortTable, ListsTheTestsOwnSocketsWithStates) {
  test::SocketFixture sockets;
  const EndpointTables read = ReadEndpointTables();
  ASSERT_TRUE(read.ok) << read.error;
  const auto* listener = Find(read.endpoints, true, sockets.listenPort);
  const auto* client = Find(read.endpoints, true, sockets.clientPort, sockets.listenPort);
  const auto* server = Find(read.endpoints, true, sockets.listenPort, sockets.clientPort);
  const auto* udp = Find(read.endpoints, false, sockets.udpPort);
  ASSERT_TRUE(listener && client && server && udp);
  EXPECT_EQ(listener->state, 2u);
  EXPECT_EQ(client->state, 5u);
  EXPECT_EQ(client->remote, IpAddress::V4(127, 0, 0, 1));
  // Wine reports process id 0 for every socket; Windows the owner.
  EXPECT_TRUE(client->pid == 0 || client->pid == GetCurrentProcessId()) << client->pid;
  // Page order: TCP before UDP, TCP by local address and port.
  const auto firstUdp = std::find_if(read.endpoints.begin(), read.endpoints.end(), [](auto& e) { return !e.tcp; });
  EXPECT_TRUE(std::all_of(firstUdp, read.endpoints.end(), [](auto& e) { return !e.tcp; }));
  // Listener and client share the local address 127.0.0.1: the lower local
  // port comes first (the client's port is whatever the system gave it).
  EXPECT_EQ(listener < client, sockets.listenPort < sockets.clientPort);

  ReferenceTables tables;
  const auto rows = BuildPortRows(read.endpoints, tables, SystemPortTextSources());
  auto rowOf = [&](const PortEndpoint* e) { return rows[static_cast<std::size_t>(e - read.endpoints.data())]; };
  const PortRow l = rowOf(listener);
  EXPECT_EQ(l.remoteAddress, "0.0.0.0: 0");
  EXPECT_EQ(l.remotePort, "");
  EXPECT_EQ(l.state, "LISTENING");
  EXPECT_EQ(l.protocol, "TCP");
  const PortRow c = rowOf(client);
  EXPECT_EQ(c.remoteAddress, "localhost");
  EXPECT_EQ(c.state, "ESTABLISHED");
  const PortRow u = rowOf(udp);
  EXPECT_EQ(u.remoteAddress, "*.*.*.*: *");
  EXPECT_EQ(u.remotePort, "*");
  EXPECT_EQ(u.state, "");
  EXPECT_EQ(u.description, "(Unknown)");
  EXPECT_GT(BareTcpTableRows(), 2);
}

TEST(PortTable, ServiceAndHostNamesProcessNames) {
  EXPECT_EQ(ServiceName(80, "tcp"), "http");
  EXPECT_EQ(ServiceName(1, "udp").empty() || ServiceName(1, "udp") == "tcpmux", true);
  EXPECT_EQ(LookupHostName(IpAddress::V4(127, 0, 0, 1)).empty(), false);
  const auto names = ProcessNames();
  auto own = names.find(GetCurrentProcessId());
  ASSERT_NE(own, names.end());
  EXPECT_EQ(own->second, "network_test.exe");
}

}  // namespace
}  // namespace wl
