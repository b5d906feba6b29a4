// Decoding of one captured IPv4 packet: the protocol name, the addresses, the
// ports (ICMP: type and code) and where the payload starts. The decoder reads
// only the bytes it is given: a packet shorter than the headers it claims is
// decoded with what it has (missing ports 0, payload empty).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace wl {

// The name of an IP protocol number, empty for numbers without a name.
const char* ProtocolName(unsigned number);

// Dotted text of four address bytes in network order.
std::string DottedText(const uint8_t* bytes);

struct DecodedPacket {
  unsigned protocol = 0;      // the IP header's protocol number
  std::string proto;          // its name
  std::string sourceIP;       // dotted
  std::string destIP;         // dotted
  unsigned sourcePort = 0;    // TCP/UDP source port; ICMP type
  unsigned destPort = 0;      // TCP/UDP destination port; ICMP code
  std::size_t length = 0;     // bytes of the packet (the IP total length when it is shorter than what arrived)
  std::size_t headerSize = 0; // IP header plus transport header, as far as present
  std::size_t dataSize = 0;   // payload bytes: length - headerSize
};

// Decodes n bytes starting with an IPv4 header. Honours the IP header length,
// the total length, fragments (only the first carries the transport header)
// and the TCP data offset.
DecodedPacket DecodePacket(const uint8_t* packet, std::size_t n);
// The same into an existing record (keeps its string buffers).
void DecodePacketInto(const uint8_t* packet, std::size_t n, DecodedPacket& out);

}  // namespace wl
