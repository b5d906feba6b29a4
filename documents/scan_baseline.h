// A scan set against a baseline: a scan document saved earlier, on this
// machine or on a clean one a fleet is measured against. The items of the
// scan that are new since the baseline or have changed are what is left to
// look at. Portable: the documents come in as bytes.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "documents/scan_document.h"

namespace wl {

// The fields whose change makes an item "changed": what runs (the value, the
// command, the path), the file's hash and the verdict. The rest moves
// without the entry changing: the row number, the wording of the analysis
// and of the reasons, the signer's text (the hash covers the file), a
// service's state. A field is compared only where both have it.
const std::vector<std::string>& BaselineFields();

struct BaselineItem {
  std::string id;
  std::vector<std::pair<std::string, std::string>> fields;  // the BaselineFields it has
};

struct Baseline {
  std::string computer, time;  // empty when the document does not say
  std::vector<BaselineItem> items;
};

// A baseline larger than this is refused unread: a scan document of a
// machine is far smaller.
constexpr std::size_t kMaxBaselineBytes = std::size_t{64} << 20;

// Reads a scan document as a baseline. Anything that is not one is refused
// whole, with the reason in error: too large, not JSON, not a Wardenlake scan
// document, another format version, the output of a scan that was itself
// compared with a baseline (it lists only part of the items), an item that is
// not an object or lacks its "id" or "page", a field of the wrong type.
bool ReadBaseline(const std::string& bytes, Baseline& out, std::string& error);

enum class SinceBaseline { Same, New, Changed };

struct BaselineComparison {
  // One per scan item, in order; for a changed item, the fields that differ
  // with the baseline's text.
  std::vector<SinceBaseline> items;
  std::vector<std::vector<std::pair<std::string, std::string>>> was;
  std::size_t newCount = 0, changedCount = 0;
  std::size_t goneCount = 0;  // baseline items the scan no longer has
};

// Items are matched by id (as the document writes it); an id the baseline
// has more than once matches as many items, equal ones first.
BaselineComparison CompareWithBaseline(const Baseline& baseline, const std::vector<ScanItem>& items);

// The new and changed items, in order, marked ("change", "was").
std::vector<ScanItem> NewAndChangedItems(std::vector<ScanItem> items, const BaselineComparison& comparison);

// "2 new, 1 changed since FILE".
std::string BaselineSummary(const BaselineComparison& comparison, const std::string& file);

}  // namespace wl
