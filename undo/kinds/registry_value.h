// One registry value deleted or written (a value a step outside the program
// is known to change too, kept before it runs).
#pragma once

#include <optional>

#include "undo/kinds/kind.h"

namespace wl::undo {

struct RegistryValueChange {
  static constexpr std::string_view kName = "registry-value";
  RegPlace place;
  std::string valueName;
  bool existed = false;                    // the value was there
  RegValueCopy value;                      // what it held then
  std::optional<RegValueCopy> valueAfter;  // what was written (none: deleted, or not known)

  void AddRegFileKeys(std::vector<RegFileKey>& keys) const;
  void PutBack(SystemModel& system) const;
  void Impact(ImpactCounter& impact, const std::string& operation) const;
  WL_CHANGE_KIND(RegistryValueChange);
};

}  // namespace wl::undo
