// What the kinds of change work with when a restore checks and puts back
// their items, and the steps several of them share: a key written back
// exactly, a tree of empty keys deleted, a file copy expanded and put in
// place, a service registered again.
#pragma once

#include <string>

#include "sysroutines/system_write.h"
#include "undo/backup_store.h"
#include "undo/restore.h"
#include "undo/system_model.h"

namespace wl::undo {

struct CheckContext {
  const StoredChangeSet& set;
  const SystemModel& system;  // the system with the later items put back
  const std::string& operation;
};

struct RestoreContext {
  const StoredChangeSet& set;
  const std::string& operation;
  ItemState state;       // as its check found it
  std::string note;      // what to say instead of "restored"
  bool inPart = false;   // only part of the item came back (note says what is missing)
};

inline ItemCheck State(ItemState state, std::string detail = {}) { return {0, state, std::move(detail)}; }

// A write whose thing was not there is done: nothing was there to remove.
inline WriteResult GoneAlready(WriteResult r) { return r.NotFound() ? WriteResult{} : r; }

// The answer for a kind nothing of which can be put back (its check says
// so first; a restore never gets this far).
inline WriteResult NothingToPutBack() { return WriteResult::Failure(ERROR_NOT_SUPPORTED, "It cannot be put back."); }

// Makes the key at path hold exactly the tree: extra values and sub-keys go,
// the backup's values are written, empty keys made.
WriteResult WriteTreeExact(const KeyPlace& place, const RegTreeCopy& tree);
// Deletes a tree of empty keys from the bottom up.
WriteResult DeleteEmptyTree(const KeyPlace& place, const RegTreeCopy& tree);

// Expands a copy of the set into its folder, ready to be put in place
// (what names the file the copy is of, for the message).
WriteResult PrepareCopy(const StoredChangeSet& set, const FileCopy& copy, const std::string& what,
                        std::string& prepared);
// The bytes of a copy of the set (nullopt when the expanded copy cannot be
// read); a failure says why it could not be expanded.
WriteResult ReadCopy(const StoredChangeSet& set, const FileCopy& copy, const std::string& what,
                     std::optional<std::string>& bytes);
// Puts the set's copy of a file at path, where nothing may be.
WriteResult PlaceCopy(const StoredChangeSet& set, const FileCopy& copy, const std::string& path);
// Whether the set still holds its copy.
bool CopyKept(const StoredChangeSet& set, const FileCopy& copy);

// A key with everything below it as the backup has it, or the key of a
// service (removed: its registration and key as they were).
ItemCheck CheckKeyTree(const CheckContext& c, const RegPlace& at, bool existed, const RegTreeCopy& tree,
                       const std::optional<ServiceConfigCopy>& service, bool serviceKind);
// Registers the service again where the manager does not know it, then
// gives its key the backup's values exactly.
WriteResult RestoreServiceKey(const RegPlace& at, const RegTreeCopy& tree, const std::optional<ServiceConfigCopy>& service);

}  // namespace wl::undo
