// The "Other Browsers" list as the console scanner prints it.
#pragma once

#include "browser/other_browsers_rules.h"
#include "core/page_text.h"
#include "refdb/reference_tables.h"

namespace wl {

PageText OtherBrowsersPageText(const ReferenceTables& tables);
// The same from rows already read.
PageText OtherBrowsersPageTextOf(const std::vector<BrowserRow>& rows);

}  // namespace wl
