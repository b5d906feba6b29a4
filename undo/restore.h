// Puts a change set back: every item byte for byte (value types and data,
// trees with their empty keys, INI text, files with their times and
// attributes, a removed service registered again). Items are checked first:
// one that changed since the backup is restored only when the caller says
// so; what could not be restored is reported per item.
#pragma once

#include <string>
#include <vector>

#include "undo/backup_store.h"

namespace wl::undo {

enum class ItemState {
  Restorable,    // the system holds what the change left: it can be put back
  InPlace,       // the system already holds what the backup holds
  Changed,       // something else changed it since: overwrite only when asked
  Unrestorable,  // nothing can be put back (a step outside this program)
};

struct ItemCheck {
  std::size_t index = 0;  // in the manifest
  ItemState state = ItemState::Restorable;
  std::string detail;     // for Changed and Unrestorable
};

// The state of every item.
std::vector<ItemCheck> CheckChangeSet(const StoredChangeSet& set);

struct ItemOutcome {
  std::string description;
  bool restored = false;  // back as in the backup (also when it was already)
  std::string message;    // what happened, one line
};

struct RestoreReport {
  std::vector<ItemOutcome> items;  // in the manifest's order
  bool AllRestored() const;
  // One line per item: "restored: …", "skipped: …", "failed: …".
  std::string Text() const;
};

// Restores the items from the last to the first. Items that changed since
// the backup are overwritten only when overwriteChanged is set; otherwise
// they are skipped and reported. The restore itself is not recorded.
RestoreReport RestoreChangeSet(const StoredChangeSet& set, bool overwriteChanged);

}  // namespace wl::undo
