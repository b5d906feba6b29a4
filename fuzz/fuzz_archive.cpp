// Whole archive files of arbitrary bytes: open, list and extract every member.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "refdb/zlb_archive.h"
#include "tools/zlb_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string file =
      (std::filesystem::temp_directory_path() / ("fuzz_archive_" + std::to_string(getpid()) + ".dbd")).string();
  // Half the inputs get a correct archive CRC so the fuzzer reaches the
  // registry and the members, not only the CRC check.
  std::string bytes(reinterpret_cast<const char*>(data), size);
  if (size > 0 && (data[0] & 1)) wl::FixArchiveCrc(bytes);
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
  }
  wl::TZLBArchive archive;
  archive.CheckCRC = size > 1 && (data[1] & 1);
  try {
    archive.Open(file);
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
