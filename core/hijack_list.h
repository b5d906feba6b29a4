// The hijack report: every suspect entry the scanners flag, in the order they
// were found. Scanners append; only the hijack scan clears it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace wl {

struct HijackRow {
  std::string itemName;     // "Item Name": what was found (entry name, path, class …)
  std::string description;  // "Description": the category, e.g. "Startup Item"
  int index = 0;            // "Index" (hidden): where the entry sits on its own page; -1: none
  // Rows that are found by a class identifier rather than a row number
  // (toolbars, tool buttons) put it here; it is then the "Index" text.
  std::string indexKey;
  int image = -1;  // category image (of the shared category images) on the "Description" cell; -1: none
  // What names the entry on its own page, the same from scan to scan (a
  // registry key and value name, a service's key name, a file class …); the
  // scan's machine-readable report builds the item's identifier from it.
  // Empty: the class identifier of indexKey, else the item name.
  std::string entryKey;

  std::string IndexText() const {
    if (!indexKey.empty()) return indexKey;
    return index < 0 ? std::string() : std::to_string(index);
  }
};

class HijackList {
 public:
  void Add(std::string itemName, std::string description, int index, int image = -1) {
    rows_.push_back({std::move(itemName), std::move(description), index, {}, image, {}});
    ++revision_;
  }
  void Append(const std::vector<HijackRow>& rows) {
    rows_.insert(rows_.end(), rows.begin(), rows.end());
    ++revision_;
  }
  void Clear() {
    rows_.clear();
    ++revision_;
  }
  const std::vector<HijackRow>& Rows() const { return rows_; }
  std::size_t Count() const { return rows_.size(); }
  // Changes with every change of the rows; a view compares it to know when
  // to show the rows again.
  std::uint64_t Revision() const { return revision_; }

 private:
  std::vector<HijackRow> rows_;
  std::uint64_t revision_ = 0;
};

}  // namespace wl
