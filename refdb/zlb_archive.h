// Reader of the reference archive (Ref.dbd): member data blocks, a member table
// (the archive registry) and a 36-byte footer carrying the archive CRC.
// Portable: reads the file (or bytes already in memory) with the standard
// library only.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace wl {

// Raised by the archive reader; what() is the message the user sees.
class ArchiveError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline constexpr std::size_t kFooterSize = 36;
inline constexpr std::size_t kRecordSize = 532;

// One member record as stored in the registry.
struct ZLBEntry {
  std::string fileName;      // up to 255 bytes
  std::string path;          // up to 255 bytes, may be empty
  uint32_t uncompressedSize = 0;
  uint32_t reserved1 = 0;    // not read by the reader, kept for the writer
  uint32_t dataOffset = 0;
  uint32_t crc = 0;
  bool stored = false;       // true: data stored as is; false: one zlib stream
  std::string FullName() const { return path + fileName; }
};

// The 36-byte footer.
struct ZLBFooter {
  uint32_t archiveCrc = 0;
  int32_t memberCount = 0;
  uint32_t registryOffset = 0;
  uint8_t registryCompressed = 0;
};

enum class TFileCompressionLevel { fcNone, fcFastest, fcDefault, fcMaximum };

using TReplaceFileEvent = std::function<void(const std::string& filename, bool& replace)>;
using TFileExtractedEvent = std::function<void(const std::string& filename)>;
using TArchiveOpenedEvent = std::function<void(class TZLBArchive& sender)>;
using TStreamExtractedEvent = std::function<void(const std::string& fullName)>;
using TErrorLogEvent = std::function<void(const std::string& msg)>;
using TProgressEvent = std::function<void(const std::string& msg, int percentage)>;

// Record and footer (de)serialisation, shared with the archive writer.
ZLBEntry DecodeRecord(const uint8_t* rec);
void EncodeRecord(const ZLBEntry& entry, uint8_t* rec);
ZLBFooter DecodeFooter(const uint8_t* foot);
void EncodeFooter(const ZLBFooter& footer, uint8_t* foot);
uint32_t Crc32(uint32_t crc, const void* data, std::size_t len);

class TZLBArchive {
 public:
  TZLBArchive();
  ~TZLBArchive();
  TZLBArchive(const TZLBArchive&) = delete;
  TZLBArchive& operator=(const TZLBArchive&) = delete;

  // Properties. Only CheckCRC changes what the reader does.
  TFileCompressionLevel CompressionLevel = TFileCompressionLevel::fcDefault;
  bool ExtractWithPath = false;
  bool CheckCRC = false;
  bool SavePaths = false;
  bool RecursePaths = false;

  // Events (all optional).
  TReplaceFileEvent OnReplaceFile;
  TFileExtractedEvent OnFileExtracted;
  TArchiveOpenedEvent OnArchiveOpened;
  TStreamExtractedEvent OnStreamExtracted;
  TErrorLogEvent OnErrorLogged;
  TProgressEvent OnProgress;

  // fileName is UTF-8. Returns false for an empty name; raises ArchiveError.
  bool Open(const std::string& fileName);
  // Opens archive bytes held in memory (the archive keeps its own copy);
  // name stands for the file name in FileName() and in messages.
  bool OpenMemory(std::string bytes, const std::string& name = "(memory)");
  void Close();
  int Count() const;
  ZLBEntry Entry(int index) const;
  // Appends the member's bytes to target.
  bool Extract(int index, std::string& target);
  void ExtractByName(std::string& target, const std::string& name);

  const std::string& FileName() const { return fileName_; }
  const ZLBFooter& Footer() const { return footer_; }

 private:
  void Progress(const std::string& msg, uint64_t done, uint64_t total);
  void IdleProgress();
  bool OpenStream(std::istream& in);
  // A stream over the open archive: the file, or the bytes in memory.
  std::unique_ptr<std::istream> Reopen() const;

  std::string fileName_;
  std::shared_ptr<const std::string> memory_;  // set when opened from memory
  ZLBFooter footer_;
  std::vector<ZLBEntry> entries_;
  uint64_t fileSize_ = 0;
  bool destroying_ = false;
};

}  // namespace wl
