// The inside of the hive reader (core/hive.h): the bytes of a hive with the
// map of its cells, the base block, and the recovery from transaction logs.
// For the reader's own files and its tests.
#pragma once

#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <unordered_set>
#include <vector>

#include "core/hive.h"

namespace wl::hive::detail {

inline constexpr uint32_t kBaseBlockSize = 4096;
inline constexpr uint32_t kNoCell = 0xFFFFFFFF;
inline constexpr uint32_t kBigDataSegment = 16344;  // bytes of data in each segment of a "db" cell
inline constexpr uint64_t kLogHashSeed = 0x82EF4D887A4E55C5ull;

inline uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t Get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}
inline uint64_t Get64(const uint8_t* p) { return Get32(p) | static_cast<uint64_t>(Get32(p + 4)) << 32; }
inline void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// Marvin32 of data with a 64-bit seed: the hash of the log entries.
uint64_t Marvin32(const uint8_t* data, std::size_t size, uint64_t seed = kLogHashSeed);

// The checksum of a base block: the XOR of its first 127 32-bit words, with
// Windows' rule (0 becomes 1, 0xFFFFFFFF becomes 0xFFFFFFFE).
uint32_t BaseBlockChecksum(const uint8_t* block);

// The fields of a base block (at least 512 bytes).
BaseBlock ParseBaseBlock(const uint8_t* block);

// Offsets in "where" texts: "0x1A2B0" from the start of the hive bins.
std::string Hex(uint64_t value);

// Collects the problems met while reading, each once, at most kMaxProblems.
class ProblemList {
 public:
  static constexpr std::size_t kMaxProblems = 200;
  void Note(std::string text) const;
  std::vector<std::string> Items() const;

 private:
  mutable std::mutex mutex_;
  mutable std::vector<std::string> items_;
  mutable std::unordered_set<std::string> seen_;
  mutable std::size_t more_ = 0;
};

// Applies the logs to a dirty hive (file: the primary file's bytes, its base
// block already parsed into header). Changes file and header; says what was
// done in recovery; damage in the logs goes to problems.
void ApplyLogs(std::string& file, BaseBlock& header, const std::vector<LogFile>& logs, Recovery& recovery,
               const ProblemList& problems);

struct Image {
  std::string file;               // the whole primary file, logs applied
  const uint8_t* bins = nullptr;  // the hive bins data (file + 4096)
  uint32_t size = 0;              // its bytes, within the file
  BaseBlock header;
  Recovery recovery;
  std::string error;  // why there is no root
  uint32_t root = kNoCell;
  std::vector<uint64_t> cellStarts;  // one bit per 8 bytes: a cell starts there
  ProblemList problems;

  // The data of the cell at offset (after its size field), or an empty span
  // when no cell starts there.
  std::span<const uint8_t> Cell(uint32_t offset) const;
  // The same for a cell that must carry a two-letter signature (and at least
  // minSize bytes); notes what is wrong, naming what was looked for.
  std::span<const uint8_t> Record(uint32_t offset, const char* signature, std::size_t minSize, const char* what) const;
  void Note(std::string text) const { problems.Note(std::move(text)); }

  static const Image* Of(const Hive& hive) { return hive.image_.get(); }
  Key KeyAt(uint32_t cell, std::size_t depth) const { return Key(this, cell, depth); }
  Value ValueAt(uint32_t cell) const { return Value(this, cell); }
};

}  // namespace wl::hive::detail
