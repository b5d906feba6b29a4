#include "browser/other_browsers_page_text.h"

#include "browser/other_browsers_scan.h"

namespace wl {

PageText OtherBrowsersPageText(const ReferenceTables&) { return OtherBrowsersPageTextOf(ScanOtherBrowsers()); }

PageText OtherBrowsersPageTextOf(const std::vector<BrowserRow>& rows) {
  PageText text;
  text.header = OtherBrowsersColumns();
  for (const auto& row : rows) text.rows.push_back(OtherBrowsersRowText(row));
  text.hijack = OtherBrowsersHijackRows(rows);
  return text;
}

}  // namespace wl
