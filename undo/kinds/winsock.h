// Winsock providers removed from or installed into a catalog, through its
// setup routines.
#pragma once

#include "undo/kinds/kind.h"

namespace wl::undo {

struct WinsockChange {
  static constexpr std::string_view kName = "winsock";
  std::string catalog;   // the catalog's name
  std::string provider;  // the GUID the write named
  bool existed = false;  // true: removed (they come back); false: installed (they go again)
  std::vector<WinsockProviderCopy> providers;  // as the routines listed them

  WL_CHANGE_KIND(WinsockChange);
};

}  // namespace wl::undo
