// The association and shell-extension lists as the console scanner prints them.
#pragma once

#include "scan/page_text.h"

namespace wl {

PageText AssociationsPageText(const ReferenceTables& tables);
PageText ShellExtensionsPageText(const ReferenceTables& tables);

}  // namespace wl
