// "wlscan fix" and "wlscan scan --baseline" read a scan document that may
// have been edited by hand or by a script, or damaged: any bytes must be read
// whole or refused with a reason, and an item read back must match the scan
// item it was written from. A baseline is read by stricter rules than a fix
// document, so what reads as a baseline reads as a fix document too, and
// the scan those items stand for has nothing new since it.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "documents/scan_baseline.h"
#include "documents/scan_document.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  wl::Baseline baseline;
  std::string why;
  const bool isBaseline = wl::ReadBaseline(text, baseline, why);
  if (!isBaseline && (why.empty() || !baseline.items.empty())) std::abort();
  std::vector<wl::FixRequest> read;
  std::string error;
  if (!wl::ReadFixDocument(text, read, error)) {
    if (error.empty() || !read.empty() || isBaseline) std::abort();
    return 0;
  }
  std::vector<wl::ScanItem> items;
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
    items.push_back(std::move(now));
  }
  if (isBaseline) {
    if (baseline.items.size() != items.size()) std::abort();
    const wl::BaselineComparison c = wl::CompareWithBaseline(baseline, items);
    if (c.newCount || c.changedCount || c.goneCount || !wl::NewAndChangedItems(items, c).empty()) std::abort();
  }
  return 0;
}
