// Capture files: the classic pcap format (both byte orders, microsecond and
// nanosecond time stamps) and pcapng, with Ethernet, raw-IP, IPv4 and
// loopback link types. Packets are handed out from their IPv4 header on;
// frames that carry no IPv4 packet are counted and skipped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace wl {

struct CapturePacket {
  int64_t seconds = 0;  // Unix epoch
  uint32_t nanoseconds = 0;
  const uint8_t* data = nullptr;  // the IPv4 packet, valid during the call
  std::size_t size = 0;
};

struct CaptureReadResult {
  bool ok = false;          // the file was a capture file and read to its end
  std::string error;        // why not, when !ok
  uint64_t packets = 0;     // IPv4 packets handed out
  uint64_t skipped = 0;     // frames without an IPv4 packet
};

// Link types understood.
inline constexpr uint32_t kLinkNull = 0;       // BSD loopback: 4-byte family
inline constexpr uint32_t kLinkEthernet = 1;
inline constexpr uint32_t kLinkRaw = 101;      // raw IP
inline constexpr uint32_t kLinkIpv4 = 228;

// Reads a capture file's bytes; onPacket runs for every IPv4 packet in file
// order. Damage ends the reading with an error after the packets before it.
CaptureReadResult ReadCapture(const uint8_t* bytes, std::size_t size,
                              const std::function<void(const CapturePacket&)>& onPacket);

// A classic pcap file (little-endian, microsecond time stamps, raw-IP link
// type) holding the given packets.
class PcapWriter {
 public:
  PcapWriter();
  void Add(const uint8_t* packet, std::size_t size, int64_t seconds, uint32_t nanoseconds);
  const std::vector<uint8_t>& Bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};

}  // namespace wl
