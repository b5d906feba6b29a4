// Whole archives of arbitrary bytes, read from memory: open, list and extract
// every member.
#include <cstdint>
#include <string>

#include "refdb/zlb_archive.h"
#include "tools/zlb_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Half the inputs get a correct archive CRC so the fuzzer reaches the
  // registry and the members, not only the CRC check.
  std::string bytes(reinterpret_cast<const char*>(data), size);
  if (size > 0 && (data[0] & 1)) wl::FixArchiveCrc(bytes);
  wl::TZLBArchive archive;
  archive.CheckCRC = size > 1 && (data[1] & 1);
  try {
    archive.OpenMemory(std::move(bytes), "fuzz.dbd");
    const int count = archive.Count();
    for (int i = 0; i < count; ++i) {
      std::string s;
      try {
        archive.Extract(i, s);
      } catch (const wl::ArchiveError&) {
      }
      if (i == 0) {
        try {
          archive.ExtractByName(s, archive.Entry(0).FullName());
        } catch (const wl::ArchiveError&) {
        }
      }
    }
  } catch (const wl::ArchiveError&) {
  }
  return 0;
}
