// The system as a restore finds it: the registry, INI entries, files,
// folders, scheduled tasks and services read from the system, with what the
// items already put back laid over it (a restore's plan changes nothing, yet
// judges each item by what the later items of the set leave). And what a
// restore overwrites and deletes of what is there now.
#pragma once

#include <windows.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "sysroutines/scheduled_tasks.h"
#include "undo/kept_state.h"
#include "undo/restore.h"
#include "undo/system_state.h"
#include "win32/registry.h"

namespace wl::undo {

// A registry key as the system names it.
struct KeyPlace {
  HKEY root = nullptr;
  std::string path;
  win32::RegView view = win32::RegView::Default;
};
// The key an item names; false when its root is unknown (or has a path).
bool KeyPlaceOf(const RegPlace& place, KeyPlace& out);

// Names compared as the registry and the file system compare them.
std::string UpperText(const std::string& s);
bool SameName(const std::string& a, const std::string& b);
// No values anywhere below (empty keys only).
bool TreeEmpty(const RegTreeCopy& t);
std::size_t KeysIn(const RegTreeCopy& t);
std::size_t ValuesIn(const RegTreeCopy& t);
// Whether two files have the same contents, as far as their size and CRC tell.
bool SameSizeAndCrc(const FileCopy& a, const FileCopy& b);

class SystemModel {
 public:
  struct FileState {
    bool present = false;
    FileCopy info;  // its size and CRC
  };

  // ERROR_SUCCESS, ERROR_FILE_NOT_FOUND or why it cannot be read.
  uint32_t Value(const KeyPlace& place, const std::string& name, RegValueCopy& out) const;
  uint32_t Tree(const KeyPlace& place, RegTreeCopy& out) const;
  std::optional<std::string> Ini(const std::string& path, const std::string& section, const std::string& entry) const;
  FileState File(const std::string& path) const;
  bool FolderAt(const std::string& path) const;
  // Whether the folder holds nothing once the items put back so far are
  // back (a file or folder of it they take away counts as gone, one they
  // bring back as there).
  bool FolderEmpty(const std::string& path) const;
  // Whether the model still holds the file as the system has it (its
  // contents can be read from the file then).
  bool FileAsOnDisk(const std::string& path) const;
  std::optional<TaskStateCopy> Task(const std::string& path) const;
  bool ServiceThere(const std::string& name) const;

  // What an item leaves once it is put back.
  void PutValue(const KeyPlace& place, const std::string& name, std::optional<RegValueCopy> value);
  void PutTree(const KeyPlace& place, const RegTreeCopy& tree);
  void PutKeyGone(const KeyPlace& place);
  void PutIni(const std::string& path, const std::string& section, const std::string& entry,
              std::optional<std::string> text);
  void PutFile(const std::string& path, FileState state);
  void PutFolder(const std::string& path, bool there);
  void PutTask(const std::string& path, std::optional<TaskStateCopy> task);
  void PutService(const std::string& name, bool there);

 private:
  // A registry change laid over the system: a value set or gone, a key that
  // is a given tree, or a key gone with everything below.
  struct RegOp {
    enum class Kind { Value, Tree, Gone } kind = Kind::Value;
    std::string root, view;
    std::vector<std::string> key;  // upper-cased parts
    std::string name;              // Value: upper-cased
    std::optional<RegValueCopy> value;
    RegTreeCopy tree;
  };
  static RegOp Op(RegOp::Kind kind, const KeyPlace& place, const std::string& name = {});

  std::vector<RegOp> regOps_;
  std::map<std::string, std::optional<std::string>> ini_;
  std::map<std::string, FileState> files_;
  std::map<std::string, bool> folders_;
  std::map<std::string, std::optional<TaskStateCopy>> tasks_;
  std::map<std::string, bool> services_;
};

// What a restore overwrites and deletes: the places its items put back, as
// the system holds them now against what they hold once all is back.
class ImpactCounter {
 public:
  void AddValue(const KeyPlace& place, const std::string& name);
  void AddKey(const KeyPlace& place);
  void AddIni(const std::string& path, const std::string& section, const std::string& entry);
  void AddFile(const std::string& path);
  void AddTask(const std::string& path);
  void AddService(const std::string& name);

  RestoreImpact Count(const SystemModel& after) const;

 private:
  // Whether a key that is put back as a whole holds this place (a key other
  // than self, or self's key for a value).
  bool Covered(const KeyPlace& place, const KeyPlace* self) const;

  struct IniEntry {
    std::string path, section, entry;
  };
  std::vector<KeyPlace> keys_;
  std::vector<std::pair<KeyPlace, std::string>> values_;
  std::vector<IniEntry> ini_;
  std::vector<std::string> files_, tasks_, services_;
};

// A task's definition as read (none when there is none or it cannot be read).
std::optional<ScheduledTask> TaskOf(const std::string& definition, const std::string& path);
// Whether two definitions start the same programs the same way (a missing
// one is like no other).
bool SameTask(const std::optional<ScheduledTask>& a, const std::optional<ScheduledTask>& b);

}  // namespace wl::undo
