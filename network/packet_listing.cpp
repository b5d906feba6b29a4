#include "network/packet_listing.h"

#include <windows.h>

#include <algorithm>

#include "network/pcap_file.h"
#include "network/sniffer_rows.h"
#include "win32/handles.h"
#include "win32/system_error.h"
#include "win32/unicode.h"

namespace wl {

bool PacketsPageText(const std::string& path, PageText& text, std::string& error) {
  text.header.assign(SnifferRows::Header().begin(), SnifferRows::Header().end());
  std::vector<uint8_t> bytes;
  {
    win32::UniqueHfile in(CreateFileW(win32::Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!in || !GetFileSizeEx(in.get(), &size)) {
      error = "Cannot open " + path + ": " + win32::SystemErrorText(GetLastError());
      return false;
    }
    if (size.QuadPart > (1ll << 30)) {
      error = path + " is larger than 1 GB.";
      return false;
    }
    bytes.resize(static_cast<std::size_t>(size.QuadPart));
    DWORD read = 0;
    if (!bytes.empty() && (!ReadFile(in.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
                           read != bytes.size())) {
      error = "Cannot read " + path + ": " + win32::SystemErrorText(GetLastError());
      return false;
    }
  }
  DecodedPacket d;
  const CaptureReadResult result = ReadCapture(bytes.data(), bytes.size(), [&](const CapturePacket& p) {
    DecodePacketInto(p.data, p.size, d);
    // The payload's text in the views' code page, as the page shows it.
    const std::string data = DataCellText(p.data + d.headerSize, d.dataSize);
    text.rows.push_back({d.proto, d.sourceIP, std::to_string(d.sourcePort), d.destIP, std::to_string(d.destPort),
                         std::to_string(d.dataSize), win32::Narrow(win32::FromCodePage(data, kSnifferCodePage))});
  });
  if (!result.ok) {
    error = path + ": " + result.error;
    return false;
  }
  return true;
}

}  // namespace wl
