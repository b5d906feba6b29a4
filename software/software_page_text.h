// The installed-software list as the console scanner prints it.
#pragma once

#include "core/page_text.h"
#include "refdb/reference_tables.h"

namespace wl {

PageText SoftwarePageText(const ReferenceTables& tables);

}  // namespace wl
