// What the console scanner prints for a page: the page's column titles, its
// rows as text, and the rows the page's scan appends to the hijack report.
#pragma once

#include <string>
#include <vector>

#include "core/table_text.h"
#include "core/hijack_list.h"
#include "judge/judge.h"
#include "refdb/reference_tables.h"

namespace wl {

// What the judge said of a row, for the machine-readable forms.
struct RowJudgement {
  std::string verdict;  // "trusted", "unknown", "suspicious", "malicious"
  std::vector<std::string> reasons;
  std::string signer;
  std::string sha256;
};
inline RowJudgement RowJudgementOf(const Judgement& j) {
  return {VerdictName(j.verdict), j.reasons, j.signer, j.sha256};
}

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

using PageScanFn = PageText (*)(const Judge& judge);

struct PageScanEntry {
  const char* name;  // the wlscan command: "autorun", "processes" …
  PageScanFn scan;
};

// Every page the console scanner knows (scan/wlscan_pages.cpp).
const std::vector<PageScanEntry>& PageScans();

}  // namespace wl
