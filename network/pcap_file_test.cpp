#include "network/pcap_file.h"

#include <gtest/gtest.h>

#include "network/packet_test_support.h"

namespace wl {
namespace {

using test::MakePacket;

struct Read {
  CaptureReadResult result;
  std::vector<std::vector<uint8_t>> packets;
  std::vector<std::pair<int64_t, uint32_t>> times;
};

Read ReadAll(const std::vector<uint8_t>& file) {
  Read r;
  r.result = ReadCapture(file.data(), file.size(), [&](const CapturePacket& p) {
    r.packets.emplace_back(p.data, p.data + p.size);
    r.times.emplace_back(p.seconds, p.nanoseconds);
  });
  return r;
}

// A classic file written by hand: byte order, time unit, link type.
std::vector<uint8_t> Classic(bool big, bool nano, uint32_t link, const std::vector<std::vector<uint8_t>>& frames) {
  std::vector<uint8_t> out;
  auto put32 = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(big ? v >> (24 - 8 * i) : v >> (8 * i)));
  };
  auto put16 = [&](uint16_t v) {
    for (int i = 0; i < 2; ++i) out.push_back(static_cast<uint8_t>(big ? v >> (8 - 8 * i) : v >> (8 * i)));
  };
  put32(nano ? 0xA1B23C4D : 0xA1B2C3D4);
  put16(2);
  put16(4);
  put32(0);
  put32(0);
  put32(65535);
  put32(link);
  uint32_t t = 100;
  for (const auto& f : frames) {
    put32(1700000000 + t);
    put32(nano ? 123456789 : 123456);
    put32(static_cast<uint32_t>(f.size()));
    put32(static_cast<uint32_t>(f.size()));
    out.insert(out.end(), f.begin(), f.end());
    ++t;
  }
  return out;
}

std::vector<uint8_t> Ethernet(const std::vector<uint8_t>& ip, uint16_t type = 0x0800) {
  std::vector<uint8_t> f(12, 0xAA);
  f.push_back(static_cast<uint8_t>(type >> 8));
  f.push_back(static_cast<uint8_t>(type));
  f.insert(f.end(), ip.begin(), ip.end());
  return f;
}

TEST(PcapFile, WrittenFileReadsBackWithTimes) {
  const auto a = MakePacket({.protocol = 6, .payload = "first"});
  const auto b = MakePacket({.protocol = 17, .payload = "second"});
  PcapWriter w;
  w.Add(a.data(), a.size(), 1700000001, 250000000);
  w.Add(b.data(), b.size(), 1700000002, 999999999);
  const Read r = ReadAll(w.Bytes());
  ASSERT_TRUE(r.result.ok) << r.result.error;
  ASSERT_EQ(r.packets.size(), 2u);
  EXPECT_EQ(r.packets[0], a);
  EXPECT_EQ(r.packets[1], b);
  EXPECT_EQ(r.times[0], (std::pair<int64_t, uint32_t>{1700000001, 250000000}));
  EXPECT_EQ(r.times[1], (std::pair<int64_t, uint32_t>{1700000002, 999999000}));
}

TEST(PcapFile, BothByteOrdersBothTimeUnitsAndTheLinkTypes) {
  const auto ip = MakePacket({.protocol = 1, .payload = "ping"});
  std::vector<uint8_t> vlan = {0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA,
                               0x81, 0x00, 0x00, 0x05, 0x08, 0x00};
  vlan.insert(vlan.end(), ip.begin(), ip.end());
  std::vector<uint8_t> loop = {2, 0, 0, 0};
  loop.insert(loop.end(), ip.begin(), ip.end());
  for (bool big : {false, true})
    for (bool nano : {false, true}) {
      Read r = ReadAll(Classic(big, nano, kLinkEthernet, {Ethernet(ip), Ethernet({1, 2, 3}, 0x86DD), vlan}));
      ASSERT_TRUE(r.result.ok) << r.result.error;
      ASSERT_EQ(r.packets.size(), 2u);
      EXPECT_EQ(r.packets[0], ip);
      EXPECT_EQ(r.packets[1], ip);
      EXPECT_EQ(r.result.skipped, 1u);  // the IPv6 frame
      EXPECT_EQ(r.times[0], (std::pair<int64_t, uint32_t>{1700000100, nano ? 123456789u : 123456000u}));
      for (uint32_t link : {kLinkRaw, kLinkIpv4}) {
        r = ReadAll(Classic(big, nano, link, {ip}));
        ASSERT_EQ(r.packets.size(), 1u);
        EXPECT_EQ(r.packets[0], ip);
      }
      r = ReadAll(Classic(big, nano, kLinkNull, {loop}));
      ASSERT_EQ(r.packets.size(), 1u);
      EXPECT_EQ(r.packets[0], ip);
    }
}

TEST(PcapFile, PcapngSectionsInterfacesAndPacketBlocks) {
  const auto ip = MakePacket({.protocol = 17, .payload = "ng"});
  std::vector<uint8_t> f;
  auto put32 = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) f.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  auto put16 = [&](uint16_t v) {
    f.push_back(static_cast<uint8_t>(v));
    f.push_back(static_cast<uint8_t>(v >> 8));
  };
  put32(0x0A0D0D0A); put32(28); put32(0x1A2B3C4D); put16(1); put16(0); put32(0xFFFFFFFF); put32(0xFFFFFFFF); put32(28);
  // Interface 0: Ethernet, nanosecond time stamps (if_tsresol 9).
  put32(1); put32(32); put16(kLinkEthernet); put16(0); put32(0);
  put16(9); put16(1); f.push_back(9); f.push_back(0); f.push_back(0); f.push_back(0);
  put16(0); put16(0); put32(32);
  const auto frame = Ethernet(ip);
  const uint32_t padded = static_cast<uint32_t>((frame.size() + 3) & ~std::size_t{3});
  const uint64_t ts = 1700000000ull * 1000000000ull + 42;
  put32(6); put32(32 + padded); put32(0); put32(static_cast<uint32_t>(ts >> 32)); put32(static_cast<uint32_t>(ts));
  put32(static_cast<uint32_t>(frame.size())); put32(static_cast<uint32_t>(frame.size()));
  f.insert(f.end(), frame.begin(), frame.end());
  f.resize(f.size() + (padded - frame.size()), 0);
  put32(32 + padded);
  const Read r = ReadAll(f);
  ASSERT_TRUE(r.result.ok) << r.result.error;
  ASSERT_EQ(r.packets.size(), 1u);
  EXPECT_EQ(r.packets[0], ip);
  EXPECT_EQ(r.times[0], (std::pair<int64_t, uint32_t>{1700000000, 42}));
}

TEST(PcapFile, DamageEndsTheReadingAfterTheGoodPackets) {
  const auto ip = MakePacket({.protocol = 6});
  auto file = Classic(false, false, kLinkRaw, {ip, ip});
  // Cut inside the second record.
  file.resize(file.size() - 5);
  Read r = ReadAll(file);
  EXPECT_FALSE(r.result.ok);
  EXPECT_EQ(r.packets.size(), 1u);
  EXPECT_NE(r.result.error.find("ends inside"), std::string::npos);
  // A record claiming gigabytes.
  file = Classic(false, false, kLinkRaw, {ip});
  file[24 + 8] = 0xFF;
  file[24 + 11] = 0x7F;
  r = ReadAll(file);
  EXPECT_FALSE(r.result.ok);
  EXPECT_TRUE(r.packets.empty());
  // Not a capture file at all; an unknown link type lists nothing.
  r = ReadAll({'h', 'e', 'l', 'l', 'o'});
  EXPECT_EQ(r.result.error, "The file is not a capture file.");
  r = ReadAll(Classic(false, false, 105, {ip}));
  EXPECT_TRUE(r.result.ok);
  EXPECT_EQ(r.result.skipped, 1u);
}

}  // namespace
}  // namespace wl

#ifndef _WIN32
#include <cstdio>
#include <fstream>
#include <unistd.h>

namespace wl {
namespace {

std::string Hex(const std::string& s) {
  static const char h[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : s) {
    out += h[c >> 4];
    out += h[c & 15];
  }
  return out;
}

// tshark (Wireshark's reader) opens a file we wrote and sees the same packets.
TEST(PcapFile, TsharkReadsTheWrittenFile) {
  if (system("tshark --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "tshark is not installed";
  const auto tcp = MakePacket({.protocol = 6, .source = {10, 1, 2, 3}, .dest = {10, 4, 5, 6}, .sourcePort = 40001,
                               .destPort = 40002, .payload = "tcp payload"});
  const auto udp = MakePacket({.protocol = 17, .source = {192, 168, 7, 8}, .dest = {192, 168, 9, 10},
                               .sourcePort = 40003, .destPort = 40004, .payload = "udp payload"});
  PcapWriter w;
  w.Add(tcp.data(), tcp.size(), 1700000000, 1000);
  w.Add(udp.data(), udp.size(), 1700000001, 2000);
  const std::string path = ::testing::TempDir() + "wl_tshark_" + std::to_string(getpid()) + ".pcap";
  {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(w.Bytes().data()), static_cast<std::streamsize>(w.Bytes().size()));
  }
  const std::string cmd = "tshark -r '" + path +
                          "' -T fields -E separator=, -e frame.time_epoch -e ip.src -e ip.dst -e tcp.srcport "
                          "-e tcp.dstport -e udp.srcport -e udp.dstport -e tcp.payload -e data.data 2>/dev/null";
  FILE* pipe = popen(cmd.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string output;
  char buf[512];
  while (fgets(buf, sizeof buf, pipe)) output += buf;
  EXPECT_EQ(pclose(pipe), 0);
  std::remove(path.c_str());
  EXPECT_EQ(output, "1700000000.000001000,10.1.2.3,10.4.5.6,40001,40002,,," + Hex("tcp payload") + "," + Hex("tcp payload") + "\n" +
                        "1700000001.000002000,192.168.7.8,192.168.9.10,,,40003,40004,," + Hex("udp payload") + "\n");
}

}  // namespace
}  // namespace wl
#endif
