// The change-set manifest reader on arbitrary bytes: never a crash; what it
// reads writes back to a document that reads the same, and makes a registry
// file.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "undo/backup_manifest.h"
#include "undo/reg_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto manifest = wl::undo::ManifestFromJson(text);
  if (!manifest) return 0;
  const auto again = wl::undo::ManifestFromJson(wl::undo::ManifestToJson(*manifest));
  if (!again || !(*again == *manifest)) std::abort();
  (void)wl::undo::WriteRegFile(wl::undo::RegFileKeysFor(*manifest));
  return 0;
}
