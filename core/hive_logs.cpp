// Recovery of a dirty hive from its transaction logs, in the two formats
// Windows writes:
// - the dirty vector (Windows XP to 8): a copy of the base block, "DIRT"
//   and a bitmap with a bit per 512-byte page of the hive bins, then the
//   dirty pages in the order of their bits. The log written with the
//   hive's own timestamp is applied, whole.
// - log entries (Windows 8.1 and later): a copy of the base block, then
//   entries "HvLE", each with a sequence number, the hive's size, Marvin32
//   hashes of itself and a list of pages to write. Entries apply in
//   sequence from the first one not yet in the hive, through the log that
//   starts first and on into the other while the numbers continue; a
//   damaged entry, or a gap in the numbers, ends recovery there.
#include <algorithm>
#include <cstring>

#include "core/hive_image.h"

namespace wl::hive::detail {

uint64_t Marvin32(const uint8_t* data, std::size_t size, uint64_t seed) {
  uint32_t p0 = static_cast<uint32_t>(seed);
  uint32_t p1 = static_cast<uint32_t>(seed >> 32);
  auto rotl = [](uint32_t v, int n) { return (v << n) | (v >> (32 - n)); };
  auto mix = [&] {
    p1 ^= p0;
    p0 = rotl(p0, 20);
    p0 += p1;
    p1 = rotl(p1, 9);
    p1 ^= p0;
    p0 = rotl(p0, 27);
    p0 += p1;
    p1 = rotl(p1, 19);
  };
  while (size >= 4) {
    p0 += Get32(data);
    mix();
    data += 4;
    size -= 4;
  }
  switch (size) {
    case 0:
      p0 += 0x80u;
      break;
    case 1:
      p0 += 0x8000u | data[0];
      break;
    case 2:
      p0 += 0x800000u | Get16(data);
      break;
    default:
      p0 += 0x80000000u | static_cast<uint32_t>(data[2]) << 16 | Get16(data);
      break;
  }
  mix();
  mix();
  return static_cast<uint64_t>(p1) << 32 | p0;
}

namespace {

constexpr uint32_t kTypeOldLog = 1;
constexpr uint32_t kTypeOldLogAlternate = 2;
constexpr uint32_t kTypeNewLog = 6;

struct PageWrite {
  uint32_t offset;
  uint32_t size;
  const uint8_t* bytes;
};

struct Entry {
  uint32_t sequence = 0;
  uint32_t dataSize = 0;
  std::vector<PageWrite> pages;
};

struct ParsedLog {
  const LogFile* file = nullptr;
  bool newFormat = false;
  BaseBlock base;
  std::vector<Entry> entries;       // new format: the entries in sequence from the first
  const uint8_t* bitmap = nullptr;  // old format: the dirty vector's bits
  uint32_t pagesStart = 0;          // old format: where the dirty pages begin
};

const uint8_t* BytesOf(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

// A log's base block and what follows it, when the log can be used at all;
// otherwise nothing, with the reason in why.
std::optional<ParsedLog> ParseLog(const LogFile& log, uint64_t sizeLimit, const ProblemList& problems,
                                  std::string& why) {
  const uint8_t* b = BytesOf(log.bytes);
  const std::size_t size = log.bytes.size();
  if (size < 512 || std::memcmp(b, "regf", 4) != 0) {
    why = size == 0 ? "is empty" : "is no transaction log";
    return std::nullopt;
  }
  ParsedLog parsed;
  parsed.file = &log;
  parsed.base = ParseBaseBlock(b);
  const uint32_t type = Get32(b + 28);
  if (!parsed.base.checksumValid) {
    why = "has a damaged base block";
    return std::nullopt;
  }
  if (type != kTypeNewLog && type != kTypeOldLog && type != kTypeOldLogAlternate) {
    why = "is no transaction log (file type " + std::to_string(type) + ")";
    return std::nullopt;
  }
  if (parsed.base.primarySequence != parsed.base.secondarySequence) {
    why = "was not written whole";
    return std::nullopt;
  }
  if (type != kTypeNewLog) {
    const uint32_t cluster = Get32(b + 44);
    const uint32_t sector = cluster >= 1 && cluster <= 8 ? 512 * cluster : 512;
    const uint32_t bits = parsed.base.dataSize / 512;
    const uint64_t vectorEnd = uint64_t{sector} + 4 + (bits + 7) / 8;
    if (parsed.base.dataSize > sizeLimit || vectorEnd > size || std::memcmp(b + sector, "DIRT", 4) != 0) {
      why = parsed.base.dataSize > sizeLimit ? "gives a hive larger than the files hold"
                                             : "has no dirty vector (\"DIRT\")";
      return std::nullopt;
    }
    parsed.bitmap = b + sector + 4;
    parsed.pagesStart = static_cast<uint32_t>((vectorEnd + sector - 1) / sector * sector);
    return parsed;
  }
  parsed.newFormat = true;
  std::size_t off = 512;
  while (size - off >= 40 && std::memcmp(b + off, "HvLE", 4) == 0) {
    const uint8_t* e = b + off;
    const uint32_t entrySize = Get32(e + 4);
    const std::string where = log.name + ": the log entry at " + Hex(off);
    if (entrySize < 40 || entrySize % 512 != 0 || entrySize > size - off) {
      problems.Note(where + " gives a size of " + std::to_string(entrySize) + "; recovery stops before it");
      break;
    }
    Entry entry;
    entry.sequence = Get32(e + 12);
    entry.dataSize = Get32(e + 16);
    const uint32_t count = Get32(e + 20);
    if (!parsed.entries.empty() && entry.sequence != parsed.entries.back().sequence + 1)
      break;  // older entries, already applied, follow the newest ones
    if (Marvin32(e + 40, entrySize - 40) != Get64(e + 24) || Marvin32(e, 32) != Get64(e + 32)) {
      problems.Note(where + " has a wrong hash; recovery stops before it");
      break;
    }
    if (entry.dataSize % 4096 != 0 || entry.dataSize > sizeLimit || count > (entrySize - 40) / 8) {
      problems.Note(where + " is damaged (hive size " + std::to_string(entry.dataSize) + ", " + std::to_string(count) +
                    " pages); recovery stops before it");
      break;
    }
    std::size_t page = 40 + std::size_t{count} * 8;
    bool sound = true;
    for (uint32_t i = 0; i < count && sound; ++i) {
      const uint32_t pageOffset = Get32(e + 40 + 8 * std::size_t{i});
      const uint32_t pageSize = Get32(e + 44 + 8 * std::size_t{i});
      sound = pageSize <= entrySize - page && pageOffset <= entry.dataSize && pageSize <= entry.dataSize - pageOffset;
      if (sound) entry.pages.push_back({pageOffset, pageSize, e + page});
      page += pageSize;
    }
    if (!sound) {
      problems.Note(where + " writes a page outside the hive or past its own end; recovery stops before it");
      break;
    }
    parsed.entries.push_back(std::move(entry));
    off += entrySize;
  }
  if (parsed.entries.empty()) {
    why = "holds no log entries";
    return std::nullopt;
  }
  return parsed;
}

// The primary's base block replaced by a log's (its first sector), marked as
// a primary file's again.
void TakeBaseBlock(std::string& file, BaseBlock& header, const LogFile& log) {
  if (file.size() < kBaseBlockSize) file.resize(kBaseBlockSize, '\0');
  std::memcpy(file.data(), log.bytes.data(), 512);
  auto* b = reinterpret_cast<uint8_t*>(file.data());
  Put32(b + 28, 0);
  Put32(b + 508, BaseBlockChecksum(b));
  header = ParseBaseBlock(b);
}

void Resize(std::string& file, uint32_t dataSize) { file.resize(kBaseBlockSize + std::size_t{dataSize}, '\0'); }

void SetSequence(std::string& file, BaseBlock& header, uint32_t sequence, uint32_t dataSize) {
  auto* b = reinterpret_cast<uint8_t*>(file.data());
  header.primarySequence = header.secondarySequence = sequence;
  header.dataSize = dataSize;
  Put32(b + 4, sequence);
  Put32(b + 8, sequence);
  Put32(b + 40, dataSize);
  Put32(b + 508, BaseBlockChecksum(b));
  header.checksumValid = true;
}

void ApplyEntries(std::string& file, BaseBlock& header, std::vector<ParsedLog>& logs, Recovery& recovery,
                  const ProblemList& problems) {
  std::stable_sort(logs.begin(), logs.end(), [](const ParsedLog& a, const ParsedLog& b) {
    return a.entries.front().sequence < b.entries.front().sequence;
  });
  recovery.newFormat = true;
  if (!header.checksumValid) {
    TakeBaseBlock(file, header, *logs.front().file);
    recovery.baseBlockFromLog = true;
  }
  const uint32_t from = header.secondarySequence;
  bool started = false;
  uint32_t next = 0;
  uint32_t dataSize = header.dataSize;
  bool gap = false;
  for (const ParsedLog& log : logs) {
    if (gap) break;
    bool used = false;
    for (const Entry& entry : log.entries) {
      if (!started ? entry.sequence < from : entry.sequence < next) continue;  // in the hive already
      if (started && entry.sequence > next) {
        recovery.note = log.file->name + " continues at sequence " + std::to_string(entry.sequence) + ", not " +
                        std::to_string(next) + "; recovery stops there";
        problems.Note(recovery.note);
        gap = true;
        break;
      }
      Resize(file, entry.dataSize);
      for (const PageWrite& page : entry.pages)
        std::memcpy(file.data() + kBaseBlockSize + page.offset, page.bytes, page.size);
      if (!started) recovery.firstSequence = entry.sequence;
      recovery.lastSequence = entry.sequence;
      recovery.pages += entry.pages.size();
      ++recovery.entries;
      dataSize = entry.dataSize;
      next = entry.sequence + 1;
      started = used = true;
    }
    if (used) recovery.logsApplied.push_back(log.file->name);
  }
  if (!started) {
    recovery.note = "no log entry continues the hive (at sequence " + std::to_string(from) + ")";
    return;
  }
  SetSequence(file, header, next, dataSize);
}

void ApplyDirtyVector(std::string& file, BaseBlock& header, std::vector<ParsedLog>& logs, Recovery& recovery,
                      const ProblemList& problems) {
  // Only a log written with the hive's own timestamp belongs to it; of two,
  // the later one.
  uint64_t stamp = header.lastWritten;
  if (!header.checksumValid)
    stamp = file.size() >= kBaseBlockSize + 32 && std::memcmp(file.data() + kBaseBlockSize, "hbin", 4) == 0
                ? Get64(BytesOf(file) + kBaseBlockSize + 20)
                : 0;
  const ParsedLog* chosen = nullptr;
  for (const ParsedLog& log : logs)
    if (log.base.lastWritten == stamp && (!chosen || log.base.secondarySequence > chosen->base.secondarySequence))
      chosen = &log;
  if (!chosen) {
    recovery.note = "no transaction log was written with the hive's timestamp";
    return;
  }
  const LogFile& log = *chosen->file;
  TakeBaseBlock(file, header, log);
  recovery.baseBlockFromLog = !header.checksumValid;
  header.checksumValid = true;
  Resize(file, header.dataSize);
  const uint32_t bits = header.dataSize / 512;
  std::size_t source = chosen->pagesStart;
  for (uint32_t i = 0; i < bits; ++i) {
    if (!(chosen->bitmap[i / 8] >> (i % 8) & 1)) continue;
    if (source > log.bytes.size() || log.bytes.size() - source < 512) {
      recovery.note = log.name + " ends within its dirty pages; recovery stops there";
      problems.Note(recovery.note);
      break;
    }
    std::memcpy(file.data() + kBaseBlockSize + std::size_t{i} * 512, log.bytes.data() + source, 512);
    source += 512;
    ++recovery.pages;
  }
  recovery.logsApplied.push_back(log.name);
  recovery.firstSequence = recovery.lastSequence = chosen->base.secondarySequence;
  SetSequence(file, header, header.secondarySequence, header.dataSize);
}

}  // namespace

void ApplyLogs(std::string& file, BaseBlock& header, const std::vector<LogFile>& logs, Recovery& recovery,
               const ProblemList& problems) {
  // A hive grows only by pages the logs carry: no log may make it larger
  // than the primary and every log together.
  uint64_t limit = file.size() > kBaseBlockSize ? file.size() - kBaseBlockSize : 0;
  for (const LogFile& log : logs) limit += log.bytes.size();
  limit = std::min<uint64_t>((limit + 4095) / 4096 * 4096, 0xFFFFF000u);

  std::vector<ParsedLog> entryLogs, vectorLogs;
  std::string reasons;
  for (const LogFile& log : logs) {
    std::string why;
    auto parsed = ParseLog(log, limit, problems, why);
    if (!parsed) {
      reasons += (reasons.empty() ? "" : "; ") + log.name + " " + why;
      continue;
    }
    (parsed->newFormat ? entryLogs : vectorLogs).push_back(std::move(*parsed));
  }
  if (!entryLogs.empty())
    ApplyEntries(file, header, entryLogs, recovery, problems);
  else if (!vectorLogs.empty())
    ApplyDirtyVector(file, header, vectorLogs, recovery, problems);
  else
    recovery.note = "no transaction log can be applied (" + reasons + ")";
}

}  // namespace wl::hive::detail
