#include "network/packet_decoder.h"

#include <algorithm>

namespace wl {

namespace {

constexpr std::size_t kIpHeader = 20;

unsigned Be16(const uint8_t* p) { return static_cast<unsigned>(p[0]) << 8 | p[1]; }

void AppendDecimal(std::string& out, unsigned v) {
  char buf[4];
  int n = 0;
  do {
    buf[n++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v);
  while (n) out += buf[--n];
}

void DottedInto(std::string& out, const uint8_t* bytes) {
  out.clear();
  for (int i = 0; i < 4; ++i) {
    if (i) out += '.';
    AppendDecimal(out, bytes[i]);
  }
}

}  // namespace

const char* ProtocolName(unsigned number) {
  switch (number) {
    case 0: return "IP";
    case 1: return "ICMP";
    case 2: return "IGMP";
    case 3: return "GGP";
    case 6: return "TCP";
    case 12: return "PUP";
    case 17: return "UDP";
    case 22: return "IDP";
    case 77: return "NP";
    case 255: return "RAW";
    default: return "";
  }
}

std::string DottedText(const uint8_t* bytes) {
  std::string out;
  DottedInto(out, bytes);
  return out;
}

void DecodePacketInto(const uint8_t* packet, std::size_t n, DecodedPacket& out) {
  // Missing header bytes read as zero.
  uint8_t ip[kIpHeader] = {};
  std::copy_n(packet, std::min(n, kIpHeader), ip);
  out.protocol = ip[9];
  out.proto = ProtocolName(out.protocol);
  DottedInto(out.sourceIP, ip + 12);
  DottedInto(out.destIP, ip + 16);
  out.sourcePort = 0;
  out.destPort = 0;

  // The total length cuts off link-layer padding; a larger claim than what
  // arrived is not believed.
  std::size_t length = n;
  const std::size_t total = Be16(ip + 2);
  if (n >= 4 && total >= kIpHeader && total < n) length = total;
  out.length = length;

  std::size_t header = std::max<std::size_t>((ip[0] & 0x0F) * 4u, kIpHeader);
  header = std::min(header, length);
  const bool firstFragment = (Be16(ip + 6) & 0x1FFF) == 0;
  if (header == (std::max<std::size_t>((ip[0] & 0x0F) * 4u, kIpHeader)) && firstFragment) {
    const uint8_t* t = packet + header;
    const std::size_t have = length - header;
    std::size_t transport = 0;
    switch (out.protocol) {
      case 1:  // ICMP: type and code stand for the ports
        if (have >= 1) out.sourcePort = t[0];
        if (have >= 2) out.destPort = t[1];
        transport = 8;
        break;
      case 6:  // TCP
        if (have >= 4) {
          out.sourcePort = Be16(t);
          out.destPort = Be16(t + 2);
        }
        transport = 20;
        if (have >= 13) transport = std::max<std::size_t>((t[12] >> 4) * 4u, 20);
        break;
      case 17:  // UDP
        if (have >= 4) {
          out.sourcePort = Be16(t);
          out.destPort = Be16(t + 2);
        }
        transport = 8;
        break;
      default:
        break;
    }
    header += std::min(transport, have);
  }
  out.headerSize = header;
  out.dataSize = length - header;
}

DecodedPacket DecodePacket(const uint8_t* packet, std::size_t n) {
  DecodedPacket out;
  DecodePacketInto(packet, n, out);
  return out;
}

}  // namespace wl
