// Arbitrary bytes as a capture file (pcap or pcapng): every packet handed
// out lies inside the file and is listed as the sniffer would.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "network/pcap_file.h"
#include "network/sniffer_rows.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> file(data, data + size);
  wl::SnifferRows rows;
  const uint8_t* begin = file.data();
  const uint8_t* end = begin + file.size();
  wl::ReadCapture(file.data(), file.size(), [&](const wl::CapturePacket& p) {
    if (p.data < begin || p.data + p.size > end || p.nanoseconds >= 1000000000u) std::abort();
    rows.AddPacket(p.data, p.size, p.seconds, p.nanoseconds);
  });
  return 0;
}
