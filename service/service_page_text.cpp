#include "service/service_page_text.h"

#include "service/service_scan.h"

namespace wl {

PageText ServicesPageText(const Judge& judge) { return ServicesPageTextOf(ScanServices(judge)); }

PageText ServicesPageTextOf(const ServiceScanResult& scan) {
  PageText text;
  text.header = ServiceColumns();
  text.keys = {"name", "description", "state", "startup", "path", "analysis", "signer"};
  for (const auto& row : scan.rows) {
    text.rows.push_back(
        {row.keyName, row.description, row.state, row.startup, row.path, row.analyze, row.judgement.signer});
    text.judgements.push_back(RowJudgementOf(row.judgement));
  }
  text.hijack = scan.hijack;
  return text;
}

}  // namespace wl
