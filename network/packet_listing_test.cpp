// The console scanner's network listings.
#include <gtest/gtest.h>

#include "network/socket_fixture.h"
#include "tests/support/test_support.h"

namespace wl {
namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    at = end + 1;
  }
  return lines;
}

TEST(WlscanNetwork, PacketsOfACaptureFile) {
  const auto result = test::RunProgram("wlscan", {"packets", test::SourceDir() + "\\network\\testdata\\sample.pcap"});
  EXPECT_EQ(result.status, 0) << result.err;
  const auto lines = Lines(result.out);
  ASSERT_EQ(lines.size(), 10u) << result.out;
  EXPECT_EQ(lines[0], "Protocol\tLocal Address\tLocal Port\tRemote Address\tRemote Port\tData Size(Byte)\tData");
  EXPECT_EQ(lines[1], "TCP\t192.168.1.20\t50312\t93.184.216.34\t80\t0\t");
  EXPECT_EQ(lines[3].rfind("TCP\t192.168.1.20\t50312\t93.184.216.34\t80\t84\tGET /index.html HTTP/1.1", 0), 0u) << lines[3];
  EXPECT_EQ(lines[7], "ICMP\t192.168.1.20\t8\t8.8.8.8\t0\t32\tabcdefghijklmnopqrstuvwabcdefghi");
  // The payload text in the views' code page, up to its zero byte.
  EXPECT_EQ(lines[9], "UDP\t192.168.1.20\t50000\t10.0.0.7\t8080\t22\t\xE5\xB9\xBF\xE5\x91\x8A update check");

  const auto missing = test::RunProgram("wlscan", {"packets", test::SourceDir() + "\\network\\testdata\\none.pcap"});
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.err.find("none.pcap"), std::string::npos);
}

TEST(WlscanNetwork, PortsListTheTestsOwnSockets) {
  test::SocketFixture sockets;
  const auto result = test::RunProgram("wlscan", {"ports"});
  EXPECT_EQ(result.status, 0) << result.err;
  const auto lines = Lines(result.out);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], "Description\tProtocol\tPort\tRemote Address\tRemote Port\tState\tPID\tProcess");
  const std::string listen = "\tTCP\t" + std::to_string(sockets.listenPort) + "\t0.0.0.0: 0\t\tLISTENING\t";
  const std::string udp = "\tUDP\t" + std::to_string(sockets.udpPort) + "\t*.*.*.*: *\t*\t\t";
  bool sawListen = false, sawUdp = false;
  for (const auto& l : lines) {
    sawListen |= l.find(listen) != std::string::npos;
    sawUdp |= l.find(udp) != std::string::npos;
  }
  EXPECT_TRUE(sawListen) << result.out;
  EXPECT_TRUE(sawUdp) << result.out;
}

}  // namespace
}  // namespace wl
