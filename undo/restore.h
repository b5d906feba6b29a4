// Puts a change set back: every item byte for byte (value types and data,
// trees with their empty keys, INI text, files with their times and
// attributes, a removed service registered again, a scheduled task's
// definition). Items are checked first: one that changed since the backup is
// restored only when the caller says so; what could not be restored is
// reported per item. A restore is a change of its own: what it overwrites is
// backed up in a change set of its own, so that it can be undone too.
//
// Each kind of change (undo/kinds/) checks and puts back its own items; the
// system as a restore finds it, and what it would overwrite, is
// system_model.h; the steps several kinds share are restore_steps.h.
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
  NotMade,       // the write failed and the system holds what the backup holds: nothing to put back
};

struct ItemCheck {
  std::size_t index = 0;  // in the manifest
  ItemState state = ItemState::Restorable;
  std::string detail;     // for Changed and Unrestorable
};

// What a restore would overwrite or delete of what is there now (it is
// backed up first, in the restore's own change set).
struct RestoreImpact {
  std::size_t valuesOverwritten = 0, valuesDeleted = 0, keysDeleted = 0;  // values: INI entries too
  std::size_t filesReplaced = 0, filesDeleted = 0;
  std::size_t tasksReplaced = 0, tasksDeleted = 0, servicesRemoved = 0;
  bool None() const;
  // "Restoring overwrites 2 values and deletes 1 key." or that it overwrites
  // and deletes nothing.
  std::string Text() const;
};

struct RestorePlan {
  std::vector<ItemCheck> checks;  // in the manifest's order
  RestoreImpact impact;
};

// What a restore would find and do: the items from the last to the first,
// each checked against the state the set's later items leave once they are
// put back (so that two writes of one place in a set are judged by what the
// first of them left), without changing anything. Items that changed since
// the backup count as put back only with overwriteChanged.
RestorePlan PlanRestore(const StoredChangeSet& set, bool overwriteChanged);
// The checks of that plan.
std::vector<ItemCheck> CheckChangeSet(const StoredChangeSet& set, bool overwriteChanged = false);

struct ItemOutcome {
  std::string description;
  bool restored = false;  // back as in the backup (also when it was already)
  std::string message;    // what happened, one line
};

struct RestoreReport {
  std::vector<ItemOutcome> items;  // in the manifest's order
  std::string backupId;            // the change set that keeps what the restore overwrote; empty when none
  bool AllRestored() const;
  // One line per item: "restored: …", "skipped: …", "failed: …".
  std::string Text() const;
};

// Restores the items from the last to the first. Items that changed since
// the backup are overwritten only when overwriteChanged is set; otherwise
// they are skipped and reported. Whatever the restore changes is recorded
// in a change set of its own ("Backups", "Restore <id>").
RestoreReport RestoreChangeSet(const StoredChangeSet& set, bool overwriteChanged);

}  // namespace wl::undo
