// The pages the console scanner can print. Each subsystem provides a
// PageText function for its page; add it here.
#include "autorun/autorun_scan.h"
#include "process/process_scan.h"
#include "scan/page_text.h"

namespace wl {

const std::vector<PageScanEntry>& PageScans() {
  static const std::vector<PageScanEntry> pages = {
      {"autorun", &AutorunPageText},
      {"processes", &ProcessPageText},
  };
  return pages;
}

}  // namespace wl
