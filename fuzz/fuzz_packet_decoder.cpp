// Arbitrary bytes as a captured packet: decoded, listed in the sniffer's
// rows and dumped. The decoder must stay inside the bytes it is given.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "network/packet_decoder.h"
#include "network/sniffer_rows.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // An exact-size copy, so that any read past the end is caught.
  std::vector<uint8_t> packet(data, data + size);
  const wl::DecodedPacket d = wl::DecodePacket(packet.data(), packet.size());
  if (d.headerSize + d.dataSize != d.length || d.length > size) std::abort();
  static wl::SnifferRows rows;
  rows.Add(d, packet.data());
  const wl::PayloadDump dump = wl::DumpPayload(packet.data() + d.headerSize, d.dataSize);
  if (dump.text.size() != d.dataSize || dump.hexLines.size() != (d.dataSize + 7) / 8) std::abort();
  return 0;
}
