// A page's rows as text: its column titles, its rows, what the judge said of
// each, and the rows the page's scan appends to the hijack report. What the
// console scanner prints and the scan documents carry.
#pragma once

#include <string>
#include <vector>

#include "core/table_text.h"
#include "core/hijack_list.h"

namespace wl {

// What the judge said of a row, for the machine-readable forms.
struct RowJudgement {
  std::string verdict;  // "trusted", "unknown", "suspicious", "malicious"
  std::vector<std::string> reasons;
  std::string signer;
  std::string sha256;
};

struct PageText {
  TextRow header;
  // A stable JSON key per column ("name", "registryKey", "verdict" …), in
  // header order; when empty (or short) the keys come from the titles.
  TextRow keys;
  std::vector<TextRow> rows;
  std::vector<HijackRow> hijack;
  // One per row on the pages whose rows the judge judges; else empty.
  std::vector<RowJudgement> judgements;
};

}  // namespace wl
