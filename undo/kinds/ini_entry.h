// One entry of an INI file written or deleted.
#pragma once

#include <optional>

#include "undo/kinds/kind.h"

namespace wl::undo {

struct IniEntryChange {
  static constexpr std::string_view kName = "ini-value";
  std::string path, section, entry;
  bool existed = false;                  // the entry was there
  std::string text;                      // its text then
  std::optional<std::string> textAfter;  // what was written (none: deleted)

  void PutBack(SystemModel& system) const;
  void Impact(ImpactCounter& impact, const std::string& operation) const;
  WL_CHANGE_KIND(IniEntryChange);
};

}  // namespace wl::undo
