// A file deleted, moved to the Recycle Bin, rewritten, changed (a shortcut's
// arguments) or put in place.
#pragma once

#include <optional>

#include "undo/kinds/kind.h"

namespace wl::undo {

struct FileChange {
  static constexpr std::string_view kName = "file";
  std::string path;      // the file's own name (as the system spells it)
  bool existed = false;  // false: the change put it in place
  // The compressed copy of the file as it was; for a file put in place, only
  // the size and CRC of what was put there (no copy).
  FileCopy file;
  // A rewritten file's new size and CRC ("<size> <crc32>"); a shortcut's new
  // arguments.
  std::optional<std::string> textAfter;

  // A delete tried again after it failed shares the copy made for the first try.
  static Retake Retakes(const WriteRequest& request, const std::string& operation, const FileChange& failed);
  void PutBack(SystemModel& system) const;
  void Impact(ImpactCounter& impact, const std::string& operation) const;
  WL_CHANGE_KIND(FileChange);
};

}  // namespace wl::undo
