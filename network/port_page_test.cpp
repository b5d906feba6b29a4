// The "Active Ports" page in a window.
#include "network/port_page.h"

#include <gtest/gtest.h>

#include <atomic>

#include "network/socket_fixture.h"
#include "ui/page_test_host.h"

namespace wl {
namespace {

using ui::test::PageHost;
using ui::test::PumpUntil;

std::optional<std::size_t> RowWith(const PortPage& page, const std::string& protocol, const std::string& port,
                                   const std::string& remotePort = "") {
  const auto& rows = page.List().Rows();
  for (std::size_t i = 0; i < rows.size(); ++i)
    if (rows[i].protocol == protocol && rows[i].port == port && (remotePort.empty() || rows[i].remotePort == remotePort))
      return i;
  return std::nullopt;
}

TEST(PortPage, ShowsTheTestsOwnSockets) {
  test::SocketFixture sockets;
  PageHost<PortPage> host;
  host.tables.ports = StringTable::FromText("UDP" + std::to_string(sockets.udpPort) + "=@Test endpoint\n");
  EXPECT_TRUE(host.page->IsEmpty());
  host.page->RefreshClick();
  auto& list = host.page->List();
  const auto listener = RowWith(*host.page, "TCP", std::to_string(sockets.listenPort));
  const auto client = RowWith(*host.page, "TCP", std::to_string(sockets.clientPort));
  const auto udp = RowWith(*host.page, "UDP", std::to_string(sockets.udpPort));
  ASSERT_TRUE(listener && client && udp);
  EXPECT_EQ(list.CellText(*listener, 3), "0.0.0.0: 0");
  EXPECT_EQ(list.CellText(*listener, 4), "");
  EXPECT_EQ(list.CellText(*listener, 5), "LISTENING");
  EXPECT_EQ(list.CellText(*client, 3), "localhost");
  EXPECT_EQ(list.CellText(*client, 5), "ESTABLISHED");
  EXPECT_EQ(list.CellText(*udp, 0), "(System Process) Test endpoint");
  EXPECT_EQ(list.CellText(*udp, 3), "*.*.*.*: *");
  EXPECT_EQ(list.CellText(*udp, 4), "*");
  EXPECT_EQ(list.View().ColumnCount(), 8);
  // A header click sorts by the description from then on.
  host.page->PortListColumnClick();
  EXPECT_TRUE(list.SortsByCaption());
}

// Wine's table says process 0 for every socket: the id and name columns are
// tested with a table whose ids are real.
TEST(PortPage, ProcessColumnsNameTheOwner) {
  PageHost<PortPage> host;
  const uint32_t own = GetCurrentProcessId();
  host.page->readEndpoints = [own] {
    EndpointTables t;
    t.ok = true;
    t.endpoints.push_back({.tcp = true, .local = IpAddress::V4(0, 0, 0, 0), .localPort = 80, .state = 2, .pid = own});
    t.endpoints.push_back({.tcp = false, .local = IpAddress::V4(0, 0, 0, 0), .localPort = 5353, .pid = 999999});
    return t;
  };
  host.page->RefreshClick();
  auto& list = host.page->List();
  ASSERT_EQ(list.Count(), 2u);
  EXPECT_EQ(list.CellText(0, 2), "http");
  EXPECT_EQ(list.CellText(0, 6), std::to_string(own));
  EXPECT_EQ(list.CellText(0, 7), "network_page_test.exe");
  EXPECT_EQ(list.CellText(1, 7), "");

  // A failed read keeps the rows and says why.
  host.page->readEndpoints = [] { return EndpointTables{.ok = false, .error = "The TCP table: broken."}; };
  host.page->RefreshClick();
  EXPECT_EQ(list.Count(), 2u);
  EXPECT_NE(host.ui.status.find("The TCP table: broken."), std::string::npos);
}

TEST(PortPage, NamesArriveFromTheBackgroundAndARefreshMeanwhileIsSafe) {
  PageHost<PortPage> host;
  HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::atomic<int> lookups{0};
  host.page->lookupHost = [&](const IpAddress& a) {
    ++lookups;
    WaitForSingleObject(release, 10000);
    return a == IpAddress::V4(10, 1, 2, 3) ? std::string("far.example") : std::string();
  };
  host.page->readEndpoints = [] {
    EndpointTables t;
    t.ok = true;
    t.endpoints.push_back({.tcp = true, .local = IpAddress::V4(10, 0, 0, 1), .remote = IpAddress::V4(10, 1, 2, 3),
                           .localPort = 50000, .remotePort = 443, .state = 5});
    t.endpoints.push_back({.tcp = true, .local = IpAddress::V4(10, 0, 0, 1), .remote = IpAddress::V4(10, 4, 5, 6),
                           .localPort = 50001, .remotePort = 443, .state = 5});
    return t;
  };
  host.page->RefreshClick();
  auto& list = host.page->List();
  // At once, with dotted addresses: the window never waits for the resolver.
  EXPECT_EQ(list.CellText(0, 3), "10.1.2.3");
  EXPECT_EQ(list.CellText(1, 3), "10.4.5.6");
  host.page->RefreshClick();  // again while the look-ups run
  SetEvent(release);
  EXPECT_TRUE(PumpUntil([&] { return list.CellText(0, 3) == "far.example"; }));
  EXPECT_EQ(list.CellText(1, 3), "10.4.5.6");  // no name: stays dotted
  EXPECT_EQ(lookups.load(), 2);                // each address once
  host.page->RefreshClick();                   // from the cache at once
  EXPECT_EQ(list.CellText(0, 3), "far.example");
  EXPECT_EQ(lookups.load(), 2);
  host.page.reset();
  CloseHandle(release);
}

}  // namespace
}  // namespace wl
