// Builds IPv4 packets for the network tests, benchmarks and fuzz seeds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace wl::test {

struct PacketSpec {
  uint8_t protocol = 6;
  std::vector<uint8_t> source{10, 0, 0, 1};
  std::vector<uint8_t> dest{10, 0, 0, 2};
  unsigned ipOptions = 0;   // extra IP header bytes (multiple of 4)
  unsigned tcpOptions = 0;  // extra TCP header bytes (multiple of 4)
  uint16_t sourcePort = 1025;
  uint16_t destPort = 80;
  uint8_t icmpType = 8, icmpCode = 0;
  std::string payload{};
};

inline std::vector<uint8_t> MakePacket(const PacketSpec& s) {
  std::vector<uint8_t> p(20 + s.ipOptions, 0);
  p[0] = static_cast<uint8_t>(0x40 | ((20 + s.ipOptions) / 4));
  p[8] = 64;
  p[9] = s.protocol;
  for (int i = 0; i < 4; ++i) {
    p[12 + static_cast<std::size_t>(i)] = s.source[static_cast<std::size_t>(i)];
    p[16 + static_cast<std::size_t>(i)] = s.dest[static_cast<std::size_t>(i)];
  }
  for (unsigned i = 0; i < s.ipOptions; ++i) p[20 + i] = 1;  // no-operation options
  auto put16 = [&](uint16_t v) {
    p.push_back(static_cast<uint8_t>(v >> 8));
    p.push_back(static_cast<uint8_t>(v));
  };
  if (s.protocol == 6) {
    put16(s.sourcePort);
    put16(s.destPort);
    for (int i = 0; i < 8; ++i) p.push_back(0);
    p.push_back(static_cast<uint8_t>(((20 + s.tcpOptions) / 4) << 4));
    p.push_back(0x18);
    for (int i = 0; i < 6; ++i) p.push_back(0);
    for (unsigned i = 0; i < s.tcpOptions; ++i) p.push_back(1);
  } else if (s.protocol == 17) {
    put16(s.sourcePort);
    put16(s.destPort);
    put16(static_cast<uint16_t>(8 + s.payload.size()));
    put16(0);
  } else if (s.protocol == 1) {
    p.push_back(s.icmpType);
    p.push_back(s.icmpCode);
    for (int i = 0; i < 6; ++i) p.push_back(0);
  }
  p.insert(p.end(), s.payload.begin(), s.payload.end());
  p[2] = static_cast<uint8_t>(p.size() >> 8);
  p[3] = static_cast<uint8_t>(p.size());
  return p;
}

}  // namespace wl::test
