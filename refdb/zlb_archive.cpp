#include "refdb/zlb_archive.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <istream>
#include <streambuf>

#include "core/ascii.h"
#include "core/utf8_path.h"

namespace wl {
namespace {

constexpr std::size_t kCrcBlock = 10240;
constexpr std::size_t kReadBlock = 4096;
constexpr std::size_t kInflateInput = 65536;
// Deflate cannot expand data by more than about 1032:1; a recorded size beyond
// that for the compressed bytes available is a damaged record.
constexpr uint64_t kMaxDeflateRatio = 1032;

uint32_t GetU32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
void PutU32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
  p[3] = uint8_t(v >> 24);
}

std::string ShortString(const uint8_t* p) { return std::string(reinterpret_cast<const char*>(p + 1), p[0]); }
void PutShortString(uint8_t* p, const std::string& s) {
  const std::size_t n = std::min<std::size_t>(s.size(), 255);
  p[0] = uint8_t(n);
  std::memcpy(p + 1, s.data(), n);
}

std::string Format(const char* pattern, const std::string& arg) {
  std::string out = pattern;
  const auto pos = out.find("%s");
  if (pos != std::string::npos) out.replace(pos, 2, arg);
  return out;
}
std::string Format(const char* pattern, int arg) {
  std::string out = pattern;
  const auto pos = out.find("%d");
  if (pos != std::string::npos) out.replace(pos, 2, std::to_string(arg));
  return out;
}

// A read-only, seekable stream buffer over bytes in memory.
class MemoryBuffer : public std::streambuf {
 public:
  explicit MemoryBuffer(const std::string& bytes) {
    char* begin = const_cast<char*>(bytes.data());
    setg(begin, begin, begin + bytes.size());
  }

 protected:
  pos_type seekoff(off_type off, std::ios_base::seekdir dir, std::ios_base::openmode which) override {
    if (!(which & std::ios_base::in)) return pos_type(off_type(-1));
    const off_type base = dir == std::ios_base::beg ? 0 : dir == std::ios_base::cur ? gptr() - eback() : egptr() - eback();
    const off_type target = base + off;
    if (target < 0 || target > egptr() - eback()) return pos_type(off_type(-1));
    setg(eback(), eback() + target, egptr());
    return pos_type(target);
  }
  pos_type seekpos(pos_type pos, std::ios_base::openmode which) override {
    return seekoff(off_type(pos), std::ios_base::beg, which);
  }
};

// An input stream that owns its memory buffer and shares the bytes.
class MemoryStream : public std::istream {
 public:
  explicit MemoryStream(std::shared_ptr<const std::string> bytes)
      : std::istream(nullptr), bytes_(std::move(bytes)), buffer_(*bytes_) {
    rdbuf(&buffer_);
  }

 private:
  std::shared_ptr<const std::string> bytes_;
  MemoryBuffer buffer_;
};

// Pulls inflated bytes out of a zlib stream that starts at the stream's
// current position, reading the input in chunks of 64 KiB.
class Inflater {
 public:
  // available: the bytes the stream can still give (sizes the input buffer).
  Inflater(std::istream& in, uint64_t available)
      : in_(in), input_(static_cast<std::size_t>(std::clamp<uint64_t>(available, 1, kInflateInput))) {
    std::memset(&z_, 0, sizeof z_);
    if (inflateInit(&z_) != Z_OK) throw std::runtime_error("inflateInit");
  }
  ~Inflater() { inflateEnd(&z_); }
  Inflater(const Inflater&) = delete;
  Inflater& operator=(const Inflater&) = delete;

  // Returns the number of bytes obtained: fewer than asked once the stream
  // (or the file) ends, or once the data turns out damaged (Damaged() then
  // says so; a damaged member is common enough in a hostile file that it is
  // not worth an exception).
  std::size_t Read(uint8_t* out, std::size_t count) {
    z_.next_out = out;
    z_.avail_out = static_cast<uInt>(count);
    while (z_.avail_out > 0 && !ended_ && !damaged_) {
      if (z_.avail_in == 0) {
        in_.read(reinterpret_cast<char*>(input_.data()), std::streamsize(input_.size()));
        const auto got = in_.gcount();
        if (got <= 0) break;  // input exhausted before the stream ended
        z_.next_in = input_.data();
        z_.avail_in = static_cast<uInt>(got);
      }
      const int rc = inflate(&z_, Z_NO_FLUSH);
      if (rc == Z_STREAM_END) {
        ended_ = true;
      } else if (rc != Z_OK && rc != Z_BUF_ERROR) {
        damaged_ = true;
      }
    }
    return count - z_.avail_out;
  }
  bool Damaged() const { return damaged_; }

 private:
  std::istream& in_;
  std::vector<uint8_t> input_;
  z_stream z_;
  bool ended_ = false;
  bool damaged_ = false;
};

}  // namespace

uint32_t Crc32(uint32_t crc, const void* data, std::size_t len) {
  const auto* p = static_cast<const Bytef*>(data);
  while (len > 0) {
    const uInt n = static_cast<uInt>(std::min<std::size_t>(len, 1u << 30));
    crc = static_cast<uint32_t>(crc32(crc, p, n));
    p += n;
    len -= n;
  }
  return crc;
}

ZLBEntry DecodeRecord(const uint8_t* rec) {
  ZLBEntry e;
  e.fileName = ShortString(rec);
  e.path = ShortString(rec + 256);
  e.uncompressedSize = GetU32(rec + 512);
  e.reserved1 = GetU32(rec + 516);
  e.dataOffset = GetU32(rec + 520);
  e.crc = GetU32(rec + 524);
  e.stored = rec[528] != 0;
  return e;
}

void EncodeRecord(const ZLBEntry& e, uint8_t* rec) {
  std::memset(rec, 0, kRecordSize);
  PutShortString(rec, e.fileName);
  PutShortString(rec + 256, e.path);
  PutU32(rec + 512, e.uncompressedSize);
  PutU32(rec + 516, e.reserved1);
  PutU32(rec + 520, e.dataOffset);
  PutU32(rec + 524, e.crc);
  rec[528] = e.stored ? 1 : 0;
}

ZLBFooter DecodeFooter(const uint8_t* f) {
  ZLBFooter footer;
  footer.archiveCrc = GetU32(f);
  footer.memberCount = static_cast<int32_t>(GetU32(f + 4));
  footer.registryOffset = GetU32(f + 16);
  footer.registryCompressed = f[20];
  return footer;
}

void EncodeFooter(const ZLBFooter& footer, uint8_t* f) {
  std::memset(f, 0, kFooterSize);
  PutU32(f, footer.archiveCrc);
  PutU32(f + 4, static_cast<uint32_t>(footer.memberCount));
  PutU32(f + 16, footer.registryOffset);
  f[20] = footer.registryCompressed;
}

TZLBArchive::TZLBArchive() = default;

TZLBArchive::~TZLBArchive() {
  destroying_ = true;
  Close();
}

void TZLBArchive::Progress(const std::string& msg, uint64_t done, uint64_t total) {
  if (!OnProgress || destroying_) return;
  const int pct = total == 0 ? 0 : static_cast<int>(std::lround(double(done) / double(total) * 100.0));
  OnProgress(msg, pct);
}

void TZLBArchive::IdleProgress() {
  if (OnProgress && !destroying_) OnProgress(fileName_, 0);
}

bool TZLBArchive::Open(const std::string& fileName) {
  Close();
  fileName_ = fileName;
  if (fileName_.empty()) return false;

  const auto path = PathFromUtf8(fileName);
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    fileName_.clear();
    throw ArchiveError("Archive file not found");
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    const std::string name = fileName_;
    fileName_.clear();
    throw ArchiveError(Format("Unable to open file (%s)", name));
  }
  return OpenStream(in);
}

bool TZLBArchive::OpenMemory(std::string bytes, const std::string& name) {
  Close();
  memory_ = std::make_shared<const std::string>(std::move(bytes));
  fileName_ = name.empty() ? "(memory)" : name;
  MemoryStream in(memory_);
  try {
    return OpenStream(in);
  } catch (...) {
    memory_.reset();
    throw;
  }
}

std::unique_ptr<std::istream> TZLBArchive::Reopen() const {
  if (memory_) return std::make_unique<MemoryStream>(memory_);
  auto in = std::make_unique<std::ifstream>(PathFromUtf8(fileName_), std::ios::binary);
  if (!*in) throw ArchiveError(Format("Unable to open file (%s)", fileName_));
  return in;
}

bool TZLBArchive::OpenStream(std::istream& in) {
  in.seekg(0, std::ios::end);
  const auto endPos = in.tellg();
  const uint64_t size = endPos < 0 ? 0 : static_cast<uint64_t>(endPos);
  in.seekg(0);

  auto corrupted = [this]() {
    fileName_.clear();
    footer_ = ZLBFooter{};
    return ArchiveError("The archive file appears to be corrupted");
  };
  // A file too short to hold a footer cannot be an archive.
  if (size < kFooterSize) throw corrupted();

  const uint64_t body = size - kFooterSize;
  uint32_t crc = 0;
  std::vector<char> block(static_cast<std::size_t>(std::clamp<uint64_t>(body, 1, kCrcBlock)));
  for (uint64_t left = body; left > 0;) {
    const std::size_t n = static_cast<std::size_t>(std::min<uint64_t>(left, kCrcBlock));
    if (!in.read(block.data(), std::streamsize(n))) throw corrupted();
    crc = Crc32(crc, block.data(), n);
    left -= n;
  }
  uint8_t foot[kFooterSize];
  if (!in.read(reinterpret_cast<char*>(foot), kFooterSize)) throw corrupted();
  footer_ = DecodeFooter(foot);
  if (crc != footer_.archiveCrc) throw corrupted();
  fileSize_ = size;

  try {
    const int count = std::max(footer_.memberCount, 0);
    const uint64_t regBytes = uint64_t(count) * kRecordSize;
    // The registry lies before the footer; check it fits before reading it.
    if (count > 0 && footer_.registryOffset >= body) throw ArchiveError("registry");
    const uint64_t available = body - std::min<uint64_t>(footer_.registryOffset, body);
    std::vector<uint8_t> reg;
    if (count > 0) {
      in.clear();
      in.seekg(std::streamoff(footer_.registryOffset));
      if (footer_.registryCompressed) {
        if (regBytes > available * kMaxDeflateRatio + 64) throw ArchiveError("registry");
        const std::string msg = "Extracting archive registry";
        Inflater inflater(in, available);
        reg.reserve(static_cast<std::size_t>(regBytes));
        uint8_t buf[kReadBlock];
        for (uint64_t asked = 0; asked < regBytes;) {
          const std::size_t want = static_cast<std::size_t>(std::min<uint64_t>(kReadBlock, regBytes - asked));
          const std::size_t got = inflater.Read(buf, want);
          if (inflater.Damaged()) throw ArchiveError("registry");
          reg.insert(reg.end(), buf, buf + got);
          asked += want;
          Progress(msg, reg.size(), regBytes);
          if (got < want) break;  // too short: refused below
        }
        if (reg.size() != regBytes) throw ArchiveError("registry");
      } else {
        if (regBytes > available) throw ArchiveError("registry");
        reg.resize(static_cast<std::size_t>(regBytes));
        if (!in.read(reinterpret_cast<char*>(reg.data()), std::streamsize(regBytes))) throw ArchiveError("registry");
      }
    }
    for (int i = 0; i < count; ++i) entries_.push_back(DecodeRecord(reg.data() + std::size_t(i) * kRecordSize));
    if (OnArchiveOpened) OnArchiveOpened(*this);
  } catch (...) {
    Close();
    throw ArchiveError("Unable to read archive file list");
  }
  IdleProgress();
  return true;
}

void TZLBArchive::Close() {
  entries_.clear();
  memory_.reset();
  footer_ = ZLBFooter{};
  fileName_.clear();
  fileSize_ = 0;
  IdleProgress();
}

int TZLBArchive::Count() const {
  if (fileName_.empty()) throw ArchiveError("No archive is currently open");
  return static_cast<int>(entries_.size());
}

ZLBEntry TZLBArchive::Entry(int index) const {
  if (index < 0 || static_cast<std::size_t>(index) >= entries_.size()) throw ArchiveError("Index out of bounds");
  return entries_[static_cast<std::size_t>(index)];
}

bool TZLBArchive::Extract(int index, std::string& target) {
  const ZLBEntry entry = Entry(index);
  const std::unique_ptr<std::istream> stream = Reopen();
  std::istream& in = *stream;
  in.seekg(0, std::ios::end);
  const auto endPos = in.tellg();
  const uint64_t size = endPos < 0 ? 0 : static_cast<uint64_t>(endPos);
  const uint64_t body = size >= kFooterSize ? size - kFooterSize : 0;
  const auto corrupt = [index]() { return ArchiveError(Format("File (%d) is corrupt", index)); };

  // Member data lies before the footer. Check the record against the file
  // before reading, so a damaged record cannot make us read past it or
  // reserve more than its bytes could hold.
  if (entry.dataOffset > body) throw corrupt();
  const uint64_t available = body - entry.dataOffset;
  uint64_t remaining = entry.uncompressedSize;
  if (entry.stored) {
    remaining = std::min<uint64_t>(remaining, available);
  } else if (remaining > available * kMaxDeflateRatio + 64) {
    throw corrupt();
  }
  in.clear();
  in.seekg(std::streamoff(entry.dataOffset));

  const std::string msg = OnProgress ? "Extracting " + entry.fileName : std::string();
  const uint64_t total = entry.uncompressedSize;
  uint64_t done = 0;
  const std::size_t start = target.size();
  Progress(msg, 0, total);
  bool damaged = false;
  try {
    std::unique_ptr<Inflater> inflater;
    if (!entry.stored && remaining > 0) inflater = std::make_unique<Inflater>(in, available);
    uint8_t buf[kReadBlock];
    while (remaining > 0) {
      const std::size_t want = static_cast<std::size_t>(std::min<uint64_t>(kReadBlock, remaining));
      std::size_t got = 0;
      if (inflater) {
        got = inflater->Read(buf, want);
        damaged = inflater->Damaged();
        if (damaged) break;
      } else {
        in.read(reinterpret_cast<char*>(buf), std::streamsize(want));
        got = static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0));
      }
      target.append(reinterpret_cast<const char*>(buf), got);
      done += got;
      Progress(msg, done, total);
      remaining -= want;
      if (got < want) break;  // the data ends before its recorded size; the CRC check tells
    }
  } catch (const std::exception&) {
    damaged = true;
  }
  if (damaged) throw corrupt();
  if (CheckCRC) {
    const uint32_t crc = Crc32(0, target.data() + start, target.size() - start);
    if (crc != entry.crc) throw ArchiveError(Format("File (%d) failed CRC check", index));
  }
  return true;
}

void TZLBArchive::ExtractByName(std::string& target, const std::string& name) {
  if (fileName_.empty()) throw ArchiveError("No archive is currently open");
  const std::string wanted = AsciiLower(name);
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    if (AsciiLower(entries_[i].FullName()) != wanted) continue;
    if (Extract(static_cast<int>(i), target) && OnStreamExtracted) OnStreamExtracted(entries_[i].FullName());
    IdleProgress();
    return;
  }
  throw ArchiveError("File not found in archive");
}

}  // namespace wl
