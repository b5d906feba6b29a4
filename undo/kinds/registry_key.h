// A registry key a write creates (with the keys above it that were missing):
// a restore deletes it again while it holds no values.
#pragma once

#include "undo/kinds/kind.h"

namespace wl::undo {

struct RegistryKeyChange {
  static constexpr std::string_view kName = "registry-key";
  RegPlace place;        // the topmost key that was missing
  bool existed = false;  // it was there after all: nothing to put back

  void AddRegFileKeys(std::vector<RegFileKey>& keys) const;
  // A key made that is there already is not recorded.
  static bool SkipsRecording(const WriteRequest& request);
  void PutBack(SystemModel& system) const;
  void Impact(ImpactCounter& impact, const std::string& operation) const;
  WL_CHANGE_KIND(RegistryKeyChange);
};

}  // namespace wl::undo
