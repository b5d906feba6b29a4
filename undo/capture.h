// What a kind of change works with when it records a write before the write
// is made (its Capture): the request, the item it makes, the items that go
// before it, and a way to keep a compressed copy of a file in the change set.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "sysroutines/system_write.h"
#include "undo/backup_manifest.h"
#include "undo/system_state.h"

namespace wl::undo {

struct CaptureContext {
  const WriteRequest& request;
  BackupItem item;                 // what the write changes
  std::vector<BackupItem> before;  // recorded first: keys the write creates, what a step outside is known to change
  bool changesNothing = false;     // the write changes nothing (nothing is recorded)
  // Keeps a compressed copy of the file at path in the change set.
  std::function<WriteResult(const std::string& path, FileCopy& copy)> keepCopy;

  template <class Kind>
  void Record(std::string operation, std::string description, Kind change, bool partial = false) {
    item = BackupItem{std::move(operation), std::move(description), partial, false, std::move(change)};
  }
};

inline std::string Quoted(const std::string& s) { return "\"" + s + "\""; }
// A value's name as the lists show it.
inline std::string ValueLabel(const std::string& name) { return name.empty() ? "(Default)" : Quoted(name); }

// The key a request names ("HKEY_…\path"): its root, the root's name and
// the path; a failure for an unknown root.
WriteResult TargetKey(const std::string& text, HKEY& root, std::string& rootName, std::string& path);
// A failure to read what is about to change ("the value could not be read: …").
WriteResult NotRead(uint32_t error, const std::string& what);

// The topmost key of path that is missing; empty when the key is there.
std::string FirstMissingKey(HKEY root, const std::string& path, win32::RegView view);
// An item for the keys a write is about to create (restored by deleting them
// while they hold no values).
BackupItem CreatedKeyItem(const std::string& rootName, const std::string& path, win32::RegView view);

}  // namespace wl::undo
