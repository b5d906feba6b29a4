#include "console/fix_command.h"

#include <optional>
#include <set>

#include "features/feature_table.h"
#include "features/page_fixes.h"

namespace wl {

const char* FixOutcomeWord(FixOutcome outcome) {
  switch (outcome) {
    case FixOutcome::Fixed: return "fixed";
    case FixOutcome::Skipped: return "skipped";
    case FixOutcome::Failed: return "failed";
  }
  return "?";
}

std::vector<FixLine> FixScanItems(const Judge& judge, const std::vector<FixRequest>& requests) {
  std::vector<FixLine> lines(requests.size());
  for (std::size_t i = 0; i < requests.size(); ++i) lines[i].id = requests[i].id;
  std::vector<bool> handled(requests.size(), false);

  for (std::size_t first = 0; first < requests.size(); ++first) {
    if (handled[first]) continue;
    const std::string page = requests[first].page;
    const Feature* feature = FindFeature(page);
    const PageFixer fixer = feature ? feature->fix : nullptr;
    // Each page is scanned once, then its requested items are fixed in order.
    std::optional<PageFix> scanned;
    std::vector<ScanItem> items;
    std::set<std::size_t> fixedRows;
    std::set<std::string> seenIds;
    if (fixer) {
      scanned = fixer(judge);
      items = ScanItems(page, scanned->text);
    }
    for (std::size_t i = first; i < requests.size(); ++i) {
      if (handled[i] || requests[i].page != page) continue;
      handled[i] = true;
      FixLine& line = lines[i];
      if (!fixer) {
        line = {requests[i].id, FixOutcome::Skipped, "items of the page \"" + page + "\" are not fixed here"};
        continue;
      }
      if (!seenIds.insert(requests[i].id).second) {
        line.message = "listed twice";
        continue;
      }
      std::string difference;
      std::optional<std::size_t> match;
      for (std::size_t k = 0; k < items.size() && !match; ++k) {
        if (items[k].id != requests[i].id || fixedRows.count(k)) continue;
        const std::string d = DifferenceSinceScan(requests[i], items[k]);
        if (d.empty()) match = k;
        else if (difference.empty()) difference = d;
      }
      if (!match) {
        line.message = difference.empty() ? "no longer found" : "changed since the scan: " + difference;
        continue;
      }
      fixedRows.insert(*match);
      const FixDone done = scanned->fix(*match);
      line.outcome = done.outcome;
      line.message = done.message;
    }
  }
  return lines;
}

}  // namespace wl
