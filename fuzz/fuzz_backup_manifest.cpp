// The change-set manifest and journal readers on arbitrary bytes: never a
// crash; what they read writes back to a document (or journal) that reads
// the same, and makes a registry file.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "undo/backup_manifest.h"
#include "undo/reg_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  // A document that starts like a journal line is read as a journal.
  if (!text.empty() && text.find('\n') != std::string_view::npos && text.find("\"format\"") == std::string_view::npos) {
    const auto items = wl::undo::ItemsFromJournal(text);
    if (!items) return 0;
    std::string lines;
    for (const auto& item : *items) lines += wl::undo::ItemJournalLine(item);
    const auto again = wl::undo::ItemsFromJournal(lines);
    if (!again || *again != *items) std::abort();
    return 0;
  }
  const auto manifest = wl::undo::ManifestFromJson(text);
  if (!manifest) return 0;
  const auto again = wl::undo::ManifestFromJson(wl::undo::ManifestToJson(*manifest));
  if (!again || !(*again == *manifest)) std::abort();
  (void)wl::undo::WriteRegFile(wl::undo::RegFileKeysFor(*manifest));
  return 0;
}
