// A service removed (its registration and its key) or created.
#pragma once

#include <optional>

#include "undo/kinds/kind.h"

namespace wl::undo {

struct ServiceChange {
  static constexpr std::string_view kName = "service";
  bool existed = false;                      // false: the change created it
  std::optional<ServiceConfigCopy> service;  // removed: as it was; created: its name
  RegPlace place;                            // the service's key
  RegTreeCopy tree;                          // the key as it was (when it existed)

  void AddRegFileKeys(std::vector<RegFileKey>& keys) const;
  void PutBack(SystemModel& system) const;
  void Impact(ImpactCounter& impact, const std::string& operation) const;
  WL_CHANGE_KIND(ServiceChange);
};

}  // namespace wl::undo
