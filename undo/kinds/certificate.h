// A certificate deleted from or added to a system store: the store
// ("LocalMachine\ROOT"), the SHA-1 thumbprint, and the store's element as it
// was, in hex.
#pragma once

#include "undo/kinds/kind.h"

namespace wl::undo {

struct CertificateChange {
  static constexpr std::string_view kName = "certificate";
  StoreEntry kept;

  WL_CHANGE_KIND(CertificateChange);
};

}  // namespace wl::undo
