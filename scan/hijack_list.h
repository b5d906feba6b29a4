// The hijack report: every suspect entry the scanners flag, in the order they
// were found. Scanners append; only the hijack scan clears it.
#pragma once

#include <string>
#include <vector>

namespace wl {

struct HijackRow {
  std::string itemName;     // "Item Name": what was found (entry name, path, class …)
  std::string description;  // "Description": the category, e.g. "Startup Item"
  int index = 0;            // "Index" (hidden): where the entry sits on its own page
};

class HijackList {
 public:
  void Add(std::string itemName, std::string description, int index) {
    rows_.push_back({std::move(itemName), std::move(description), index});
  }
  void Append(const std::vector<HijackRow>& rows) { rows_.insert(rows_.end(), rows.begin(), rows.end()); }
  void Clear() { rows_.clear(); }
  const std::vector<HijackRow>& Rows() const { return rows_; }
  std::size_t Count() const { return rows_.size(); }

 private:
  std::vector<HijackRow> rows_;
};

}  // namespace wl
