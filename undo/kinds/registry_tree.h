// A registry key deleted with everything below it (a service's key with the
// service's configuration; a key a step outside the program is known to
// change, kept before it runs).
#pragma once

#include <optional>

#include "undo/kinds/kind.h"

namespace wl::undo {

struct RegistryTreeChange {
  static constexpr std::string_view kName = "registry-tree";
  RegPlace place;
  bool existed = false;                      // the key was there
  RegTreeCopy tree;                          // the whole key then
  std::optional<ServiceConfigCopy> service;  // the key was a registered service's

  void AddRegFileKeys(std::vector<RegFileKey>& keys) const;
  void PutBack(SystemModel& system) const;
  void Impact(ImpactCounter& impact, const std::string& operation) const;
  WL_CHANGE_KIND(RegistryTreeChange);
};

}  // namespace wl::undo
