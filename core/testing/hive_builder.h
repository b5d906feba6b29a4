// Builds small registry hives and their transaction logs byte by byte, for
// the reader's tests and the fuzz target's seeds: sound ones, and with the
// low-level calls any damage a test wants.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/hive_image.h"

namespace wl::hive::testing {

inline void Put16(std::string& s, std::size_t at, uint16_t v) {
  s[at] = static_cast<char>(v & 0xFF);
  s[at + 1] = static_cast<char>(v >> 8);
}
inline void Put32(std::string& s, std::size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + static_cast<std::size_t>(i)] = static_cast<char>(v >> (8 * i));
}
inline void Put64(std::string& s, std::size_t at, uint64_t v) {
  Put32(s, at, static_cast<uint32_t>(v));
  Put32(s, at + 4, static_cast<uint32_t>(v >> 32));
}
inline std::string Utf16Bytes(const std::u16string& text) {
  std::string out(text.size() * 2, '\0');
  for (std::size_t i = 0; i < text.size(); ++i) Put16(out, 2 * i, text[i]);
  return out;
}

constexpr uint32_t kNone = 0xFFFFFFFF;

// Cells laid one after the other in one hive bin (grown in steps of 4096
// bytes); offsets are from the start of the hive bins.
class HiveBuilder {
 public:
  // A cell holding data (size field first, padded to 8 bytes).
  uint32_t Cell(const std::string& data, bool allocated = true) {
    const uint32_t offset = static_cast<uint32_t>(32 + cells_.size());
    const std::size_t size = (data.size() + 4 + 7) / 8 * 8;
    std::string cell(size, '\0');
    Put32(cell, 0, allocated ? static_cast<uint32_t>(-static_cast<int32_t>(size)) : static_cast<uint32_t>(size));
    std::memcpy(cell.data() + 4, data.data(), data.size());
    cells_ += cell;
    return offset;
  }

  struct KeyFields {
    std::string name;  // UTF-8; stored compressed when ASCII/Latin-1 and compressed is set
    bool compressed = true;
    uint16_t flags = 0;
    uint64_t time = 0;
    uint32_t subkeyCount = 0;
    uint32_t subkeyList = kNone;
    uint32_t valueCount = 0;
    uint32_t valueList = kNone;
    uint32_t security = kNone;
    uint32_t classCell = kNone;
    uint16_t classSize = 0;
    uint32_t parent = 0;
  };
  uint32_t Key(const KeyFields& k) {
    const std::string name = NameBytes(k.name, k.compressed);
    std::string nk(76, '\0');
    nk[0] = 'n';
    nk[1] = 'k';
    Put16(nk, 2, static_cast<uint16_t>(k.flags | (k.compressed ? 0x20 : 0)));
    Put64(nk, 4, k.time);
    Put32(nk, 16, k.parent);
    Put32(nk, 20, k.subkeyCount);
    Put32(nk, 28, k.subkeyList);
    Put32(nk, 32, kNone);
    Put32(nk, 36, k.valueCount);
    Put32(nk, 40, k.valueList);
    Put32(nk, 44, k.security);
    Put32(nk, 48, k.classCell);
    Put16(nk, 72, static_cast<uint16_t>(name.size()));
    Put16(nk, 74, k.classSize);
    return Cell(nk + name);
  }

  // A value; its data inline (4 bytes or less), in a cell, or (past 16344
  // bytes) in a big data cell with its segments.
  uint32_t Value(const std::string& name, uint32_t type, const std::string& data, bool compressed = true) {
    std::string vk(20, '\0');
    vk[0] = 'v';
    vk[1] = 'k';
    const std::string nameBytes = NameBytes(name, compressed);
    Put16(vk, 2, static_cast<uint16_t>(nameBytes.size()));
    Put32(vk, 12, type);
    Put16(vk, 16, compressed ? 1 : 0);
    if (data.size() <= 4) {
      Put32(vk, 4, static_cast<uint32_t>(data.size()) | 0x80000000u);
      std::memcpy(vk.data() + 8, data.data(), data.size());
    } else {
      Put32(vk, 4, static_cast<uint32_t>(data.size()));
      Put32(vk, 8, data.size() > detail::kBigDataSegment ? BigData(data) : Cell(data));
    }
    return Cell(vk + nameBytes);
  }

  uint32_t BigData(const std::string& data) {
    std::string list;
    uint16_t segments = 0;
    for (std::size_t at = 0; at < data.size(); at += detail::kBigDataSegment, ++segments) {
      const uint32_t seg = Cell(data.substr(at, detail::kBigDataSegment));
      list.append(4, '\0');
      Put32(list, list.size() - 4, seg);
    }
    std::string db(8, '\0');
    db[0] = 'd';
    db[1] = 'b';
    Put16(db, 2, segments);
    Put32(db, 4, Cell(list));
    return Cell(db);
  }

  // A list of offsets: "li", "lf", "lh" (with hints or hashes of the named
  // keys when names are given) or "ri"; "" gives a plain list (of values).
  uint32_t List(const std::string& signature, const std::vector<uint32_t>& offsets,
                const std::vector<std::string>& names = {}) {
    std::string out;
    if (!signature.empty()) {
      out = signature + "  ";
      Put16(out, 2, static_cast<uint16_t>(offsets.size()));
    }
    const bool pairs = signature == "lf" || signature == "lh";
    for (std::size_t i = 0; i < offsets.size(); ++i) {
      out.append(pairs ? 8 : 4, '\0');
      Put32(out, out.size() - (pairs ? 8 : 4), offsets[i]);
      if (pairs && i < names.size()) Put32(out, out.size() - 4, signature == "lh" ? Hash(names[i]) : Hint(names[i]));
    }
    return Cell(out);
  }

  static uint32_t Hash(const std::string& name) {
    uint32_t h = 0;
    for (char c : name) h = h * 37 + static_cast<unsigned char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    return h;
  }
  static uint32_t Hint(const std::string& name) {
    uint32_t h = 0;
    for (std::size_t i = 0; i < 4 && i < name.size(); ++i)
      h |= static_cast<uint32_t>(static_cast<unsigned char>(name[i])) << (8 * i);
    return h;
  }

  // The primary file: base block, then the bin (its free rest one free cell).
  std::string File(uint32_t root, uint32_t primarySequence = 5, uint32_t secondarySequence = 5,
                   uint64_t time = 0x01D0000000000000ull, uint32_t minBinSize = 4096) const {
    std::size_t binSize = (32 + cells_.size() + 4095) / 4096 * 4096;
    if (binSize < minBinSize) binSize = minBinSize;
    std::string bin(binSize, '\0');
    std::memcpy(bin.data(), "hbin", 4);
    Put32(bin, 8, static_cast<uint32_t>(binSize));
    std::memcpy(bin.data() + 32, cells_.data(), cells_.size());
    if (const std::size_t rest = binSize - 32 - cells_.size())
      Put32(bin, 32 + cells_.size(), static_cast<uint32_t>(rest));
    std::string base(4096, '\0');
    std::memcpy(base.data(), "regf", 4);
    Put32(base, 4, primarySequence);
    Put32(base, 8, secondarySequence);
    Put64(base, 12, time);
    Put32(base, 20, 1);
    Put32(base, 24, 5);
    Put32(base, 32, 1);
    Put32(base, 36, root);
    Put32(base, 40, static_cast<uint32_t>(binSize));
    Put32(base, 44, 1);
    SealBaseBlock(base);
    return base + bin;
  }

  static void SealBaseBlock(std::string& file) {
    Put32(file, 508, detail::BaseBlockChecksum(reinterpret_cast<const uint8_t*>(file.data())));
  }

  // Sets a 32-bit field of a cell made earlier (field: offset in its data).
  void Patch32(uint32_t cell, std::size_t field, uint32_t value) { Put32(cells_, cell - 32 + 4 + field, value); }
  std::string& Cells() { return cells_; }

 private:
  static std::string NameBytes(const std::string& utf8, bool compressed) {
    if (compressed) return utf8;  // the tests give Latin-1 bytes for compressed names
    std::u16string units;
    for (std::size_t i = 0; i < utf8.size();) {  // UTF-8 to UTF-16 for the BMP
      const unsigned char c = static_cast<unsigned char>(utf8[i]);
      if (c < 0x80) {
        units += c;
        i += 1;
      } else if (c < 0xE0) {
        units += static_cast<char16_t>((c & 0x1F) << 6 | (utf8[i + 1] & 0x3F));
        i += 2;
      } else {
        units += static_cast<char16_t>((c & 0x0F) << 12 | (utf8[i + 1] & 0x3F) << 6 | (utf8[i + 2] & 0x3F));
        i += 3;
      }
    }
    return Utf16Bytes(units);
  }

  std::string cells_;
};

// A transaction log in the format of Windows 8.1 and later: the hive's base
// block (file type 6, the sequence of the first entry), then one entry per
// element of entries (sequence numbers from firstSequence), each writing the
// given pages (offset from the start of the hive bins, bytes).
struct LogPage {
  uint32_t offset;
  std::string bytes;
};
inline std::string NewFormatLog(const std::string& hiveFile, uint32_t firstSequence,
                                const std::vector<std::vector<LogPage>>& entries, uint32_t dataSize) {
  std::string log = hiveFile.substr(0, 512);
  Put32(log, 4, firstSequence);
  Put32(log, 8, firstSequence);
  Put32(log, 28, 6);
  HiveBuilder::SealBaseBlock(log);
  uint32_t sequence = firstSequence;
  for (const auto& pages : entries) {
    std::string e(40, '\0');
    std::memcpy(e.data(), "HvLE", 4);
    Put32(e, 12, sequence++);
    Put32(e, 16, dataSize);
    Put32(e, 20, static_cast<uint32_t>(pages.size()));
    for (const auto& p : pages) {
      e.append(8, '\0');
      Put32(e, e.size() - 8, p.offset);
      Put32(e, e.size() - 4, static_cast<uint32_t>(p.bytes.size()));
    }
    for (const auto& p : pages) e += p.bytes;
    e.resize((e.size() + 511) / 512 * 512, '\0');
    Put32(e, 4, static_cast<uint32_t>(e.size()));
    const auto* b = reinterpret_cast<const uint8_t*>(e.data());
    Put64(e, 24, detail::Marvin32(b + 40, e.size() - 40));
    Put64(e, 32, detail::Marvin32(b, 32));
    log += e;
  }
  return log;
}

// A transaction log in the older format: the base block the hive will have
// (file type 1), "DIRT" and a bitmap of its 512-byte pages, then the pages
// whose bits are set, taken from the hive file given.
inline std::string DirtyVectorLog(const std::string& newHiveFile, const std::vector<uint32_t>& dirtyPages) {
  std::string log = newHiveFile.substr(0, 512);
  Put32(log, 28, 1);
  HiveBuilder::SealBaseBlock(log);
  const uint32_t dataSize = detail::Get32(reinterpret_cast<const uint8_t*>(newHiveFile.data()) + 40);
  std::string vector = "DIRT" + std::string((dataSize / 512 + 7) / 8, '\0');
  std::vector<uint32_t> pages = dirtyPages;
  std::sort(pages.begin(), pages.end());
  for (uint32_t p : pages) vector[4 + p / 8] = static_cast<char>(vector[4 + p / 8] | (1 << (p % 8)));
  vector.resize((vector.size() + 511) / 512 * 512, '\0');
  log += vector;
  for (uint32_t p : pages) log += newHiveFile.substr(4096 + std::size_t{p} * 512, 512);
  return log;
}

}  // namespace wl::hive::testing
