#include "network/sniffer_rows.h"

#include <algorithm>
#include <charconv>

namespace wl {

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

char Shown(uint8_t b) { return b >= 20 ? static_cast<char>(b) : '.'; }

void SetDecimal(std::string& out, uint64_t v) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  out.assign(buf, r.ptr);
}

}  // namespace

PayloadDump DumpPayload(const uint8_t* data, std::size_t size) {
  PayloadDump dump;
  dump.text.reserve(size);
  std::string hex, text;
  for (std::size_t i = 0; i < size; ++i) {
    const uint8_t b = data[i];
    hex += kHex[b >> 4];
    hex += kHex[b & 15];
    hex += ' ';
    text += Shown(b);
    dump.text += Shown(b);
    if (i % 8 == 7) {
      dump.hexLines.push_back(hex + "  |  " + text);
      hex.clear();
      text.clear();
    }
  }
  if (!text.empty()) {
    hex.resize(24, ' ');
    dump.hexLines.push_back(hex + "  |  " + text);
  }
  return dump;
}

std::string DataCellText(const uint8_t* data, std::size_t size) {
  const uint8_t* end = std::find(data, data + size, 0);
  return std::string(reinterpret_cast<const char*>(data), static_cast<std::size_t>(end - data));
}

const std::array<const char*, 7>& SnifferRows::Header() {
  static const std::array<const char*, 7> header = {"Protocol",    "Local Address",   "Local Port", "Remote Address",
                                                    "Remote Port", "Data Size(Byte)", "Data"};
  return header;
}

SnifferRows::SnifferRows() : rows_(kMaxRows) {}

void SnifferRows::Add(const DecodedPacket& d, const uint8_t* packet, int64_t seconds, uint32_t nanoseconds) {
  SnifferRow& row = rows_[static_cast<std::size_t>(rowCount_ - 2)];  // grid row rowCount_-1
  row.cells[0] = d.proto;
  row.cells[1] = d.sourceIP;
  SetDecimal(row.cells[2], d.sourcePort);
  row.cells[3] = d.destIP;
  SetDecimal(row.cells[4], d.destPort);
  SetDecimal(row.cells[5], d.dataSize);
  const uint8_t* data = packet + d.headerSize;
  const uint8_t* zero = std::find(data, data + d.dataSize, 0);
  row.cells[6].assign(reinterpret_cast<const char*>(data), static_cast<std::size_t>(zero - data));
  row.payload.assign(data, data + d.dataSize);
  row.packet.assign(packet, packet + d.length);
  row.seconds = seconds;
  row.nanoseconds = nanoseconds;
  ++listed_;
  if (rowCount_ <= kMaxRows) {
    ++rowCount_;
  } else {
    rowCount_ = 2;  // the next packet goes into row 1
  }
}

void SnifferRows::AddPacket(const uint8_t* packet, std::size_t n, int64_t seconds, uint32_t nanoseconds) {
  DecodePacketInto(packet, n, scratch_);
  Add(scratch_, packet, seconds, nanoseconds);
}

void SnifferRows::Clear() { rowCount_ = 2; }

const SnifferRow& SnifferRows::Row(int r) const {
  if (IsEmptyRow(r)) return empty_;
  return rows_[static_cast<std::size_t>(r - 1)];
}

}  // namespace wl
