#include "service/service_page_text.h"

#include "service/service_scan.h"

namespace wl {

PageText ServicesPageText(const ReferenceTables&) { return ServicesPageTextOf(ScanServices()); }

PageText ServicesPageTextOf(const ServiceScanResult& scan) {
  PageText text;
  text.header = ServiceColumns();
  text.keys = {"name", "description", "state", "startup", "path", "verdict"};
  for (const auto& row : scan.rows)
    text.rows.push_back({row.keyName, row.description, row.state, row.startup, row.path, row.analyze});
  text.hijack = scan.hijack;
  return text;
}

}  // namespace wl
