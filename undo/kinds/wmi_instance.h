// A WMI instance deleted or created: its namespace, its relative path and the
// instance (class and properties) as it was.
#pragma once

#include "undo/kinds/kind.h"

namespace wl::undo {

struct WmiInstanceChange {
  static constexpr std::string_view kName = "wmi-instance";
  StoreEntry kept;

  WL_CHANGE_KIND(WmiInstanceChange);
};

}  // namespace wl::undo
