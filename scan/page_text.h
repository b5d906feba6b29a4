// What the console scanner prints for a page: the page's column titles, its
// rows as text, and the rows the page's scan appends to the hijack report.
#pragma once

#include <string>
#include <vector>

#include "core/table_text.h"
#include "refdb/reference_tables.h"
#include "core/hijack_list.h"

namespace wl {

struct PageText {
  TextRow header;
  // A stable JSON key per column ("name", "registryKey", "verdict" …), in
  // header order; when empty (or short) the keys come from the titles.
  TextRow keys;
  std::vector<TextRow> rows;
  std::vector<HijackRow> hijack;
};

using PageScanFn = PageText (*)(const ReferenceTables& tables);

struct PageScanEntry {
  const char* name;  // the wlscan command: "autorun", "processes" …
  PageScanFn scan;
};

// Every page the console scanner knows (scan/wlscan_pages.cpp).
const std::vector<PageScanEntry>& PageScans();

}  // namespace wl
