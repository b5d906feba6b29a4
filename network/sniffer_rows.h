// The sniffer page's data: the grid of at most 200 packet rows that wraps
// back to row 1, the payload store beside it, the whole packets (for saving
// a capture) and the hex and text dump of a payload. Texts are the payload's
// own bytes (the page shows them in its view code page).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "network/packet_decoder.h"

namespace wl {

// The dump of a payload: the dump's lines (hex part, "  |  ", text part,
// eight bytes a line) and the payload as one line. Bytes 0 to 19 show as ".".
struct PayloadDump {
  std::vector<std::string> hexLines;
  std::string text;
};
PayloadDump DumpPayload(const uint8_t* data, std::size_t size);

// The "Data" cell: the payload read as text up to its first zero byte.
std::string DataCellText(const uint8_t* data, std::size_t size);

// The Windows code page the grid, the views and the console listing read
// payload text in: Simplified Chinese (GBK).
inline constexpr unsigned kSnifferCodePage = 936;

struct SnifferRow {
  std::array<std::string, 7> cells;  // Protocol … Data
  std::vector<uint8_t> payload;      // slot of the payload store
  std::vector<uint8_t> packet;       // the whole packet from its IP header
  int64_t seconds = 0;               // capture time, Unix epoch
  uint32_t nanoseconds = 0;
};

class SnifferRows {
 public:
  static constexpr int kMaxRows = 200;  // grid rows, the header row included

  SnifferRows();
  // Lists a packet in the last row (OnPacket): cells, payload slot, whole
  // packet; then adds an empty row, or at more than kMaxRows rows cuts the
  // grid back to the header and an empty row 1.
  void Add(const DecodedPacket& decoded, const uint8_t* packet, int64_t seconds = 0, uint32_t nanoseconds = 0);
  // Decodes and lists n bytes starting with the IP header.
  void AddPacket(const uint8_t* packet, std::size_t n, int64_t seconds = 0, uint32_t nanoseconds = 0);
  // "Clear": the header and an empty row 1.
  void Clear();

  // The grid's row count, the header row included; the last row is empty.
  int RowCount() const { return rowCount_; }
  // Grid row r (1 … RowCount()-1); the last one is empty.
  const SnifferRow& Row(int r) const;
  bool IsEmptyRow(int r) const { return r < 1 || r >= rowCount_ - 1; }
  // Listed packets in row order (the empty last row excluded).
  int PacketCount() const { return rowCount_ - 2; }
  // Total packets listed since the start (wraps included).
  uint64_t Listed() const { return listed_; }

  static const std::array<const char*, 7>& Header();

 private:
  std::vector<SnifferRow> rows_;  // index r - 1
  int rowCount_ = 2;
  uint64_t listed_ = 0;
  SnifferRow empty_;
  DecodedPacket scratch_;
};

}  // namespace wl
