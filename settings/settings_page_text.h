// The association and shell-extension lists as the console scanner prints them.
#pragma once

#include "core/page_text.h"
#include "refdb/reference_tables.h"
#include "settings/association_scan.h"

namespace wl {

PageText AssociationsPageText(const ReferenceTables& tables);
// The same from a scan already made.
PageText AssociationsPageTextOf(const AssociationScanResult& scan);
PageText ShellExtensionsPageText(const ReferenceTables& tables);

}  // namespace wl
