// Writes reference archives in the format the reader expects. Used by the
// build (to make Ref.dbd) and by tests (to make good and damaged archives).
#pragma once

#include <string>
#include <vector>

namespace wl {

struct ArchiveMember {
  std::string name;      // file name (up to 255 bytes)
  std::string path;      // folder part of the full name, usually empty
  std::string data;      // the member's bytes
  bool stored = false;   // store as is instead of compressing
};

struct ArchiveOptions {
  bool compressRegistry = true;
};

// The archive's bytes.
std::string BuildArchive(const std::vector<ArchiveMember>& members, const ArchiveOptions& options = {});

// Recomputes the archive CRC in the footer of archive bytes (after a test has
// changed them on purpose).
void FixArchiveCrc(std::string& archive);

// zlib stream of data (RFC 1950).
std::string ZlibCompress(const std::string& data);

}  // namespace wl
