// "wlscan fix": the items of a scan document fixed as their pages would fix
// them — removed, or for an association its default command written back —
// each only when a fresh scan still shows it as the scan saw it. The caller
// opens the change set that backs the writes up.
#pragma once

#include <string>
#include <vector>

#include "documents/scan_document.h"
#include "features/page_fixes.h"
#include "judge/judge.h"

namespace wl {

struct FixLine {
  std::string id;
  FixOutcome outcome = FixOutcome::Skipped;
  std::string message;  // what was done, or why not
};

// One line per requested item, in the document's order.
std::vector<FixLine> FixScanItems(const Judge& judge, const std::vector<FixRequest>& requests);

// "fixed", "skipped", "failed".
const char* FixOutcomeWord(FixOutcome outcome);

}  // namespace wl
