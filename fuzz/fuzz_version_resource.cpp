// Version resources from arbitrary bytes (any file a command line names is
// read this way): the PE headers and resource directory walked, the
// VERSIONINFO block parsed; never a crash, never a read outside the file.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "judge/version_resource.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const wl::ReadAtFn readAt = [bytes](std::uint64_t offset, std::size_t count) {
    if (offset >= bytes.size()) return std::string();
    return std::string(bytes.substr(static_cast<std::size_t>(offset), count));
  };
  if (const auto block = wl::FindVersionResource(readAt, size))
    if (block->size() > size) std::abort();
  // The same bytes as a version block of their own.
  if (const auto strings = wl::ParseVersionResource(bytes))
    if (strings->companyName.size() > size * 3 || strings->originalFilename.size() > size * 3) std::abort();
  wl::OriginalProgramName(bytes);
  return 0;
}
