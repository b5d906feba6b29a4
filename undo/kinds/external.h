// A step that ran outside this program (a server's own unregistration, an
// uninstaller): recorded as far as possible; what it is known to change is
// kept in items of their own before it runs.
#pragma once

#include "undo/kinds/kind.h"

namespace wl::undo {

struct ExternalStep {
  static constexpr std::string_view kName = "external";
  std::string path;  // the server or the uninstaller's command

  WL_CHANGE_KIND(ExternalStep);
};

}  // namespace wl::undo
