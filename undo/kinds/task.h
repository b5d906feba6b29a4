// A scheduled task deleted, disabled, enabled or registered.
#pragma once

#include "undo/kinds/kind.h"

namespace wl::undo {

struct TaskChange {
  static constexpr std::string_view kName = "task";
  std::string path;      // "\Folder\Name"
  bool existed = false;  // the task (or its definition file) was there
  bool enabled = false;  // whether it was enabled
  std::string definition;  // as the task service gave it
  // The copy of its definition file in the task store, when it had one (no
  // copy name otherwise).
  FileCopy file;

  void PutBack(SystemModel& system) const;
  void Impact(ImpactCounter& impact, const std::string& operation) const;
  WL_CHANGE_KIND(TaskChange);
};

}  // namespace wl::undo
