// A reader of registry hive files (the "regf" format Windows keeps its
// registry in: SYSTEM, SOFTWARE, NTUSER.DAT, UsrClass.dat …), portable, for
// reading a system that is not running or a user who is not logged on
// without loading anything into the live registry.
//
// A hive is read whole into memory. When its base block says it was not
// written whole (a dirty hive: the PC was shut down hard, or the file was
// copied while in use), the transaction logs beside it (FILE.LOG1,
// FILE.LOG2, FILE.LOG) are applied first, as Windows applies them when it
// loads the hive: the newest changes are often only in the logs.
//
// Damaged or hostile files give what can be read: every read is bounded by
// the file (offsets must name a cell found in the hive bins, counts by the
// size of their cell, list roots one level deep, keys 512 levels deep), and
// what was found broken is collected as text in Problems(). Nothing here
// throws on bad input, loops or recurses without bound.
//
// Use:
//   std::string error;
//   auto hive = hive::OpenHiveFile("D:\\Windows\\System32\\config\\SYSTEM", {}, error);
//   if (auto key = hive->Find("ControlSet001\\Services\\Tcpip")) {
//     for (const hive::Value& v : key->Values()) ... v.Name(), v.Type(), v.String(), v.Dword() …
//     key->LastWriteTime();  // FILETIME
//   }
// Keys and values are small handles into the hive: they stay valid while a
// Hive (any copy) that they came from lives. A Hive is immutable once made;
// its keys and values may be read from several threads.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wl::hive {

// Value types as the registry stores them.
inline constexpr uint32_t kRegNone = 0;
inline constexpr uint32_t kRegSz = 1;
inline constexpr uint32_t kRegExpandSz = 2;
inline constexpr uint32_t kRegBinary = 3;
inline constexpr uint32_t kRegDword = 4;
inline constexpr uint32_t kRegDwordBigEndian = 5;
inline constexpr uint32_t kRegLink = 6;
inline constexpr uint32_t kRegMultiSz = 7;
inline constexpr uint32_t kRegResourceList = 8;
inline constexpr uint32_t kRegFullResourceDescriptor = 9;
inline constexpr uint32_t kRegResourceRequirementsList = 10;
inline constexpr uint32_t kRegQword = 11;

// "REG_SZ", "REG_DWORD" …; another number as "0x0000ABCD".
std::string TypeName(uint32_t type);

// Key flags (nk cells).
inline constexpr uint16_t kKeyHiveExit = 0x0002;      // mount point of another hive
inline constexpr uint16_t kKeyHiveEntry = 0x0004;     // the root key
inline constexpr uint16_t kKeySymbolicLink = 0x0010;  // target in the value "SymbolicLinkValue" (REG_LINK)

// Windows' limits, which the reader keeps too.
inline constexpr std::size_t kMaxKeyDepth = 512;
inline constexpr std::size_t kMaxPathUnits = 32767;  // UTF-16 units of a key's path below the root

namespace detail {
struct Image;
}

class Value {
 public:
  // "" for the key's default value.
  std::string Name() const;
  uint32_t Type() const;
  // The size the value gives for its data.
  uint32_t DataSize() const;
  // The raw bytes (from the value itself, one cell, or the segments of a big
  // data cell); shorter than DataSize() when the hive is damaged there (noted).
  std::vector<uint8_t> Data() const;
  // Where the value's cell lies, from the start of the hive bins.
  uint32_t Offset() const { return cell_; }

  // The value read as programs read it, from its raw bytes:
  // REG_SZ, REG_EXPAND_SZ: the text to its first NUL (not expanded);
  // REG_MULTI_SZ: the strings to the first empty one, joined by blanks;
  // another type: nothing.
  std::optional<std::string> String() const;
  // Every non-empty string of a REG_MULTI_SZ (those behind an empty one too);
  // empty for another type.
  std::vector<std::string> MultiString() const;
  // REG_DWORD of 4 bytes (REG_DWORD_BIG_ENDIAN swapped), else nothing.
  std::optional<uint32_t> Dword() const;
  // REG_QWORD of 8 bytes, else nothing.
  std::optional<uint64_t> Qword() const;
  // The text the lists show for it: strings as String(), DWORD and QWORD in
  // decimal, anything else as hex bytes separated by blanks ("01 0A FF").
  std::string Text() const;

 private:
  friend class Key;
  friend struct detail::Image;
  Value(const detail::Image* image, uint32_t cell) : image_(image), cell_(cell) {}
  const detail::Image* image_;
  uint32_t cell_;
};

class Key {
 public:
  std::string Name() const;
  // When the key (its values, its list of sub-keys) last changed: a FILETIME
  // (100 ns since 1601-01-01 UTC).
  uint64_t LastWriteTime() const;
  uint16_t Flags() const;
  bool IsSymbolicLink() const { return (Flags() & kKeySymbolicLink) != 0; }
  // The class name ("" when the key has none).
  std::string ClassName() const;
  // The key's security descriptor (self-relative SECURITY_DESCRIPTOR bytes);
  // empty when it cannot be read.
  std::vector<uint8_t> SecurityDescriptor() const;
  // The counts the key gives for itself.
  uint32_t SubkeyCount() const;
  uint32_t ValueCount() const;
  // Levels below the root (the root is 0).
  std::size_t Depth() const { return depth_; }
  uint32_t Offset() const { return cell_; }

  // The sub-keys in the order the hive lists them (sorted by upper-case
  // name). Entries that are no key are left out (noted). A key as deep as
  // kMaxKeyDepth gives none.
  std::vector<Key> Subkeys() const;
  // The sub-key of that name, compared without regard to case as Windows
  // compares key names.
  std::optional<Key> Subkey(std::string_view name) const;
  // A key below this one by a path of names separated by backslashes
  // ("Services\\Tcpip\\Parameters"; empty parts are skipped).
  std::optional<Key> Find(std::string_view path) const;

  std::vector<Value> Values() const;
  // The value of that name ("" = the default value), without regard to case.
  std::optional<Value> GetValue(std::string_view name) const;

 private:
  friend class Hive;
  friend struct detail::Image;
  Key(const detail::Image* image, uint32_t cell, std::size_t depth) : image_(image), cell_(cell), depth_(depth) {}
  const detail::Image* image_;
  uint32_t cell_;
  std::size_t depth_;
};

// The base block's fields that matter to readers.
struct BaseBlock {
  uint32_t primarySequence = 0;
  uint32_t secondarySequence = 0;
  uint64_t lastWritten = 0;  // FILETIME
  uint32_t majorVersion = 0;
  uint32_t minorVersion = 0;
  uint32_t rootCell = 0;
  uint32_t dataSize = 0;  // bytes of hive bins
  bool checksumValid = false;
  std::string fileName;  // as the writer recorded it (UTF-16 in the file)
};

// What the transaction logs did when the hive was opened.
struct Recovery {
  bool dirty = false;                    // the base block says the hive was not written whole
  bool baseBlockFromLog = false;         // its base block was damaged and taken from a log
  std::vector<std::string> logsApplied;  // the names of the logs, in the order applied
  bool newFormat = false;                // log entries (Windows 8.1 and later), else a dirty vector
  std::size_t entries = 0;               // log entries applied (new format)
  std::size_t pages = 0;                 // dirty pages written (each page reference of an entry,
                                         // or each 512-byte page of a dirty vector)
  uint32_t firstSequence = 0;            // sequence numbers of the entries applied
  uint32_t lastSequence = 0;
  // Why no log was applied to a dirty hive, or where recovery stopped early.
  std::string note;
};

// One transaction log given with a hive: its name (for messages) and bytes.
struct LogFile {
  std::string name;
  std::string bytes;
};

class Hive {
 public:
  // A hive from the bytes of its primary file and of its logs (any of
  // FILE.LOG1, FILE.LOG2, FILE.LOG; each is checked as Windows checks it and
  // applied only when the hive is dirty and the log continues it). Never
  // fails: a file that is no hive gives a hive without a root (Error()).
  static Hive FromBytes(std::string primary, std::vector<LogFile> logs = {});

  // The root key, when the hive has one that can be read.
  std::optional<Key> Root() const;
  // Why there is no root ("" when there is one).
  const std::string& Error() const;
  // A key by its path below the root ("ControlSet001\\Services"; "" is the
  // root), compared without regard to case.
  std::optional<Key> Find(std::string_view path) const;

  const BaseBlock& Header() const;
  const Recovery& LogRecovery() const;
  // The hive's file as read, logs applied: a clean hive file (its base
  // block says so), which can be saved and read again without the logs.
  const std::string& Bytes() const;
  // What was found damaged: while opening and in every read since, each
  // once, at most a few hundred (then a line saying how many more).
  std::vector<std::string> Problems() const;

 private:
  friend struct detail::Image;
  Hive() = default;
  std::shared_ptr<detail::Image> image_;
};

struct OpenOptions {
  bool applyLogs = true;
};

// Reads FILE (a UTF-8 path) and, unless told not to, FILE.LOG1, FILE.LOG2
// and FILE.LOG when they lie beside it. Nothing (with error set) when FILE
// cannot be read; a file that can be read but is no hive gives a hive whose
// Error() says so.
std::optional<Hive> OpenHiveFile(const std::string& path, const OpenOptions& options, std::string& error);

// Visits every key reachable from the root once, parents before their
// sub-keys (in the order of their lists), with its path below the root
// ("" for the root, else "Name\\Name…"). onKey returns false to skip the
// key's sub-keys. A key reached a second time (a list leading back to an
// ancestor, or a key listed twice), or deeper or longer than Windows allows,
// is noted in Problems() and not followed. onValue, when given, gets each
// key's values after the key, each with its data; data cells a value shares
// with one read before are noted and given as empty, so that the whole walk
// reads each cell at most once: its work and what it hands out are bounded
// by the hive's size.
void Walk(const Hive& hive, const std::function<bool(const Key& key, const std::string& path)>& onKey,
          const std::function<void(const Key& key, const std::string& path, const Value& value,
                                   const std::vector<uint8_t>& data)>& onValue = {});

// A FILETIME as ISO 8601 UTC to the second ("2024-05-01T12:34:56Z"); ""
// for 0.
std::string FileTimeText(uint64_t fileTime);

// The text of a value's data as Value::Text() gives it, from raw bytes.
std::string ValueText(uint32_t type, const std::vector<uint8_t>& data);

// Key and value names compared as Windows compares them: without regard to
// case, by the upper-case forms of their UTF-16 units.
bool NamesEqual(std::string_view a, std::string_view b);
// The upper-case form Windows gives one UTF-16 unit.
char16_t UpcaseUnit(char16_t c);

}  // namespace wl::hive
