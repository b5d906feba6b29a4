#include "core/hive.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <unordered_set>

#include "core/hive_image.h"
#include "core/utf16_text.h"
#include "core/utf8_path.h"

namespace wl::hive {
namespace detail {

std::string Hex(uint64_t value) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "0x%llX", static_cast<unsigned long long>(value));
  return buf;
}

void ProblemList::Note(std::string text) const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (seen_.count(text)) return;
  if (items_.size() >= kMaxProblems) {
    ++more_;
    return;
  }
  seen_.insert(text);
  items_.push_back(std::move(text));
}

std::vector<std::string> ProblemList::Items() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::string> out = items_;
  if (more_) out.push_back("… and " + std::to_string(more_) + " more problems");
  return out;
}

uint32_t BaseBlockChecksum(const uint8_t* block) {
  uint32_t sum = 0;
  for (int i = 0; i < 127; ++i) sum ^= Get32(block + 4 * i);
  if (sum == 0xFFFFFFFF) return 0xFFFFFFFE;
  if (sum == 0) return 1;
  return sum;
}

BaseBlock ParseBaseBlock(const uint8_t* b) {
  BaseBlock h;
  h.primarySequence = Get32(b + 4);
  h.secondarySequence = Get32(b + 8);
  h.lastWritten = Get64(b + 12);
  h.majorVersion = Get32(b + 20);
  h.minorVersion = Get32(b + 24);
  h.rootCell = Get32(b + 36);
  h.dataSize = Get32(b + 40);
  h.checksumValid = Get32(b + 508) == BaseBlockChecksum(b);
  std::u16string name;
  for (int i = 0; i < 32; ++i) {
    const char16_t c = Get16(b + 48 + 2 * i);
    if (!c) break;
    name += c;
  }
  h.fileName = Utf8FromUtf16(name);
  return h;
}

std::span<const uint8_t> Image::Cell(uint32_t offset) const {
  if (offset % 8 != 0 || offset >= size) return {};
  const uint32_t slot = offset / 8;
  if (!(cellStarts[slot / 64] >> (slot % 64) & 1)) return {};
  const uint8_t* p = bins + offset;
  const int32_t raw = static_cast<int32_t>(Get32(p));
  // The scan of the bins admitted only sizes from 8 to the end of their bin.
  const uint32_t length = raw < 0 ? static_cast<uint32_t>(-static_cast<int64_t>(raw)) : static_cast<uint32_t>(raw);
  return {p + 4, length - 4};
}

std::span<const uint8_t> Image::Record(uint32_t offset, const char* signature, std::size_t minSize,
                                       const char* what) const {
  const auto cell = Cell(offset);
  if (cell.empty()) {
    Note(std::string(what) + " at " + Hex(offset) + " is not a cell of the hive bins");
    return {};
  }
  if (cell.size() < std::max<std::size_t>(minSize, 2) || cell[0] != signature[0] || cell[1] != signature[1]) {
    Note(std::string(what) + " at " + Hex(offset) + " is not a \"" + signature + "\" cell");
    return {};
  }
  return cell;
}

namespace {

// A name as a key or value stores it: Latin-1 bytes ("compressed") or UTF-16LE.
struct RawName {
  const uint8_t* bytes = nullptr;
  std::size_t size = 0;
  bool compressed = false;
  std::size_t Units() const { return compressed ? size : size / 2; }
  char16_t Unit(std::size_t i) const { return compressed ? bytes[i] : Get16(bytes + 2 * i); }
};

std::string NameText(const RawName& n) {
  if (n.compressed) {
    std::string out;
    out.reserve(n.size);
    for (std::size_t i = 0; i < n.size; ++i) {
      if (n.bytes[i] < 0x80)
        out += static_cast<char>(n.bytes[i]);
      else
        AppendUtf8(out, n.bytes[i]);
    }
    return out;
  }
  std::u16string units(n.Units(), u'\0');
  for (std::size_t i = 0; i < units.size(); ++i) units[i] = n.Unit(i);
  return Utf8FromUtf16(units);
}

std::u16string UpperUnits(std::string_view utf8) {
  std::u16string units = Utf16FromUtf8(utf8);
  for (char16_t& c : units) c = UpcaseUnit(c);
  return units;
}

// <0, 0, >0 as name sorts before, with or after wanted (upper-case units).
int CompareName(const RawName& name, const std::u16string& wanted) {
  const std::size_t n = name.Units();
  const std::size_t common = std::min(n, wanted.size());
  for (std::size_t i = 0; i < common; ++i) {
    const char16_t a = UpcaseUnit(name.Unit(i));
    if (a != wanted[i]) return a < wanted[i] ? -1 : 1;
  }
  return n < wanted.size() ? -1 : n > wanted.size() ? 1 : 0;
}

constexpr std::size_t kKeyFixed = 76;  // bytes of an nk record before its name
constexpr std::size_t kMaxKeyNameUnits = 255;
constexpr std::size_t kValueFixed = 20;  // bytes of a vk record before its name

// The name a key or value record carries after its fixed fields (its length
// at lengthAt), cut at the end of its cell.
RawName NameIn(const Image& im, std::span<const uint8_t> record, std::size_t fixed, std::size_t lengthAt,
               bool compressed, const char* what, uint32_t offset) {
  RawName n;
  n.size = Get16(record.data() + lengthAt);
  if (n.size > record.size() - fixed) {
    im.Note(std::string("the name of the ") + what + " at " + Hex(offset) + " runs past its cell");
    n.size = record.size() - fixed;
  }
  n.bytes = record.data() + fixed;
  n.compressed = compressed;
  return n;
}

RawName KeyName(const Image& im, std::span<const uint8_t> nk, uint32_t offset) {
  const RawName n = NameIn(im, nk, kKeyFixed, 72, (Get16(nk.data() + 2) & 0x0020) != 0, "key", offset);
  if (n.Units() > kMaxKeyNameUnits)
    im.Note("the key at " + Hex(offset) + " has a name of " + std::to_string(n.Units()) +
            " characters (Windows allows " + std::to_string(kMaxKeyNameUnits) + ")");
  return n;
}

RawName ValueName(const Image& im, std::span<const uint8_t> vk, uint32_t offset) {
  return NameIn(im, vk, kValueFixed, 2, (Get16(vk.data() + 16) & 0x0001) != 0, "value", offset);
}

// Cells a walk has read, so that it reads none twice.
class Visited {
 public:
  explicit Visited(uint32_t size) : bits_(size / 8 / 64 + 1, 0) {}
  // True the first time for an offset.
  bool First(uint32_t offset) {
    const uint32_t slot = offset / 8;
    uint64_t& word = bits_[slot / 64];
    const uint64_t bit = uint64_t{1} << (slot % 64);
    if (word & bit) return false;
    word |= bit;
    return true;
  }

 private:
  std::vector<uint64_t> bits_;
};

// One leaf of a list of sub-keys: its entries (an offset each, with a hint
// or hash after it in lf and lh leaves).
struct Leaf {
  const uint8_t* entries;
  uint32_t count;
  uint32_t stride;
  uint32_t At(uint32_t i) const { return Get32(entries + std::size_t{i} * stride); }
};

bool IsLeaf(std::span<const uint8_t> cell) {
  return cell.size() >= 4 && cell[0] == 'l' && (cell[1] == 'i' || cell[1] == 'f' || cell[1] == 'h');
}

void AddLeaf(const Image& im, std::span<const uint8_t> cell, uint32_t offset, std::vector<Leaf>& leaves) {
  const uint32_t stride = cell[1] == 'i' ? 4 : 8;
  uint32_t count = Get16(cell.data() + 2);
  const uint32_t room = static_cast<uint32_t>((cell.size() - 4) / stride);
  if (count > room) {
    im.Note("the list of sub-keys at " + Hex(offset) + " gives " + std::to_string(count) + " entries, its cell holds " +
            std::to_string(room));
    count = room;
  }
  if (count) leaves.push_back({cell.data() + 4, count, stride});
}

// The leaves of a key's list of sub-keys: the list itself, or each leaf an
// index root ("ri") names (once each; a root names leaves only).
std::vector<Leaf> Leaves(const Image& im, uint32_t key, uint32_t list, Visited* visited) {
  std::vector<Leaf> leaves;
  if (list == kNoCell) return leaves;
  const auto cell = im.Cell(list);
  if (cell.size() < 4) {
    im.Note("the list of sub-keys of the key at " + Hex(key) + " (" + Hex(list) + ") is not a cell of the hive bins");
    return leaves;
  }
  if (visited && !visited->First(list)) {
    im.Note("the list of sub-keys at " + Hex(list) + " is used by more than one key");
    return leaves;
  }
  if (IsLeaf(cell)) {
    AddLeaf(im, cell, list, leaves);
    return leaves;
  }
  if (cell[0] != 'r' || cell[1] != 'i') {
    im.Note("the list of sub-keys of the key at " + Hex(key) + " (" + Hex(list) + ") is no list");
    return leaves;
  }
  uint32_t count = Get16(cell.data() + 2);
  const uint32_t room = static_cast<uint32_t>((cell.size() - 4) / 4);
  if (count > room) {
    im.Note("the index root at " + Hex(list) + " gives " + std::to_string(count) + " lists, its cell holds " +
            std::to_string(room));
    count = room;
  }
  std::unordered_set<uint32_t> seen;
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t offset = Get32(cell.data() + 4 + 4 * std::size_t{i});
    const auto leaf = im.Cell(offset);
    if (!IsLeaf(leaf)) {
      im.Note("the index root at " + Hex(list) + " names " + Hex(offset) + ", which is no leaf of sub-keys");
      continue;
    }
    if (!seen.insert(offset).second || (visited && !visited->First(offset))) {
      im.Note("the leaf of sub-keys at " + Hex(offset) + " is listed more than once");
      continue;
    }
    AddLeaf(im, leaf, offset, leaves);
  }
  return leaves;
}

constexpr std::size_t kMinKey = kKeyFixed;
constexpr std::size_t kMinValue = kValueFixed;

std::vector<uint32_t> ValueOffsets(const Image& im, uint32_t key, std::span<const uint8_t> nk, Visited* visited) {
  std::vector<uint32_t> out;
  if (Get16(nk.data() + 2) & 0x0040) return out;  // a predefined handle: the count field is no count
  uint32_t count = Get32(nk.data() + 36);
  const uint32_t list = Get32(nk.data() + 40);
  if (count == 0) return out;
  const auto cell = im.Cell(list);
  if (cell.empty()) {
    im.Note("the list of values of the key at " + Hex(key) + " (" + Hex(list) + ") is not a cell of the hive bins");
    return out;
  }
  if (visited && !visited->First(list)) {
    im.Note("the list of values at " + Hex(list) + " is used by more than one key");
    return out;
  }
  const uint32_t room = static_cast<uint32_t>(cell.size() / 4);
  if (count > room) {
    im.Note("the key at " + Hex(key) + " gives " + std::to_string(count) + " values, their list holds " +
            std::to_string(room));
    count = room;
  }
  out.reserve(count);
  for (uint32_t i = 0; i < count; ++i) out.push_back(Get32(cell.data() + 4 * std::size_t{i}));
  return out;
}

// A value's data: in the value itself (4 bytes or less), in one cell, or in
// the segments of a big data cell.
std::vector<uint8_t> ReadData(const Image& im, uint32_t offset, std::span<const uint8_t> vk, Visited* visited) {
  std::vector<uint8_t> out;
  const uint32_t raw = Get32(vk.data() + 4);
  uint32_t size = raw & 0x7FFFFFFF;
  const uint32_t where = Get32(vk.data() + 8);
  if (raw & 0x80000000) {
    if (size > 4) {
      im.Note("the value at " + Hex(offset) + " keeps " + std::to_string(size) + " bytes in itself (4 at most)");
      size = 4;
    }
    out.assign(vk.data() + 8, vk.data() + 8 + size);
    return out;
  }
  if (size == 0) return out;
  const auto cell = im.Cell(where);
  if (cell.empty()) {
    im.Note("the data of the value at " + Hex(offset) + " (" + Hex(where) + ") is not a cell of the hive bins");
    return out;
  }
  if (visited && !visited->First(where)) {
    im.Note("the data at " + Hex(where) + " belongs to more than one value");
    return out;
  }
  if (size <= cell.size()) {
    out.assign(cell.data(), cell.data() + size);
    return out;
  }
  if (cell.size() < 8 || cell[0] != 'd' || cell[1] != 'b') {
    im.Note("the value at " + Hex(offset) + " gives " + std::to_string(size) + " bytes of data, its cell holds " +
            std::to_string(cell.size()));
    out.assign(cell.begin(), cell.end());
    return out;
  }
  // Big data: a list of segments, each a cell of up to 16344 bytes.
  const uint32_t segments = Get16(cell.data() + 2);
  const uint32_t listOffset = Get32(cell.data() + 4);
  const auto list = im.Cell(listOffset);
  uint32_t count = segments;
  if (list.size() / 4 < count) {
    im.Note("the segment list of the value at " + Hex(offset) + " (" + Hex(listOffset) + ") holds fewer than " +
            std::to_string(segments) + " segments");
    count = static_cast<uint32_t>(list.size() / 4);
  }
  if (visited && count && !visited->First(listOffset)) {
    im.Note("the segment list at " + Hex(listOffset) + " belongs to more than one value");
    return out;
  }
  out.reserve(std::min<std::size_t>(size, std::size_t{count} * kBigDataSegment));
  for (uint32_t i = 0; i < count && out.size() < size; ++i) {
    const uint32_t segOffset = Get32(list.data() + 4 * std::size_t{i});
    const auto seg = im.Cell(segOffset);
    if (seg.empty() || (visited && !visited->First(segOffset))) {
      im.Note("segment " + std::to_string(i) + " of the value at " + Hex(offset) + " (" + Hex(segOffset) +
              (seg.empty() ? ") is not a cell of the hive bins" : ") belongs to more than one value"));
      break;
    }
    const std::size_t take = std::min<std::size_t>({seg.size(), kBigDataSegment, size - out.size()});
    out.insert(out.end(), seg.data(), seg.data() + take);
  }
  if (out.size() < size)
    im.Note("the value at " + Hex(offset) + " gives " + std::to_string(size) + " bytes of data, its segments hold " +
            std::to_string(out.size()));
  return out;
}

void ScanBins(Image& im) {
  im.cellStarts.assign(im.size / 8 / 64 + 1, 0);
  uint32_t off = 0;
  while (off < im.size) {
    if (im.size - off < 32 || std::memcmp(im.bins + off, "hbin", 4) != 0) {
      im.Note("the hive bins end at " + Hex(off) + " (no \"hbin\" there), before the " + std::to_string(im.size) +
              " bytes the base block gives");
      im.size = off;
      break;
    }
    const uint8_t* bin = im.bins + off;
    uint32_t binSize = Get32(bin + 8);
    if (binSize < 4096 || binSize % 4096 != 0) {
      im.Note("the hive bin at " + Hex(off) + " gives a size of " + std::to_string(binSize));
      binSize = 4096;
    }
    if (binSize > im.size - off) {
      im.Note("the hive bin at " + Hex(off) + " runs past the end of the hive");
      binSize = im.size - off;
    }
    if (Get32(bin + 4) != off) im.Note("the hive bin at " + Hex(off) + " gives its place as " + Hex(Get32(bin + 4)));
    const uint32_t end = off + binSize;
    uint32_t cell = off + 32;
    while (cell + 4 <= end) {
      const int32_t raw = static_cast<int32_t>(Get32(im.bins + cell));
      const int64_t length = raw < 0 ? -static_cast<int64_t>(raw) : raw;
      if (length < 8 || length % 8 != 0 || length > end - cell) {
        im.Note("the cell at " + Hex(cell) + " gives a size of " + std::to_string(raw) +
                ", which does not fit its hive bin");
        break;
      }
      const uint32_t slot = cell / 8;
      im.cellStarts[slot / 64] |= uint64_t{1} << (slot % 64);
      cell += static_cast<uint32_t>(length);
    }
    off = end;
  }
}

bool IsKeyCell(std::span<const uint8_t> cell) { return cell.size() >= kMinKey && cell[0] == 'n' && cell[1] == 'k'; }

void FindRoot(Image& im) {
  if (im.size == 0) {
    im.error = "the hive holds no hive bins";
    return;
  }
  if (IsKeyCell(im.Cell(im.header.rootCell))) {
    im.root = im.header.rootCell;
    return;
  }
  // The base block's pointer is damaged: the key marked as the hive's root.
  for (uint32_t slot = 0; slot < im.size / 8; ++slot) {
    if (!(im.cellStarts[slot / 64] >> (slot % 64) & 1)) continue;
    const auto cell = im.Cell(slot * 8);
    if (IsKeyCell(cell) && (Get16(cell.data() + 2) & kKeyHiveEntry)) {
      im.Note("the base block names " + Hex(im.header.rootCell) + " as the root key, which is no key; the key at " +
              Hex(slot * 8) + " is marked as the root and taken");
      im.root = slot * 8;
      return;
    }
  }
  im.error = "the root key (at " + Hex(im.header.rootCell) + ") is not a key, and no key is marked as the root";
}

}  // namespace
}  // namespace detail

using detail::Get16;
using detail::Get32;
using detail::Get64;
using detail::Hex;

// ---- names

char16_t UpcaseUnit(char16_t c) {
  if (c < 0x61) return c;
  if (c <= 0x7A) return static_cast<char16_t>(c - 0x20);
  if (c < 0xE0) return c == 0xB5 ? 0x39C : c;
  if (c <= 0xFE) return c == 0xF7 ? c : static_cast<char16_t>(c - 0x20);
  if (c == 0xFF) return 0x178;
  // Latin Extended-A: pairs of upper and lower case.
  if (c >= 0x100 && c <= 0x137) return static_cast<char16_t>(c & ~1u);
  if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c & 1) ? c : static_cast<char16_t>(c - 1);
  if (c >= 0x14A && c <= 0x177) return static_cast<char16_t>(c & ~1u);
  if (c == 0x180) return 0x243;
  // Greek.
  if (c >= 0x3B1 && c <= 0x3CB) return c == 0x3C2 ? 0x3A3 : static_cast<char16_t>(c - 0x20);
  if (c == 0x3AC) return 0x386;
  if (c >= 0x3AD && c <= 0x3AF) return static_cast<char16_t>(c - 0x25);
  if (c == 0x3CC) return 0x38C;
  if (c == 0x3CD || c == 0x3CE) return static_cast<char16_t>(c - 0x3F);
  // Cyrillic.
  if (c >= 0x430 && c <= 0x44F) return static_cast<char16_t>(c - 0x20);
  if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 0x50);
  if ((c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF) || (c >= 0x4D0 && c <= 0x52F))
    return static_cast<char16_t>(c & ~1u);
  if (c >= 0x4C1 && c <= 0x4CE) return (c & 1) ? c : static_cast<char16_t>(c - 1);
  if (c == 0x4CF) return 0x4C0;
  // Armenian.
  if (c >= 0x561 && c <= 0x586) return static_cast<char16_t>(c - 0x30);
  // Latin Extended Additional.
  if ((c >= 0x1E00 && c <= 0x1E95) || (c >= 0x1EA0 && c <= 0x1EFF)) return static_cast<char16_t>(c & ~1u);
  // Roman numerals, circled letters, full-width letters.
  if (c >= 0x2170 && c <= 0x217F) return static_cast<char16_t>(c - 0x10);
  if (c >= 0x24D0 && c <= 0x24E9) return static_cast<char16_t>(c - 0x1A);
  if (c >= 0xFF41 && c <= 0xFF5A) return static_cast<char16_t>(c - 0x20);
  return c;
}

bool NamesEqual(std::string_view a, std::string_view b) {
  const std::u16string x = detail::UpperUnits(a);
  const std::u16string y = detail::UpperUnits(b);
  return x == y;
}

std::string TypeName(uint32_t type) {
  static const char* const kNames[] = {"REG_NONE",
                                       "REG_SZ",
                                       "REG_EXPAND_SZ",
                                       "REG_BINARY",
                                       "REG_DWORD",
                                       "REG_DWORD_BIG_ENDIAN",
                                       "REG_LINK",
                                       "REG_MULTI_SZ",
                                       "REG_RESOURCE_LIST",
                                       "REG_FULL_RESOURCE_DESCRIPTOR",
                                       "REG_RESOURCE_REQUIREMENTS_LIST",
                                       "REG_QWORD"};
  if (type < std::size(kNames)) return kNames[type];
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", type);
  return buf;
}

// ---- values

namespace {

std::u16string Utf16Data(const std::vector<uint8_t>& data) {
  std::u16string s(data.size() / 2, u'\0');
  for (std::size_t i = 0; i < s.size(); ++i) s[i] = Get16(data.data() + 2 * i);
  return s;
}

// Each non-empty string of multi-string data, in order; to the first empty
// one (as programs read the list) or, with toFirstEmpty false, to the end.
template <class Fn>
void ForEachString(const std::u16string& all, bool toFirstEmpty, Fn&& fn) {
  std::size_t start = 0;
  while (start < all.size()) {
    std::size_t end = all.find(u'\0', start);
    if (end == std::u16string::npos) end = all.size();
    if (end == start && toFirstEmpty) break;
    if (end > start) fn(Utf8FromUtf16(std::u16string_view(all).substr(start, end - start)));
    start = end + 1;
  }
}

std::optional<std::string> StringOf(uint32_t type, const std::vector<uint8_t>& data) {
  if (type == kRegSz || type == kRegExpandSz) {
    std::u16string s = Utf16Data(data);
    if (const auto nul = s.find(u'\0'); nul != std::u16string::npos) s.resize(nul);
    return Utf8FromUtf16(s);
  }
  if (type != kRegMultiSz) return std::nullopt;
  std::string out;
  ForEachString(Utf16Data(data), true, [&](const std::string& part) {
    if (!out.empty()) out += ' ';
    out += part;
  });
  return out;
}

}  // namespace

std::string ValueText(uint32_t type, const std::vector<uint8_t>& data) {
  if (auto s = StringOf(type, data)) return *s;
  if (type == kRegDword && data.size() == 4) return std::to_string(Get32(data.data()));
  if (type == kRegQword && data.size() == 8) return std::to_string(Get64(data.data()));
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(data.size() * 3);
  for (std::size_t i = 0; i < data.size(); ++i) {
    if (i) out += ' ';
    out += kDigits[data[i] >> 4];
    out += kDigits[data[i] & 15];
  }
  return out;
}

std::string Value::Name() const {
  const auto vk = image_->Record(cell_, "vk", detail::kMinValue, "value");
  return vk.empty() ? std::string() : detail::NameText(detail::ValueName(*image_, vk, cell_));
}

uint32_t Value::Type() const {
  const auto vk = image_->Record(cell_, "vk", detail::kMinValue, "value");
  return vk.empty() ? kRegNone : Get32(vk.data() + 12);
}

uint32_t Value::DataSize() const {
  const auto vk = image_->Record(cell_, "vk", detail::kMinValue, "value");
  return vk.empty() ? 0 : Get32(vk.data() + 4) & 0x7FFFFFFF;
}

std::vector<uint8_t> Value::Data() const {
  const auto vk = image_->Record(cell_, "vk", detail::kMinValue, "value");
  return vk.empty() ? std::vector<uint8_t>{} : detail::ReadData(*image_, cell_, vk, nullptr);
}

std::optional<std::string> Value::String() const { return StringOf(Type(), Data()); }

std::vector<std::string> Value::MultiString() const {
  std::vector<std::string> parts;
  if (Type() == kRegMultiSz)
    ForEachString(Utf16Data(Data()), false, [&](std::string part) { parts.push_back(std::move(part)); });
  return parts;
}

std::optional<uint32_t> Value::Dword() const {
  const uint32_t type = Type();
  if (type != kRegDword && type != kRegBinary && type != kRegDwordBigEndian) return std::nullopt;
  const auto data = Data();
  if (data.size() != 4) return std::nullopt;
  const uint32_t v = Get32(data.data());
  if (type != kRegDwordBigEndian) return v;
  return (v >> 24) | (v >> 8 & 0xFF00) | (v << 8 & 0xFF0000) | (v << 24);
}

std::optional<uint64_t> Value::Qword() const {
  const uint32_t type = Type();
  if (type != kRegQword && type != kRegBinary) return std::nullopt;
  const auto data = Data();
  if (data.size() != 8) return std::nullopt;
  return Get64(data.data());
}

std::string Value::Text() const { return ValueText(Type(), Data()); }

// ---- keys

std::string Key::Name() const {
  const auto nk = image_->Record(cell_, "nk", detail::kMinKey, "key");
  return nk.empty() ? std::string() : detail::NameText(detail::KeyName(*image_, nk, cell_));
}

uint64_t Key::LastWriteTime() const {
  const auto nk = image_->Record(cell_, "nk", detail::kMinKey, "key");
  return nk.empty() ? 0 : Get64(nk.data() + 4);
}

uint16_t Key::Flags() const {
  const auto nk = image_->Record(cell_, "nk", detail::kMinKey, "key");
  return nk.empty() ? 0 : Get16(nk.data() + 2);
}

uint32_t Key::SubkeyCount() const {
  const auto nk = image_->Record(cell_, "nk", detail::kMinKey, "key");
  return nk.empty() ? 0 : Get32(nk.data() + 20);
}

uint32_t Key::ValueCount() const {
  const auto nk = image_->Record(cell_, "nk", detail::kMinKey, "key");
  return nk.empty() || (Get16(nk.data() + 2) & 0x0040) ? 0 : Get32(nk.data() + 36);
}

std::string Key::ClassName() const {
  const auto nk = image_->Record(cell_, "nk", detail::kMinKey, "key");
  if (nk.empty()) return {};
  const uint32_t where = Get32(nk.data() + 48);
  std::size_t size = Get16(nk.data() + 74);
  if (where == detail::kNoCell || size == 0) return {};
  const auto cell = image_->Cell(where);
  if (cell.empty()) {
    image_->Note("the class name of the key at " + Hex(cell_) + " (" + Hex(where) + ") is not a cell of the hive bins");
    return {};
  }
  if (size > cell.size()) {
    image_->Note("the class name of the key at " + Hex(cell_) + " runs past its cell");
    size = cell.size();
  }
  std::u16string units(size / 2, u'\0');
  for (std::size_t i = 0; i < units.size(); ++i) units[i] = Get16(cell.data() + 2 * i);
  return Utf8FromUtf16(units);
}

std::vector<uint8_t> Key::SecurityDescriptor() const {
  const auto nk = image_->Record(cell_, "nk", detail::kMinKey, "key");
  if (nk.empty()) return {};
  const uint32_t where = Get32(nk.data() + 44);
  if (where == detail::kNoCell) return {};
  const auto sk = image_->Record(where, "sk", 20, "the security cell of a key");
  if (sk.empty()) return {};
  std::size_t size = Get32(sk.data() + 16);
  if (size > sk.size() - 20) {
    image_->Note("the security descriptor at " + Hex(where) + " runs past its cell");
    size = sk.size() - 20;
  }
  return {sk.data() + 20, sk.data() + 20 + size};
}

std::vector<Key> Key::Subkeys() const {
  std::vector<Key> out;
  const auto nk = image_->Record(cell_, "nk", detail::kMinKey, "key");
  if (nk.empty()) return out;
  const uint32_t count = Get32(nk.data() + 20);
  if (count == 0) return out;
  if (depth_ >= kMaxKeyDepth) {
    image_->Note("the key at " + Hex(cell_) + " lies " + std::to_string(depth_) +
                 " levels deep; its sub-keys are not read");
    return out;
  }
  for (const auto& leaf : detail::Leaves(*image_, cell_, Get32(nk.data() + 28), nullptr)) {
    for (uint32_t i = 0; i < leaf.count; ++i) {
      const uint32_t child = leaf.At(i);
      if (image_->Record(child, "nk", detail::kMinKey, "a sub-key").empty()) continue;
      out.push_back(Key(image_, child, depth_ + 1));
    }
  }
  if (out.size() != count)
    image_->Note("the key at " + Hex(cell_) + " gives " + std::to_string(count) + " sub-keys, its list holds " +
                 std::to_string(out.size()));
  return out;
}

std::optional<Key> Key::Subkey(std::string_view name) const {
  const auto nk = image_->Record(cell_, "nk", detail::kMinKey, "key");
  if (nk.empty() || Get32(nk.data() + 20) == 0 || depth_ >= kMaxKeyDepth) return std::nullopt;
  const auto leaves = detail::Leaves(*image_, cell_, Get32(nk.data() + 28), nullptr);
  const std::u16string wanted = detail::UpperUnits(name);
  // Compares the entry at a place of the leaves with the name; nothing when
  // the entry is no key.
  auto compare = [&](const detail::Leaf& leaf, uint32_t i) -> std::optional<int> {
    const uint32_t child = leaf.At(i);
    const auto cell = image_->Cell(child);
    if (!detail::IsKeyCell(cell)) return std::nullopt;
    return detail::CompareName(detail::KeyName(*image_, cell, child), wanted);
  };
  // The lists are sorted by upper-case name: a binary search first, over the
  // leaves as one sequence…
  std::vector<uint64_t> ends;
  uint64_t total = 0;
  for (const auto& leaf : leaves) ends.push_back(total += leaf.count);
  uint64_t lo = 0, hi = total;
  bool sound = true;
  while (lo < hi && sound) {
    const uint64_t mid = lo + (hi - lo) / 2;
    const std::size_t li = static_cast<std::size_t>(std::upper_bound(ends.begin(), ends.end(), mid) - ends.begin());
    const uint32_t i = static_cast<uint32_t>(mid - (li ? ends[li - 1] : 0));
    const auto c = compare(leaves[li], i);
    if (!c) {
      sound = false;
    } else if (*c == 0) {
      return Key(image_, leaves[li].At(i), depth_ + 1);
    } else if (*c < 0) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  // …then every entry, for a list out of order (or sorted by other case
  // rules than these).
  for (const auto& leaf : leaves)
    for (uint32_t i = 0; i < leaf.count; ++i)
      if (compare(leaf, i) == 0) return Key(image_, leaf.At(i), depth_ + 1);
  return std::nullopt;
}

std::optional<Key> Key::Find(std::string_view path) const {
  std::optional<Key> key = *this;
  std::size_t start = 0;
  while (key && start <= path.size()) {
    std::size_t end = path.find('\\', start);
    if (end == std::string_view::npos) end = path.size();
    if (end > start) key = key->Subkey(path.substr(start, end - start));
    start = end + 1;
  }
  return key;
}

std::vector<Value> Key::Values() const {
  std::vector<Value> out;
  const auto nk = image_->Record(cell_, "nk", detail::kMinKey, "key");
  if (nk.empty()) return out;
  for (const uint32_t offset : detail::ValueOffsets(*image_, cell_, nk, nullptr))
    if (!image_->Record(offset, "vk", detail::kMinValue, "a value").empty()) out.push_back(Value(image_, offset));
  return out;
}

std::optional<Value> Key::GetValue(std::string_view name) const {
  const auto nk = image_->Record(cell_, "nk", detail::kMinKey, "key");
  if (nk.empty()) return std::nullopt;
  const std::u16string wanted = detail::UpperUnits(name);
  for (const uint32_t offset : detail::ValueOffsets(*image_, cell_, nk, nullptr)) {
    const auto vk = image_->Record(offset, "vk", detail::kMinValue, "a value");
    if (!vk.empty() && detail::CompareName(detail::ValueName(*image_, vk, offset), wanted) == 0)
      return Value(image_, offset);
  }
  return std::nullopt;
}

// ---- the hive

Hive Hive::FromBytes(std::string primary, std::vector<LogFile> logs) {
  Hive hive;
  hive.image_ = std::make_shared<detail::Image>();
  detail::Image& im = *hive.image_;
  im.file = std::move(primary);
  if (im.file.size() < 512 || std::memcmp(im.file.data(), "regf", 4) != 0) {
    im.error = im.file.size() < 512 ? "the file is too short for a registry hive"
                                    : "the file is not a registry hive (no \"regf\" signature)";
    return hive;
  }
  const auto* bytes = reinterpret_cast<const uint8_t*>(im.file.data());
  im.header = detail::ParseBaseBlock(bytes);
  im.recovery.dirty = !im.header.checksumValid || im.header.primarySequence != im.header.secondarySequence;
  if (im.recovery.dirty) {
    if (logs.empty())
      im.recovery.note = "the hive is dirty and no transaction log was given";
    else
      detail::ApplyLogs(im.file, im.header, logs, im.recovery, im.problems);
  }
  if (!im.header.checksumValid && !im.recovery.baseBlockFromLog) im.Note("the base block's checksum is wrong");
  if (im.file.size() < detail::kBaseBlockSize) {
    im.error = "the file ends within its base block";
    return hive;
  }
  im.bins = reinterpret_cast<const uint8_t*>(im.file.data()) + detail::kBaseBlockSize;
  const uint64_t held = im.file.size() - detail::kBaseBlockSize;
  im.size = im.header.dataSize;
  if (im.size > held) {
    im.Note("the base block gives " + std::to_string(im.header.dataSize) + " bytes of hive bins, the file holds " +
            std::to_string(held));
    im.size = static_cast<uint32_t>(held);
  }
  detail::ScanBins(im);
  detail::FindRoot(im);
  return hive;
}

std::optional<Key> Hive::Root() const {
  if (!image_ || image_->root == detail::kNoCell) return std::nullopt;
  return Key(image_.get(), image_->root, 0);
}

const std::string& Hive::Error() const { return image_->error; }

std::optional<Key> Hive::Find(std::string_view path) const {
  const auto root = Root();
  return root ? root->Find(path) : std::nullopt;
}

const BaseBlock& Hive::Header() const { return image_->header; }
const Recovery& Hive::LogRecovery() const { return image_->recovery; }
const std::string& Hive::Bytes() const { return image_->file; }
std::vector<std::string> Hive::Problems() const { return image_->problems.Items(); }

void Walk(const Hive& hive, const std::function<bool(const Key& key, const std::string& path)>& onKey,
          const std::function<void(const Key& key, const std::string& path, const Value& value,
                                   const std::vector<uint8_t>& data)>& onValue) {
  const auto root = hive.Root();
  if (!root) return;
  const detail::Image& im = *detail::Image::Of(hive);
  detail::Visited visited(im.size);
  struct Pending {
    Key key;
    std::string path;
    std::size_t units;  // UTF-16 units of the path
  };
  std::vector<Pending> stack;
  stack.push_back({*root, std::string(), 0});
  while (!stack.empty()) {
    Pending item = std::move(stack.back());
    stack.pop_back();
    const Key& key = item.key;
    if (!visited.First(key.Offset())) {
      im.Note("the key at " + Hex(key.Offset()) + " is reached a second time (as " + item.path + "); not followed");
      continue;
    }
    const auto nk = im.Record(key.Offset(), "nk", detail::kMinKey, "key");
    if (nk.empty()) continue;
    const bool descend = onKey(key, item.path);
    if (onValue) {
      for (const uint32_t offset : detail::ValueOffsets(im, key.Offset(), nk, &visited)) {
        const auto vk = im.Record(offset, "vk", detail::kMinValue, "a value");
        if (vk.empty()) continue;
        if (!visited.First(offset)) {
          im.Note("the value at " + Hex(offset) + " belongs to more than one key");
          continue;
        }
        const Value value = im.ValueAt(offset);
        onValue(key, item.path, value, detail::ReadData(im, offset, vk, &visited));
      }
    }
    if (!descend || Get32(nk.data() + 20) == 0) continue;
    if (key.Depth() >= kMaxKeyDepth) {
      im.Note("the key " + item.path + " lies " + std::to_string(key.Depth()) +
              " levels deep; its sub-keys are not read");
      continue;
    }
    const std::size_t firstChild = stack.size();
    uint32_t listed = 0;
    for (const auto& leaf : detail::Leaves(im, key.Offset(), Get32(nk.data() + 28), &visited)) {
      for (uint32_t i = 0; i < leaf.count; ++i) {
        const uint32_t child = leaf.At(i);
        const auto cell = im.Record(child, "nk", detail::kMinKey, "a sub-key");
        if (cell.empty()) continue;
        ++listed;
        const detail::RawName name = detail::KeyName(im, cell, child);
        const std::size_t units = item.units + (item.path.empty() ? 0 : 1) + name.Units();
        std::string text = detail::NameText(name);
        std::string path = item.path.empty() ? text : item.path + "\\" + text;
        if (units > kMaxPathUnits) {
          im.Note("the path of the key at " + Hex(child) + " is longer than " + std::to_string(kMaxPathUnits) +
                  " characters; not followed");
          continue;
        }
        stack.push_back({im.KeyAt(child, key.Depth() + 1), std::move(path), units});
      }
    }
    if (listed != Get32(nk.data() + 20))
      im.Note("the key at " + Hex(key.Offset()) + " gives " + std::to_string(Get32(nk.data() + 20)) +
              " sub-keys, its list holds " + std::to_string(listed));
    std::reverse(stack.begin() + static_cast<std::ptrdiff_t>(firstChild), stack.end());
  }
}

std::string FileTimeText(uint64_t fileTime) {
  if (fileTime == 0) return {};
  const uint64_t seconds = fileTime / 10000000;
  // Days from 1601-01-01 to the date, then the civil date (proleptic Gregorian).
  const int64_t days = static_cast<int64_t>(seconds / 86400) - 134774;  // from 1970-01-01
  const uint32_t secs = static_cast<uint32_t>(seconds % 86400);
  const int64_t z = days + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t d = doy - (153 * mp + 2) / 5 + 1;
  const int64_t m = mp < 10 ? mp + 3 : mp - 9;
  const int64_t y = yoe + era * 400 + (m <= 2 ? 1 : 0);
  char buf[96];
  std::snprintf(buf, sizeof buf, "%04lld-%02lld-%02lldT%02u:%02u:%02uZ", static_cast<long long>(y),
                static_cast<long long>(m), static_cast<long long>(d), secs / 3600, secs / 60 % 60, secs % 60);
  return buf;
}

namespace {

std::optional<std::string> ReadFile(const std::string& path, std::string& error) {
  std::error_code ec;
  if (std::filesystem::is_directory(PathFromUtf8(path), ec)) {
    error = "cannot read " + path + ": it is a folder";
    return std::nullopt;
  }
  std::ifstream in(PathFromUtf8(path), std::ios::binary);
  if (!in) {
    error = "cannot open " + path;
    return std::nullopt;
  }
  in.seekg(0, std::ios::end);
  const std::streamoff end = in.tellg();
  in.seekg(0, std::ios::beg);
  if (end < 0 || !in) {
    error = "cannot read " + path;
    return std::nullopt;
  }
  const auto size = static_cast<uint64_t>(end);
  // A hive's bins are counted in 32 bits: nothing past that is read.
  const uint64_t limit = detail::kBaseBlockSize + uint64_t{0xFFFFFFFF};
  std::string bytes(static_cast<std::size_t>(std::min(size, limit)), '\0');
  if (!in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()))) {
    error = "cannot read " + path;
    return std::nullopt;
  }
  return bytes;
}

}  // namespace

std::optional<Hive> OpenHiveFile(const std::string& path, const OpenOptions& options, std::string& error) {
  auto primary = ReadFile(path, error);
  if (!primary) return std::nullopt;
  std::vector<LogFile> logs;
  if (options.applyLogs) {
    for (const char* suffix : {".LOG1", ".LOG2", ".LOG"}) {
      std::error_code ec;
      const std::string logPath = path + suffix;
      if (!std::filesystem::is_regular_file(PathFromUtf8(logPath), ec)) continue;
      std::string ignored;
      if (auto bytes = ReadFile(logPath, ignored)) {
        const std::size_t slash = logPath.find_last_of("\\/");
        logs.push_back({slash == std::string::npos ? logPath : logPath.substr(slash + 1), std::move(*bytes)});
      }
    }
  }
  return Hive::FromBytes(std::move(*primary), std::move(logs));
}

}  // namespace wl::hive
