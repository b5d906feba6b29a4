// The "Other Browsers" list as the console scanner prints it.
#pragma once

#include "scan/page_text.h"

namespace wl {

PageText OtherBrowsersPageText(const ReferenceTables& tables);

}  // namespace wl
