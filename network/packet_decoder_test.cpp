#include "network/packet_decoder.h"

#include <gtest/gtest.h>

#include "network/packet_test_support.h"

namespace wl {
namespace {

using test::MakePacket;
using test::PacketSpec;

TEST(PacketDecoder, NamesTheProtocolsOfTheTable) {
  EXPECT_STREQ(ProtocolName(0), "IP");
  EXPECT_STREQ(ProtocolName(1), "ICMP");
  EXPECT_STREQ(ProtocolName(17), "UDP");
  EXPECT_STREQ(ProtocolName(77), "NP");
  EXPECT_STREQ(ProtocolName(255), "RAW");
  EXPECT_STREQ(ProtocolName(47), "");
}

TEST(PacketDecoder, TcpUdpIcmpAndOtherProtocols) {
  const auto tcp = MakePacket({.protocol = 6, .source = {192, 168, 1, 20}, .dest = {8, 8, 4, 4}, .payload = "GET /"});
  DecodedPacket d = DecodePacket(tcp.data(), tcp.size());
  EXPECT_EQ(d.proto, "TCP");
  EXPECT_EQ(d.sourceIP, "192.168.1.20");
  EXPECT_EQ(d.destIP, "8.8.4.4");
  EXPECT_EQ(d.sourcePort, 1025u);
  EXPECT_EQ(d.destPort, 80u);
  EXPECT_EQ(d.headerSize, 40u);
  EXPECT_EQ(d.dataSize, 5u);

  const auto udp = MakePacket({.protocol = 17, .sourcePort = 53, .destPort = 40000, .payload = "abc"});
  d = DecodePacket(udp.data(), udp.size());
  EXPECT_EQ(d.proto, "UDP");
  EXPECT_EQ(d.sourcePort, 53u);
  EXPECT_EQ(d.destPort, 40000u);
  EXPECT_EQ(d.headerSize, 28u);
  EXPECT_EQ(d.dataSize, 3u);

  // An echo request: type 8 and code 0 stand for the ports.
  const auto icmp = MakePacket({.protocol = 1, .icmpType = 8, .icmpCode = 0, .payload = "ping"});
  d = DecodePacket(icmp.data(), icmp.size());
  EXPECT_EQ(d.proto, "ICMP");
  EXPECT_EQ(d.sourcePort, 8u);
  EXPECT_EQ(d.destPort, 0u);
  EXPECT_EQ(d.headerSize, 28u);

  for (uint8_t proto : {47, 255}) {
    const auto other = MakePacket({.protocol = proto, .payload = "xyz12"});
    d = DecodePacket(other.data(), other.size());
    EXPECT_EQ(d.proto, proto == 47 ? "" : "RAW");
    EXPECT_EQ(d.sourcePort, 0u);
    EXPECT_EQ(d.destPort, 0u);
    EXPECT_EQ(d.headerSize, 20u);
    EXPECT_EQ(d.dataSize, 5u);
  }
}

TEST(PacketDecoder, HonoursIpOptionsAndTcpDataOffset) {
  const auto p = MakePacket({.protocol = 6, .ipOptions = 8, .tcpOptions = 12, .payload = "hello"});
  const DecodedPacket d = DecodePacket(p.data(), p.size());
  EXPECT_EQ(d.sourcePort, 1025u);
  EXPECT_EQ(d.destPort, 80u);
  EXPECT_EQ(d.headerSize, 28u + 32u);
  EXPECT_EQ(d.dataSize, 5u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(p.data() + d.headerSize), d.dataSize), "hello");

  const auto u = MakePacket({.protocol = 17, .ipOptions = 4, .sourcePort = 7, .destPort = 9, .payload = "q"});
  const DecodedPacket du = DecodePacket(u.data(), u.size());
  EXPECT_EQ(du.sourcePort, 7u);
  EXPECT_EQ(du.headerSize, 32u);
  EXPECT_EQ(du.dataSize, 1u);
}

TEST(PacketDecoder, TruncatedPacketsAreDeliveredWithWhatTheyHave) {
  const auto full = MakePacket({.protocol = 6, .tcpOptions = 8, .payload = "data"});
  // Every cut: sizes add up to what arrived, never more.
  for (std::size_t n = 0; n <= full.size(); ++n) {
    const std::vector<uint8_t> cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n));
    const DecodedPacket d = DecodePacket(cut.data(), cut.size());
    EXPECT_LE(d.headerSize, n);
    EXPECT_EQ(d.headerSize + d.dataSize, n) << n;
    if (n < 24) {
      EXPECT_EQ(d.sourcePort, 0u) << n;
      EXPECT_EQ(d.destPort, 0u) << n;
    }
    if (n < full.size() - 4) {
      EXPECT_EQ(d.dataSize, 0u) << n;
    }
  }
  // An IP header length beyond the packet.
  auto bad = MakePacket({.protocol = 17, .payload = "zz"});
  bad[0] = 0x4F;  // 60 bytes claimed, 30 there
  const DecodedPacket d = DecodePacket(bad.data(), bad.size());
  EXPECT_EQ(d.headerSize, bad.size());
  EXPECT_EQ(d.dataSize, 0u);
  EXPECT_EQ(d.sourcePort, 0u);
}

TEST(PacketDecoder, TotalLengthCutsLinkPaddingAndLaterFragmentsHaveNoPorts) {
  auto p = MakePacket({.protocol = 17, .payload = "hi"});
  const std::size_t real = p.size();
  p.resize(46, 0);  // Ethernet minimum frame padding
  DecodedPacket d = DecodePacket(p.data(), p.size());
  EXPECT_EQ(d.length, real);
  EXPECT_EQ(d.dataSize, 2u);

  auto frag = MakePacket({.protocol = 6, .payload = "continued"});
  frag[6] = 0x00;
  frag[7] = 0x10;  // offset 128 bytes: no TCP header here
  d = DecodePacket(frag.data(), frag.size());
  EXPECT_EQ(d.proto, "TCP");
  EXPECT_EQ(d.sourcePort, 0u);
  EXPECT_EQ(d.headerSize, 20u);
}

}  // namespace
}  // namespace wl
