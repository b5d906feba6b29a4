// The backup store: before any write routine (sysroutines/system_write)
// changes the system, the recorder saves what is about to change into the
// open change set — a folder per user action holding manifest.json, the
// compressed file copies and registry.reg — flushes it to disk, and only then
// lets the write go ahead. When the backup cannot be written the write is not
// made (its result says why). Change sets are never deleted automatically.
//
// Where the store lives: store_root.cpp; the change set being filled and its
// journal: change_set_recorder.cpp (each kind of change, undo/kinds/, reads
// what its write is about to change); listing and reading the sets:
// change_set_list.cpp; deleting them: change_set_delete.cpp.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/scoped_override.h"
#include "sysroutines/system_write.h"
#include "undo/backup_manifest.h"

namespace wl::undo {

// The folder that holds the change sets (no trailing backslash); empty when
// it cannot be found. The one place that decides where backups live.
std::string BackupStoreRoot();
// What making the store ready found and set aside (a folder someone else
// made first), one line each, for the user; empty when nothing. Taken once.
std::string TakeStoreNotice();

// Points the store elsewhere while it lives (tests; a folder that cannot be
// written makes every recorded write fail closed).
class ScopedBackupStoreRoot : ScopedOverride<std::optional<std::string>> {
 public:
  explicit ScopedBackupStoreRoot(std::string root);
};

// One user action: every write recorded while it lives goes into one change
// set. The set's folder is made at the first recorded write, so an action
// that changes nothing leaves nothing behind. While one is open, a nested one
// joins it.
class ChangeSet {
 public:
  ChangeSet(std::string page, std::string action);
  ~ChangeSet();
  ChangeSet(const ChangeSet&) = delete;
  ChangeSet& operator=(const ChangeSet&) = delete;

  // The change set's id; empty while nothing was recorded.
  std::string Id() const;

 private:
  bool outer_ = false;
};

// Turns the recorder on while it lives (the program, wlscan fix). A write
// made while no change set is open gets a change set of its own.
class ScopedBackupRecording {
 public:
  ScopedBackupRecording();

 private:
  ScopedWriteRecorder recorder_;
};

// Records one request into the open change set (or a new one of its own).
// What the recorder runs; tests call it directly.
WriteResult RecordWrite(const WriteRequest& request);
// Marks the record of the write just recorded as failed (its change was not
// made, or not in full): it is then not offered for restore while the system
// holds what the backup holds.
void RecordFailure(const WriteRequest& request, const WriteResult& result);

// A change set found in the store.
struct StoredChangeSet {
  std::string folder;  // full path
  ChangeSetManifest manifest;
  uint64_t size = 0;  // bytes on disk
  std::string error;  // why the manifest could not be read (then manifest has the id only)
};

// Every change set, newest first. A set whose folder is a link or junction,
// or (in the machine-wide store) is not owned by the administrators, is
// listed with that as its error and never read or restored.
std::vector<StoredChangeSet> ListChangeSets();
std::optional<StoredChangeSet> FindChangeSet(const std::string& id, std::string* error = nullptr);
// Deletes a change set's folder with everything in it, through handles that
// never follow a link (a set that is itself a link is refused).
bool DeleteChangeSet(const std::string& id, std::string* error = nullptr);

// Reads a whole file; nullopt when it cannot be read.
std::optional<std::string> ReadWholeFile(const std::string& path);

}  // namespace wl::undo
