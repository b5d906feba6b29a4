#include "network/port_rows.h"

#include <gtest/gtest.h>

#include "network/reverse_resolver.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

namespace wl {
namespace {

TEST(PortRows, StateNamesFollowTheTableValues) {
  EXPECT_EQ(TcpStateName(2), "LISTENING");
  EXPECT_EQ(TcpStateName(4), "SEN_RECEIVED");
  EXPECT_EQ(TcpStateName(9), "CLOSING");
  EXPECT_EQ(TcpStateName(11), "TIME_WAIT");
  EXPECT_EQ(TcpStateName(12), "DELETE_TCB");
  EXPECT_EQ(TcpStateName(13), "13");
}

TEST(PortRows, NumericTexts) {
  EXPECT_EQ(NumericText(IpAddress::V4(192, 168, 0, 1)), "192.168.0.1");
  IpAddress v6;
  v6.v6 = true;
  v6.bytes = {0xfe, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
  EXPECT_EQ(NumericText(v6), "fe80::1");
  v6.bytes = {0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 2};
  EXPECT_EQ(NumericText(v6), "2001:db8:0:1::2");
  v6.bytes = {};
  EXPECT_EQ(NumericText(v6), "::");
}

TEST(PortRows, RowTextsOrderAndDescriptions) {
  ReferenceTables tables;
  tables.ports = StringTable::FromText("TCPhttp=%Web\nUDP5353=@Multicast DNS\n");
  std::vector<PortEndpoint> eps;
  eps.push_back({.tcp = false, .local = IpAddress::V4(0, 0, 0, 0), .localPort = 5353, .pid = 7});
  eps.push_back({.tcp = true, .local = IpAddress::V4(10, 0, 0, 5), .remote = IpAddress::V4(93, 184, 216, 34),
                 .localPort = 50000, .remotePort = 80, .state = 5, .pid = 7});
  eps.push_back({.tcp = true, .local = IpAddress::V4(0, 0, 0, 0), .localPort = 80, .state = 2, .pid = 4});
  eps.push_back({.tcp = true, .local = IpAddress::V4(127, 0, 0, 1), .remote = IpAddress::V4(127, 0, 0, 1),
                 .localPort = 80, .remotePort = 50001, .state = 11});
  SortEndpoints(eps);
  int serviceCalls = 0;
  PortTextSources sources;
  sources.serviceName = [&](uint16_t port, const char* proto) -> std::string {
    ++serviceCalls;
    return port == 80 && std::string(proto) == "tcp" ? "http" : "";
  };
  sources.hostName = [](const IpAddress&) -> std::optional<std::string> { return std::nullopt; };
  sources.processName = [](uint32_t pid) { return pid == 7 ? std::string("seven.exe") : std::string(); };
  auto rows = BuildPortRows(eps, tables, sources);
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(PortCells(rows[0]), (std::vector<std::string>{"(General Software) Web", "TCP", "http", "0.0.0.0: 0", "",
                                                          "LISTENING", "4", ""}));
  EXPECT_EQ(PortCells(rows[1]), (std::vector<std::string>{"(Unknown)", "TCP", "50000", "93.184.216.34", "http",
                                                          "ESTABLISHED", "7", "seven.exe"}));
  EXPECT_EQ(rows[2].remoteAddress, "localhost");
  EXPECT_EQ(rows[2].state, "TIME_WAIT");
  EXPECT_EQ(PortCells(rows[3]), (std::vector<std::string>{"(System Process) Multicast DNS", "UDP", "5353",
                                                          "*.*.*.*: *", "*", "", "7", "seven.exe"}));
  EXPECT_EQ(serviceCalls, 4);  // 80/tcp once, 50000, 50001, 5353/udp

  // A name that arrives later replaces the dotted address.
  sources.hostName = [](const IpAddress& a) -> std::optional<std::string> {
    if (a == IpAddress::V4(93, 184, 216, 34)) return std::string("example.org");
    return std::nullopt;
  };
  EXPECT_TRUE(ApplyHostNames(rows, sources));
  EXPECT_EQ(rows[1].remoteAddress, "example.org");
  EXPECT_FALSE(ApplyHostNames(rows, sources));
}

TEST(ReverseResolver, AnswersInTheBackgroundCachesAndStaysBounded) {
  std::atomic<int> lookups{0}, notes{0};
  std::mutex gate;
  gate.lock();  // holds the look-ups until the test lets them go
  {
    ReverseResolver resolver(
        [&](const IpAddress& a) {
          std::lock_guard g(gate);
          ++lookups;
          return a.bytes[3] == 1 ? std::string("one.example") : std::string();
        },
        [&] { ++notes; }, 2, 3);
    EXPECT_EQ(resolver.Name(IpAddress::V4(10, 0, 0, 1)), std::nullopt);
    EXPECT_EQ(resolver.Name(IpAddress::V4(10, 0, 0, 2)), std::nullopt);
    EXPECT_EQ(resolver.Name(IpAddress::V4(10, 0, 0, 3)), std::nullopt);
    EXPECT_EQ(resolver.Name(IpAddress::V4(10, 0, 0, 4)), std::nullopt);  // over the bound: not queued
    EXPECT_EQ(resolver.Pending(), 3u);
    gate.unlock();
    for (int i = 0; i < 500 && resolver.Pending(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(resolver.Name(IpAddress::V4(10, 0, 0, 1)), std::optional<std::string>("one.example"));
    EXPECT_EQ(resolver.Name(IpAddress::V4(10, 0, 0, 2)), std::optional<std::string>(""));
    EXPECT_EQ(lookups.load(), 3);
    EXPECT_EQ(notes.load(), 3);
    // Asked again: from the cache, no new look-up.
    EXPECT_EQ(resolver.Name(IpAddress::V4(10, 0, 0, 2)), std::optional<std::string>(""));
    EXPECT_EQ(lookups.load(), 3);
  }
}

}  // namespace
}  // namespace wl
