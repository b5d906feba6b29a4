// The service list as the console scanner prints it.
#pragma once

#include "core/page_text.h"
#include "service/service_scan.h"

namespace wl {

PageText ServicesPageText(const Judge& judge);
// The same from a scan already made.
PageText ServicesPageTextOf(const ServiceScanResult& scan);

}  // namespace wl
