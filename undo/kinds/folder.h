// A folder made (on the way to a file a restore puts back) or an empty one
// deleted.
#pragma once

#include "undo/kinds/kind.h"

namespace wl::undo {

struct FolderChange {
  static constexpr std::string_view kName = "folder";
  std::string path;
  bool existed = false;  // false: the change made it

  void PutBack(SystemModel& system) const;
  WL_CHANGE_KIND(FolderChange);
};

}  // namespace wl::undo
