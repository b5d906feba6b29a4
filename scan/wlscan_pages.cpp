// The pages the console scanner can print. Each subsystem provides a
// PageText function for its page; add it here.
#include "scan/page_text.h"

namespace wl {

const std::vector<PageScanEntry>& PageScans() {
  static const std::vector<PageScanEntry> pages = {
  };
  return pages;
}

}  // namespace wl
