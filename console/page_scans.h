// The pages the console scanner lists, each by its command name and its
// headless scanner.
#pragma once

#include <vector>

#include "core/page_text.h"
#include "judge/judge.h"

namespace wl {

using PageScanFn = PageText (*)(const Judge& judge);

struct PageScanEntry {
  const char* name;  // the wlscan command: "autorun", "processes" …
  PageScanFn scan;
};

// Every page the console scanner knows (console/wlscan_pages.cpp).
const std::vector<PageScanEntry>& PageScans();

}  // namespace wl
