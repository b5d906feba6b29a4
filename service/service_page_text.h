// The service list as the console scanner prints it.
#pragma once

#include "scan/page_text.h"

namespace wl {

PageText ServicesPageText(const ReferenceTables& tables);

}  // namespace wl
