// "wlscan fix" reads a scan document that may have been edited by hand or by
// a script: any bytes must be read whole or refused with a reason, and an
// item read back must match the scan item it was written from.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "scan/scan_document.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<wl::FixRequest> read;
  std::string error;
  if (!wl::ReadFixDocument(text, read, error)) {
    if (error.empty() || !read.empty()) std::abort();
    return 0;
  }
  for (const auto& r : read) {
    if (r.id.empty() || r.page.empty() || r.id.compare(0, r.page.size() + 1, r.page + "/") != 0) std::abort();
    // The item the request stands for, as a scan would give it.
    wl::ScanItem now{r.id, r.page, {}, {}, {}, {}};
    for (const auto& [key, value] : r.seen) {
      if (key == "category") now.category = value;
      else if (key == "item") now.item = value;
      else now.details.emplace_back(key, value);
    }
    if (!wl::DifferenceSinceScan(r, now).empty()) std::abort();
  }
  return 0;
}
