#include "undo/restore.h"

#include <windows.h>

#include <functional>
#include <map>
#include <optional>
#include <set>

#include "core/ascii.h"
#include "sysroutines/scheduled_tasks.h"
#include "sysroutines/shortcuts.h"
#include "sysroutines/store_folder.h"
#include "undo/system_state.h"
#include "win32/file_path.h"
#include "win32/handles.h"
#include "win32/system_error.h"
#include "win32/unicode.h"

namespace wl::undo {
namespace {

constexpr char kPrepared[] = "restore.tmp";

struct Place {
  HKEY root = nullptr;
  std::string path;
  win32::RegView view = win32::RegView::Default;
};

bool PlaceOf(const BackupItem& item, Place& place) {
  std::string rootName, rest;
  if (!SplitKeyText(item.root, place.root, rootName, rest) || !rest.empty()) return false;
  place.path = item.key;
  place.view = ViewFrom(item.view);
  return true;
}

std::string UpperText(const std::string& s) {
  std::wstring w = win32::Widen(s);
  CharUpperBuffW(w.data(), static_cast<DWORD>(w.size()));
  return win32::Narrow(w);
}

bool SameName(const std::string& a, const std::string& b) {
  const std::wstring wa = win32::Widen(a), wb = win32::Widen(b);
  return CompareStringOrdinal(wa.c_str(), static_cast<int>(wa.size()), wb.c_str(), static_cast<int>(wb.size()),
                              TRUE) == CSTR_EQUAL;
}

// No values anywhere below (empty keys only).
bool TreeEmpty(const RegTreeCopy& t) {
  if (!t.values.empty()) return false;
  for (const auto& k : t.keys)
    if (!TreeEmpty(k)) return false;
  return true;
}

std::size_t KeysIn(const RegTreeCopy& t) {
  std::size_t n = 1;
  for (const auto& k : t.keys) n += KeysIn(k);
  return n;
}

std::size_t ValuesIn(const RegTreeCopy& t) {
  std::size_t n = t.values.size();
  for (const auto& k : t.keys) n += ValuesIn(k);
  return n;
}

std::vector<std::string> KeyParts(const std::string& path) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : path + "\\") {
    if (c != '\\') {
      part += c;
    } else if (!part.empty()) {
      parts.push_back(std::move(part));
      part.clear();
    }
  }
  return parts;
}

RegTreeCopy* SubTree(RegTreeCopy& tree, const std::vector<std::string>& parts, std::size_t from, bool make) {
  RegTreeCopy* at = &tree;
  for (std::size_t i = from; i < parts.size(); ++i) {
    RegTreeCopy* next = nullptr;
    for (auto& k : at->keys)
      if (SameName(k.name, parts[i])) next = &k;
    if (!next) {
      if (!make) return nullptr;
      at->keys.push_back({parts[i], {}, {}});
      next = &at->keys.back();
    }
    at = next;
  }
  return at;
}

// ---- The system as a restore finds it ---------------------------------------
//
// Reads the system, with what the items already put back (in a plan, where
// nothing is changed) laid over it.
class World {
 public:
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
  struct FileState {
    bool present = false;
    FileCopy info;  // its size and CRC
  };

  uint32_t Value(const Place& place, const std::string& name, RegValueCopy& out) const {
    const auto key = Upper(KeyParts(place.path));
    const std::string view = ViewKey(place.view);
    const std::string upperName = UpperText(name);
    for (auto op = regOps_.rbegin(); op != regOps_.rend(); ++op) {
      if (op->root != RootKey(place.root) || op->view != view) continue;
      if (op->kind == RegOp::Kind::Value) {
        if (op->key != key || op->name != upperName) continue;
        if (!op->value) return ERROR_FILE_NOT_FOUND;
        out = *op->value;
        return ERROR_SUCCESS;
      }
      if (!Below(key, op->key)) continue;
      if (op->kind == RegOp::Kind::Gone) return ERROR_FILE_NOT_FOUND;
      RegTreeCopy tree = op->tree;
      const RegTreeCopy* at = SubTree(tree, key, op->key.size(), false);
      if (!at) return ERROR_FILE_NOT_FOUND;
      for (const auto& v : at->values)
        if (SameName(v.name, name)) {
          out = v;
          return ERROR_SUCCESS;
        }
      return ERROR_FILE_NOT_FOUND;
    }
    return ReadRegValueState(place.root, place.path, place.view, name, out);
  }

  uint32_t Tree(const Place& place, RegTreeCopy& out) const {
    const auto key = Upper(KeyParts(place.path));
    const std::string view = ViewKey(place.view), root = RootKey(place.root);
    // The newest change that decides the whole key, then what came after it.
    std::size_t first = 0;
    bool present = false;
    for (std::size_t i = regOps_.size(); i-- > 0;) {
      const RegOp& op = regOps_[i];
      if (op.root != root || op.view != view || op.kind == RegOp::Kind::Value || !Below(key, op.key)) continue;
      first = i + 1;
      if (op.kind == RegOp::Kind::Tree) {
        RegTreeCopy tree = op.tree;
        if (const RegTreeCopy* at = SubTree(tree, key, op.key.size(), false)) {
          out = *at;
          present = true;
        }
      }
      break;
    }
    if (first == 0) {
      const uint32_t e = DumpRegTree(place.root, place.path, place.view, out);
      if (e != ERROR_SUCCESS && e != ERROR_FILE_NOT_FOUND) return e;
      present = e == ERROR_SUCCESS;
    }
    if (!present) out = {KeyParts(place.path).empty() ? std::string() : KeyParts(place.path).back(), {}, {}};
    for (std::size_t i = first; i < regOps_.size(); ++i) {
      const RegOp& op = regOps_[i];
      if (op.root != root || op.view != view || !Below(op.key, key)) continue;
      if (op.kind == RegOp::Kind::Value) {
        if (!op.value) {
          if (RegTreeCopy* at = present ? SubTree(out, op.key, key.size(), false) : nullptr)
            std::erase_if(at->values, [&](const RegValueCopy& v) { return UpperText(v.name) == op.name; });
          continue;
        }
        RegTreeCopy* at = SubTree(out, op.key, key.size(), true);
        std::erase_if(at->values, [&](const RegValueCopy& v) { return UpperText(v.name) == op.name; });
        at->values.push_back(*op.value);
        present = true;
        continue;
      }
      if (!present) {
        if (op.kind == RegOp::Kind::Gone) continue;
        present = true;
      }
      std::vector<std::string> parent(op.key.begin(), op.key.end() - 1);
      RegTreeCopy* at = SubTree(out, parent, key.size(), op.kind == RegOp::Kind::Tree);
      if (!at) continue;
      std::erase_if(at->keys, [&](const RegTreeCopy& k) { return UpperText(k.name) == op.key.back(); });
      if (op.kind == RegOp::Kind::Tree) at->keys.push_back(op.tree);
    }
    return present ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
  }

  std::optional<std::string> Ini(const BackupItem& item) const {
    const auto it = ini_.find(IniKey(item));
    if (it != ini_.end()) return it->second;
    return ReadIniState(item.path, item.section, item.entry);
  }

  FileState File(const std::string& path) const {
    const auto it = files_.find(UpperText(path));
    if (it != files_.end()) return it->second;
    FileState state;
    state.present = win32::FileExists(path);
    if (state.present && FileSizeAndCrc(path, state.info) != ERROR_SUCCESS) state.info = {};
    return state;
  }
  bool FolderAt(const std::string& path) const {
    if (const auto it = folders_.find(UpperText(path)); it != folders_.end()) return it->second;
    return !files_.count(UpperText(path)) && win32::DirectoryExists(path);
  }
  // Whether the folder holds nothing once the items put back so far are
  // back (a file or folder of it they take away counts as gone, one they
  // bring back as there).
  bool FolderEmpty(const std::string& path) const {
    const std::string below = UpperText(path) + "\\";
    auto inside = [&below](const std::string& name) {
      return name.size() > below.size() && name.compare(0, below.size(), below) == 0;
    };
    for (const auto& [name, present] : folders_)
      if (present && inside(name)) return false;
    for (const auto& [name, state] : files_)
      if (state.present && inside(name)) return false;
    WIN32_FIND_DATAW fd{};
    win32::UniqueFind find(FindFirstFileW(win32::ApiPath(path + "\\*").c_str(), &fd));
    if (!find) return true;
    do {
      const std::string name = win32::Narrow(fd.cFileName);
      if (name == "." || name == "..") continue;
      const std::string child = path + "\\" + name;
      const bool folder = fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
      if (folder ? FolderAt(child) : File(child).present) return false;
    } while (FindNextFileW(find.get(), &fd));
    return true;
  }
  // Whether the world still holds the file as the system has it (its
  // arguments can be read from the file then).
  bool FileAsOnDisk(const std::string& path) const { return !files_.count(UpperText(path)); }

  std::optional<TaskStateCopy> Task(const std::string& path) const {
    const auto it = tasks_.find(UpperText(path));
    if (it != tasks_.end()) return it->second;
    return ReadTaskState(path);
  }

  bool ServiceThere(const std::string& name) const {
    const auto it = services_.find(UpperText(name));
    if (it != services_.end()) return it->second;
    return ReadServiceConfig(name).has_value();
  }

  // What the item leaves once it is put back.
  void PutBack(const BackupItem& item) {
    Place place;
    switch (item.kind) {
      case ItemKind::RegistryValue:
        if (!PlaceOf(item, place)) return;
        regOps_.push_back(Op(RegOp::Kind::Value, place, item.valueName));
        if (item.existed) regOps_.back().value = item.value;
        return;
      case ItemKind::RegistryTree:
        if (!item.existed || !PlaceOf(item, place)) return;
        regOps_.push_back(Op(RegOp::Kind::Tree, place));
        regOps_.back().tree = item.tree;
        if (item.service) services_[UpperText(item.service->name)] = true;
        return;
      case ItemKind::RegistryKey:
        if (item.existed || !PlaceOf(item, place)) return;
        regOps_.push_back(Op(RegOp::Kind::Gone, place));
        return;
      case ItemKind::IniValue:
        ini_[IniKey(item)] = item.existed ? std::optional<std::string>(item.text) : std::nullopt;
        return;
      case ItemKind::File:
        files_[UpperText(item.path)] = {item.existed, item.file};
        return;
      case ItemKind::Task:
        tasks_[UpperText(item.path)] =
            item.existed ? std::optional<TaskStateCopy>(TaskStateCopy{item.definition, item.enabled}) : std::nullopt;
        return;
      case ItemKind::Service:
        if (item.service) services_[UpperText(item.service->name)] = item.existed;
        if (!PlaceOf(item, place)) return;
        regOps_.push_back(Op(item.existed ? RegOp::Kind::Tree : RegOp::Kind::Gone, place));
        regOps_.back().tree = item.tree;
        return;
      case ItemKind::Folder:
        folders_[UpperText(item.path)] = item.existed;
        return;
      case ItemKind::External:
      case ItemKind::Certificate:  // a store the registry and file checks do not read
      case ItemKind::Winsock:      // a catalog, read through its own routines
      case ItemKind::WmiInstance:  // WMI and the transfer service, read through their stores
      case ItemKind::TransferJob:
        return;
    }
  }

 private:
  static std::vector<std::string> Upper(std::vector<std::string> parts) {
    for (auto& p : parts) p = UpperText(p);
    return parts;
  }
  // A 64-bit program's default view is the 64-bit one.
  static std::string ViewKey(win32::RegView view) { return view == win32::RegView::Force32 ? "32" : "64"; }
  static std::string RootKey(HKEY root) { return win32::RootName(root); }
  // Whether key is at or below the key `at`.
  static bool Below(const std::vector<std::string>& key, const std::vector<std::string>& at) {
    return key.size() >= at.size() && std::equal(at.begin(), at.end(), key.begin());
  }
  static RegOp Op(RegOp::Kind kind, const Place& place, const std::string& name = {}) {
    RegOp op;
    op.kind = kind;
    op.root = RootKey(place.root);
    op.view = ViewKey(place.view);
    op.key = Upper(KeyParts(place.path));
    op.name = UpperText(name);
    return op;
  }
  static std::string IniKey(const BackupItem& item) {
    return UpperText(item.path) + "\n" + UpperText(item.section) + "\n" + UpperText(item.entry);
  }

  std::vector<RegOp> regOps_;
  std::map<std::string, std::optional<std::string>> ini_;
  std::map<std::string, FileState> files_;
  std::map<std::string, bool> folders_;
  std::map<std::string, std::optional<TaskStateCopy>> tasks_;
  std::map<std::string, bool> services_;
};

bool SameInfo(const FileCopy& a, const FileCopy& b) { return a.size == b.size && a.crc32 == b.crc32; }

bool SameAction(const TaskAction& a, const TaskAction& b) {
  return a.kind == b.kind && a.command == b.command && a.arguments == b.arguments && a.classId == b.classId &&
         a.data == b.data && a.to == b.to && a.subject == b.subject && a.title == b.title && a.body == b.body;
}

// Whether two definitions start the same programs the same way.
bool SameTask(const std::optional<ScheduledTask>& a, const std::optional<ScheduledTask>& b) {
  if (!a || !b || a->hidden != b->hidden || a->triggers != b->triggers || a->actions.size() != b->actions.size())
    return false;
  for (std::size_t i = 0; i < a->actions.size(); ++i)
    if (!SameAction(a->actions[i], b->actions[i])) return false;
  return true;
}

std::optional<ScheduledTask> TaskOf(const std::string& definition, const std::string& path) {
  if (definition.empty()) return std::nullopt;
  return ParseTaskXml(definition, path);
}

ItemCheck State(ItemState state, std::string detail = {}) { return {0, state, std::move(detail)}; }

ItemCheck CheckItem(const StoredChangeSet& set, const BackupItem& item, const World& world) {
  Place place;
  switch (item.kind) {
    case ItemKind::RegistryValue: {
      if (!PlaceOf(item, place)) return State(ItemState::Unrestorable, "its registry root is unknown");
      RegValueCopy now;
      const uint32_t e = world.Value(place, item.valueName, now);
      if (e != ERROR_SUCCESS && e != ERROR_FILE_NOT_FOUND)
        return State(ItemState::Unrestorable, "the value cannot be read: " + win32::SystemErrorText(e));
      const bool present = e == ERROR_SUCCESS;
      if (present == item.existed && (!present || (now.type == item.value.type && now.data == item.value.data)))
        return State(ItemState::InPlace);
      const bool afterPresent = item.valueAfter.has_value();
      if (present == afterPresent &&
          (!present || (now.type == item.valueAfter->type && now.data == item.valueAfter->data)))
        return State(ItemState::Restorable);
      return State(ItemState::Changed, present ? "the value holds other data now" : "the value was deleted since");
    }
    case ItemKind::RegistryTree:
    case ItemKind::Service: {
      if (!PlaceOf(item, place)) return State(ItemState::Unrestorable, "its registry root is unknown");
      const bool service = item.kind == ItemKind::Service;
      const std::string name = item.service ? item.service->name : std::string();
      if (service && !item.existed)  // a service the change created
        return world.ServiceThere(name) ? State(ItemState::Restorable) : State(ItemState::InPlace);
      if (!item.existed) return State(ItemState::InPlace);
      RegTreeCopy now;
      const uint32_t e = world.Tree(place, now);
      if (e == ERROR_FILE_NOT_FOUND) {
        if (service && world.ServiceThere(name)) return State(ItemState::Changed, "a service of that name is there again");
        return State(ItemState::Restorable);
      }
      if (e != ERROR_SUCCESS)
        return State(ItemState::Unrestorable, "the key cannot be read: " + win32::SystemErrorText(e));
      if (item.service && !world.ServiceThere(name))
        return State(ItemState::Changed, "a key of that name is there again, but no such service");
      if (SortedTree(now) == SortedTree(item.tree)) return State(ItemState::InPlace);
      return State(ItemState::Changed, item.operation == "Keep" ? "the key was changed"
                                       : service                ? "a service of that name is there again"
                                                                : "a key of that name is there again");
    }
    case ItemKind::RegistryKey: {
      if (!PlaceOf(item, place)) return State(ItemState::Unrestorable, "its registry root is unknown");
      if (item.existed) return State(ItemState::InPlace);
      RegTreeCopy now;
      const uint32_t e = world.Tree(place, now);
      if (e == ERROR_FILE_NOT_FOUND) return State(ItemState::InPlace);
      if (e != ERROR_SUCCESS)
        return State(ItemState::Unrestorable, "the key cannot be read: " + win32::SystemErrorText(e));
      if (TreeEmpty(now)) return State(ItemState::Restorable);
      return State(ItemState::Changed, "the key holds other values now");
    }
    case ItemKind::IniValue: {
      const auto now = world.Ini(item);
      if (now.has_value() == item.existed && (!now || *now == item.text)) return State(ItemState::InPlace);
      if (now.has_value() == item.textAfter.has_value() && (!now || *now == *item.textAfter))
        return State(ItemState::Restorable);
      return State(ItemState::Changed, now ? "the entry holds other text now" : "the entry was deleted since");
    }
    case ItemKind::File: {
      const World::FileState now = world.File(item.path);
      if (!item.existed) {  // a file the change put in place
        if (!now.present) return State(ItemState::InPlace);
        if (SameInfo(now.info, item.file)) return State(ItemState::Restorable);
        return State(ItemState::Changed, "another file of that name is there now");
      }
      if (!now.present) {
        if (world.FolderAt(item.path)) return State(ItemState::Unrestorable, "a folder of that name is there now");
        if (!win32::FileExists(set.folder + "\\" + item.file.copyName))
          return State(ItemState::Unrestorable, "the copy of the file is missing from the backup");
        return State(ItemState::Restorable);
      }
      if (SameInfo(now.info, item.file)) return State(ItemState::InPlace);
      if (item.operation == "RewriteFile") {
        if (!win32::FileExists(set.folder + "\\" + item.file.copyName))
          return State(ItemState::Unrestorable, "the copy of the file is missing from the backup");
        if (item.textAfter && FileFingerprint(now.info) == *item.textAfter) return State(ItemState::Restorable);
        return State(ItemState::Changed, "the file was changed since");
      }
      if (item.operation == "WriteShortcut") {
        // The shortcut as the change left it: its arguments are what was written.
        if (!win32::FileExists(set.folder + "\\" + item.file.copyName))
          return State(ItemState::Unrestorable, "the copy of the file is missing from the backup");
        const ShortcutTarget link = world.FileAsOnDisk(item.path) ? ResolveShortcut(item.path) : ShortcutTarget{};
        if (link.loaded && item.textAfter && link.arguments == *item.textAfter) return State(ItemState::Restorable);
        return State(ItemState::Changed, "the shortcut was changed since");
      }
      return State(ItemState::Changed, "another file of that name is there now");
    }
    case ItemKind::Task: {
      const auto now = world.Task(item.path);
      if (item.operation == "DisableTask" || item.operation == "EnableTask") {
        if (!now) return State(ItemState::Changed, "the task was deleted since");
        return now->enabled == item.enabled ? State(ItemState::InPlace) : State(ItemState::Restorable);
      }
      if (!item.existed) return now ? State(ItemState::Restorable) : State(ItemState::InPlace);
      if (item.definition.empty() && item.file.copyName.empty())
        return State(ItemState::Unrestorable, "its definition could not be read for the backup");
      if (!now) return State(ItemState::Restorable);
      if (SameTask(TaskOf(now->definition, item.path), TaskOf(item.definition, item.path)))
        return State(ItemState::InPlace);
      return item.operation == "RegisterTask" ? State(ItemState::Restorable)
                                              : State(ItemState::Changed, "a task of that name is there again");
    }
    case ItemKind::Certificate: {
      const std::optional<bool> there = CertificateInStore(item.path, item.entry);
      if (!there) return State(ItemState::Unrestorable, "the certificate store cannot be opened");
      if (item.existed && item.text.empty())
        return State(ItemState::Unrestorable, "the certificate was not kept in the backup");
      return *there == item.existed ? State(ItemState::InPlace) : State(ItemState::Restorable);
    }
    case ItemKind::Winsock: {
      if (item.winsock.empty()) return State(ItemState::Unrestorable, "the providers were not kept in the backup");
      const WinsockProviderCopy& first = item.winsock.front();
      uint32_t error = ERROR_SUCCESS;
      const auto now = ListWinsockProviders(first.nameSpace, first.wow32, error);
      if (!now) return State(ItemState::Unrestorable, "the catalog cannot be read: " + win32::SystemErrorText(error));
      std::size_t there = 0;
      for (const auto& w : item.winsock)
        for (const auto& p : *now) there += EqualsNoCase(p.providerId, w.providerId) ? 1 : 0;
      // Removed: back when each is there. Installed: gone again when none is.
      if (item.existed ? there >= item.winsock.size() : there == 0) return State(ItemState::InPlace);
      return State(ItemState::Restorable);
    }
    case ItemKind::WmiInstance: {
      WmiInstance now;
      const uint32_t e = WmiStore().Get(item.path, item.entry, now);
      if (e != ERROR_SUCCESS && e != ERROR_FILE_NOT_FOUND)
        return State(ItemState::Unrestorable, "WMI cannot be read: " + win32::SystemErrorText(e));
      const bool there = e == ERROR_SUCCESS;
      if (item.existed && !WmiInstanceFromText(item.text))
        return State(ItemState::Unrestorable, "the instance was not kept in the backup");
      if (there == item.existed) return State(ItemState::InPlace);
      return State(ItemState::Restorable);
    }
    case ItemKind::TransferJob: {
      TransferJob now;
      if (TransferJobs().Get(item.entry, now) == ERROR_SUCCESS) return State(ItemState::InPlace);
      // The service gives a job made anew another identifier and owner, and
      // the files it had transferred went with it: nothing is made.
      return State(ItemState::Unrestorable,
                   "a cancelled transfer job cannot be made again as it was; the backup describes it: " + item.text);
    }
    case ItemKind::Folder: {
      const bool there = world.FolderAt(item.path);
      if (item.existed) {  // an empty folder deleted
        if (there) return State(ItemState::InPlace);
        if (world.File(item.path).present) return State(ItemState::Unrestorable, "a file of that name is there now");
        return State(ItemState::Restorable);
      }
      // A folder made: it goes again while nothing is in it.
      if (!there) return State(ItemState::InPlace);
      if (world.FolderEmpty(item.path)) return State(ItemState::Restorable);
      return State(ItemState::Unrestorable, "it holds files or folders now; it stays");
    }
    case ItemKind::External:
      return State(ItemState::Unrestorable, "it ran outside this program");
  }
  return State(ItemState::Unrestorable, "unknown item");
}

ItemCheck Check(const StoredChangeSet& set, const BackupItem& item, const World& world) {
  ItemCheck c = CheckItem(set, item, world);
  // A write that failed while the system still holds what it held before
  // left nothing to put back.
  if (item.failed && c.state == ItemState::InPlace) c.state = ItemState::NotMade;
  return c;
}

bool WillPutBack(const ItemCheck& c, bool overwriteChanged) {
  return c.state == ItemState::Restorable || (c.state == ItemState::Changed && overwriteChanged);
}

// What putting the tree back over what is there now overwrites and deletes.
void CountTreeLoss(const RegTreeCopy& now, const RegTreeCopy& backup, RestoreImpact& impact) {
  for (const auto& v : now.values) {
    const RegValueCopy* kept = nullptr;
    for (const auto& b : backup.values)
      if (SameName(b.name, v.name)) kept = &b;
    if (!kept)
      ++impact.valuesDeleted;
    else if (kept->type != v.type || kept->data != v.data)
      ++impact.valuesOverwritten;
  }
  for (const auto& k : now.keys) {
    const RegTreeCopy* kept = nullptr;
    for (const auto& b : backup.keys)
      if (SameName(b.name, k.name)) kept = &b;
    if (kept) {
      CountTreeLoss(k, *kept, impact);
    } else {
      impact.keysDeleted += KeysIn(k);
      impact.valuesDeleted += ValuesIn(k);
    }
  }
}

// What the restore overwrites and deletes: the places its items put back,
// as the system holds them now against what they hold once all is back.
class LossCounter {
 public:
  void Add(const BackupItem& item) {
    Place place;
    switch (item.kind) {
      case ItemKind::RegistryValue:
        if (PlaceOf(item, place)) values_.push_back({place, item.valueName});
        return;
      case ItemKind::RegistryTree:
      case ItemKind::RegistryKey:
      case ItemKind::Service:
        if (item.kind == ItemKind::Service && item.service) services_.push_back(item.service->name);
        if (PlaceOf(item, place)) keys_.push_back(place);
        return;
      case ItemKind::IniValue:
        ini_.push_back(&item);
        return;
      case ItemKind::File:
        files_.push_back(item.path);
        return;
      case ItemKind::Task:
        if (item.operation != "DisableTask" && item.operation != "EnableTask") tasks_.push_back(item.path);
        return;
      case ItemKind::External:
      case ItemKind::Certificate:
      case ItemKind::Winsock:
      case ItemKind::WmiInstance:
      case ItemKind::TransferJob:
      case ItemKind::Folder:  // only an empty one goes: nothing is lost
        return;
    }
  }

  RestoreImpact Count(const World& after) const {
    const World now;
    RestoreImpact impact;
    std::set<std::string> seen;
    auto once = [&seen](const std::string& id) { return seen.insert(id).second; };
    for (const Place& key : keys_) {
      if (Covered(key, &key) || !once("K" + Id(key))) continue;
      RegTreeCopy before, then;
      if (now.Tree(key, before) != ERROR_SUCCESS) continue;
      if (after.Tree(key, then) != ERROR_SUCCESS) {
        impact.keysDeleted += KeysIn(before);
        impact.valuesDeleted += ValuesIn(before);
      } else {
        CountTreeLoss(before, then, impact);
      }
    }
    for (const auto& [place, name] : values_) {
      if (Covered(place, nullptr) || !once("V" + Id(place) + "\n" + UpperText(name))) continue;
      RegValueCopy before, then;
      if (now.Value(place, name, before) != ERROR_SUCCESS) continue;
      if (after.Value(place, name, then) != ERROR_SUCCESS)
        ++impact.valuesDeleted;
      else if (then.type != before.type || then.data != before.data)
        ++impact.valuesOverwritten;
    }
    for (const BackupItem* item : ini_) {
      if (!once("I" + UpperText(item->path) + "\n" + UpperText(item->section) + "\n" + UpperText(item->entry)))
        continue;
      const auto before = now.Ini(*item), then = after.Ini(*item);
      if (!before) continue;
      if (!then)
        ++impact.valuesDeleted;
      else if (*then != *before)
        ++impact.valuesOverwritten;
    }
    for (const auto& path : files_) {
      if (!once("F" + UpperText(path))) continue;
      const World::FileState before = now.File(path), then = after.File(path);
      if (!before.present) continue;
      if (!then.present)
        ++impact.filesDeleted;
      else if (!SameInfo(before.info, then.info))
        ++impact.filesReplaced;
    }
    for (const auto& path : tasks_) {
      if (!once("T" + UpperText(path))) continue;
      const auto before = now.Task(path), then = after.Task(path);
      if (!before) continue;
      if (!then)
        ++impact.tasksDeleted;
      else if (!SameTask(TaskOf(before->definition, path), TaskOf(then->definition, path)))
        ++impact.tasksReplaced;
    }
    for (const auto& name : services_)
      if (once("S" + UpperText(name)) && now.ServiceThere(name) && !after.ServiceThere(name)) ++impact.servicesRemoved;
    return impact;
  }

 private:
  static std::string Id(const Place& place) {
    std::string id = std::string(win32::RootName(place.root)) + (place.view == win32::RegView::Force32 ? "|32|" : "|64|");
    for (const auto& part : KeyParts(place.path)) id += UpperText(part) + "\\";
    return id;
  }
  // Whether a key that is put back as a whole holds this place (a key other
  // than self, or self's key for a value).
  bool Covered(const Place& place, const Place* self) const {
    const std::string id = Id(place);
    for (const Place& key : keys_) {
      if (&key == self) continue;
      const std::string outer = Id(key);
      if (id.size() >= outer.size() && id.compare(0, outer.size(), outer) == 0 && (self == nullptr || id != outer))
        return true;
    }
    return false;
  }

  std::vector<Place> keys_;
  std::vector<std::pair<Place, std::string>> values_;
  std::vector<const BackupItem*> ini_;
  std::vector<std::string> files_, tasks_, services_;
};

// ---- Putting back ------------------------------------------------------------

// Makes the key at path hold exactly the tree: extra values and sub-keys go,
// the backup's values are written, empty keys made.
WriteResult WriteTreeExact(HKEY root, const std::string& path, win32::RegView view, const RegTreeCopy& tree) {
  if (WriteResult r = CreateRegKey(root, path, view); !r) return r;
  RegTreeCopy now;
  if (const uint32_t e = DumpRegTree(root, path, view, now))
    return WriteResult::Failure(e, "Could not read the key " + path + ": " + win32::SystemErrorText(e));
  for (const auto& v : now.values) {
    bool keep = false;
    for (const auto& b : tree.values) keep = keep || SameName(v.name, b.name);
    if (!keep)
      if (WriteResult r = DeleteRegValue(root, path, v.name, view); !r && !r.NotFound()) return r;
  }
  for (const auto& k : now.keys) {
    bool keep = false;
    for (const auto& b : tree.keys) keep = keep || SameName(k.name, b.name);
    if (!keep)
      if (WriteResult r = DeleteRegTree(root, path + "\\" + k.name, view); !r && !r.NotFound()) return r;
  }
  for (const auto& v : tree.values) {
    bool same = false;
    for (const auto& n : now.values) same = same || (SameName(v.name, n.name) && v.type == n.type && v.data == n.data);
    if (!same)
      if (WriteResult r = WriteRegData(root, path, v.name, v.type, v.data, view); !r) return r;
  }
  for (const auto& k : tree.keys)
    if (WriteResult r = WriteTreeExact(root, path + "\\" + k.name, view, k); !r) return r;
  return {};
}

// Deletes a tree of empty keys from the bottom up.
WriteResult DeleteEmptyTree(HKEY root, const std::string& path, win32::RegView view, const RegTreeCopy& tree) {
  for (const auto& k : tree.keys)
    if (WriteResult r = DeleteEmptyTree(root, path + "\\" + k.name, view, k); !r && !r.NotFound()) return r;
  if (WriteResult r = DeleteEmptyRegKey(root, path, view); !r && !r.NotFound()) return r;
  return {};
}

// The folder of the change set's store (where its copies are expanded).
std::string StoreRootOf(const StoredChangeSet& set) {
  const auto slash = set.folder.find_last_of('\\');
  return slash == std::string::npos ? set.folder : set.folder.substr(0, slash);
}

// Expands a copy of the set into its folder, ready to be put in place.
WriteResult PrepareCopy(const StoredChangeSet& set, const FileCopy& copy, const std::string& what,
                        std::string& prepared) {
  prepared = set.folder + "\\" + kPrepared;
  uint32_t e = CheckNoLinksBelow(StoreRootOf(set), prepared);
  if (!e) e = CheckNoLinksBelow(StoreRootOf(set), set.folder + "\\" + copy.copyName);
  if (!e) e = ExpandFileCopy(set.folder + "\\" + copy.copyName, prepared, copy);
  if (e) return WriteResult::Failure(e, "Could not expand the copy of " + what + ": " + win32::SystemErrorText(e));
  return {};
}

FileStamp StampOf(const FileCopy& copy) {
  auto ft = [](uint64_t v) { return FILETIME{static_cast<DWORD>(v), static_cast<DWORD>(v >> 32)}; };
  FileStamp stamp;
  stamp.created = ft(copy.created);
  stamp.accessed = ft(copy.accessed);
  stamp.written = ft(copy.written);
  stamp.attributes = copy.attributes;
  return stamp;
}

// Puts the set's copy of a file at path, where nothing may be.
WriteResult PlaceCopy(const StoredChangeSet& set, const FileCopy& copy, const std::string& path) {
  std::string prepared;
  if (WriteResult r = PrepareCopy(set, copy, path, prepared); !r) return r;
  WriteResult r = PlaceFile(prepared, path, StampOf(copy));
  DeleteFileW(win32::ApiPath(prepared).c_str());
  return r;
}

// The definition of a task as it stands: the store's file where there is
// one (it keeps what the service may not give back), else the service's.
std::optional<ScheduledTask> TaskNow(const std::string& path) {
  const std::string file = TaskStoreFile(path);
  if (!file.empty() && win32::FileExists(file))
    if (const auto bytes = ReadWholeFile(file))
      if (auto task = ParseTaskXml(*bytes, path)) return task;
  return TaskOf(ScheduledTaskXml(path), path);
}

// A task the change deleted (or replaced): registered again through the
// task service from its definition; where the service does not keep what it
// is given (programs and triggers lost), the store's definition file is put
// back in its place.
WriteResult RestoreTask(const StoredChangeSet& set, const BackupItem& item, std::string& note) {
  std::optional<ScheduledTask> wanted;
  if (!item.file.copyName.empty()) {
    std::string prepared;
    if (WriteResult r = PrepareCopy(set, item.file, item.path, prepared); !r) return r;
    const auto bytes = ReadWholeFile(prepared);
    DeleteFileW(win32::ApiPath(prepared).c_str());
    if (bytes) wanted = ParseTaskXml(*bytes, item.path);
  }
  if (!wanted) wanted = TaskOf(item.definition, item.path);
  WriteResult registered = WriteResult::Failure(ERROR_INVALID_DATA, "Could not register the scheduled task " + item.path +
                                                          ": its definition was not kept.");
  if (!item.definition.empty()) registered = RegisterScheduledTask(item.path, item.definition);
  if (registered && (!wanted || SameTask(TaskNow(item.path), wanted))) return {};
  if (item.file.copyName.empty()) return registered;
  // The definition file, as the store kept it.
  if (ReadTaskState(item.path))
    if (WriteResult r = DeleteScheduledTask(item.path); !r && !r.NotFound()) return r;
  const std::string file = TaskStoreFile(item.path);
  if (file.empty()) return WriteResult::Failure(ERROR_PATH_NOT_FOUND, "The task store's folder is unknown.");
  if (win32::FileExists(file))
    if (WriteResult r = DeleteFileNow(file); !r) return r;
  if (WriteResult r = PlaceCopy(set, item.file, file); !r) return r;
  if (!SameTask(TaskNow(item.path), wanted))
    return WriteResult::Failure(ERROR_GEN_FAILURE, "The definition file of " + item.path +
                                         " is back in the task store, but the task is not as it was.");
  note = "restored from the task store's definition file";
  return {};
}

WriteResult RestoreService(const BackupItem& item) {
  Place place;
  PlaceOf(item, place);
  // The service is registered again first; its key then gets the backup's
  // values exactly.
  if (item.service && !ReadServiceConfig(item.service->name)) {
    ServiceSpec spec;
    spec.name = item.service->name;
    spec.displayName = item.service->displayName;
    spec.description = item.service->description;
    spec.binaryPath = item.service->binaryPath;
    spec.account = item.service->account;
    spec.group = item.service->group;
    spec.dependencies = item.service->dependencies;
    spec.serviceType = item.service->serviceType;
    spec.startType = item.service->startType;
    spec.errorControl = item.service->errorControl;
    if (spec.account == "LocalSystem") spec.account.clear();
    if (WriteResult r = CreateServiceEntry(spec); !r) return r;
  }
  return WriteTreeExact(place.root, place.path, place.view, item.tree);
}

// note: what to say instead of "restored"; inPart: only part of the item
// came back (note says what is missing).
WriteResult RestoreItem(const StoredChangeSet& set, const BackupItem& item, ItemState state, std::string& note,
                        bool& inPart) {
  Place place;
  switch (item.kind) {
    case ItemKind::RegistryValue:
      PlaceOf(item, place);
      if (item.existed)
        return WriteRegData(place.root, place.path, item.valueName, item.value.type, item.value.data, place.view);
      if (WriteResult r = DeleteRegValue(place.root, place.path, item.valueName, place.view); !r.NotFound()) return r;
      return {};
    case ItemKind::RegistryTree:
      if (item.service) return RestoreService(item);
      PlaceOf(item, place);
      return WriteTreeExact(place.root, place.path, place.view, item.tree);
    case ItemKind::Service:
      if (item.existed) return RestoreService(item);
      if (WriteResult r = DeleteServiceEntry(item.service ? item.service->name : std::string()); !r.NotFound())
        return r;
      return {};
    case ItemKind::RegistryKey: {
      PlaceOf(item, place);
      RegTreeCopy now;
      if (DumpRegTree(place.root, place.path, place.view, now) == ERROR_FILE_NOT_FOUND) return {};
      // Overwriting a key that holds values now: the whole tree goes (it is
      // backed up first, in the restore's own change set).
      if (!TreeEmpty(now)) return DeleteRegTree(place.root, place.path, place.view);
      return DeleteEmptyTree(place.root, place.path, place.view, now);
    }
    case ItemKind::IniValue:
      if (item.existed) return WriteIniValue(item.path, item.section, item.entry, item.text);
      return DeleteIniValue(item.path, item.section, item.entry);
    case ItemKind::File:
      if (!item.existed) {
        // A file the change put in place goes again: for good when it is
        // the one put there (its bytes are in the backup), else to the
        // Recycle Bin.
        if (state == ItemState::Changed) return RecycleFile(item.path);
        if (WriteResult r = DeleteFileNow(item.path); !r.NotFound()) return r;
        return {};
      }
      if (item.operation == "RewriteFile" && win32::FileExists(item.path)) {
        // The bytes it held are written back in place: the file keeps its
        // security and attributes.
        std::string prepared;
        if (WriteResult r = PrepareCopy(set, item.file, item.path, prepared); !r) return r;
        const auto bytes = ReadWholeFile(prepared);
        DeleteFileW(win32::ApiPath(prepared).c_str());
        if (!bytes) return WriteResult::Failure(ERROR_READ_FAULT, "Could not read the copy of " + item.path + ".");
        // The read-only attribute comes back as the backup kept it.
        return RewriteFile(item.path, *bytes, (item.file.attributes & FILE_ATTRIBUTE_READONLY) != 0);
      }
      if (win32::FileExists(item.path)) {
        // The file there now goes to the Recycle Bin, never deleted for good.
        if (WriteResult r = RecycleFile(item.path); !r) return r;
      }
      return PlaceCopy(set, item.file, item.path);
    case ItemKind::Task:
      if (item.operation == "DisableTask") return EnableScheduledTask(item.path);
      if (item.operation == "EnableTask") return DisableScheduledTask(item.path);
      if (!item.existed) {
        if (WriteResult r = DeleteScheduledTask(item.path); !r.NotFound()) return r;
        return {};
      }
      return RestoreTask(set, item, note);
    case ItemKind::Certificate: {
      if (!item.existed) {
        if (WriteResult r = DeleteCertificate(item.path, item.entry); !r.NotFound()) return r;
        return {};
      }
      std::vector<uint8_t> bytes;
      auto digit = [](char c) { return c >= 'a' ? c - 'a' + 10 : c >= 'A' ? c - 'A' + 10 : c - '0'; };
      for (std::size_t i = 0; i + 1 < item.text.size(); i += 2)
        bytes.push_back(static_cast<uint8_t>(digit(item.text[i]) * 16 + digit(item.text[i + 1])));
      return AddCertificate(item.path, bytes);
    }
    case ItemKind::Winsock: {
      std::vector<WinsockProviderSetup> providers;
      for (const auto& w : item.winsock)
        providers.push_back({w.nameSpace, w.wow32, w.providerId, w.dllPath, w.protocols, w.displayName, w.nameSpaceId,
                             w.version, w.enabled});
      if (item.existed) return InstallWinsockProviders(providers);
      // Installed ones go again (the chains first: they were installed last).
      for (auto it = providers.rbegin(); it != providers.rend(); ++it)
        if (WriteResult r = RemoveWinsockProvider(it->providerId, it->nameSpace, it->wow32); !r && !r.NotFound())
          return r;
      return {};
    }
    case ItemKind::WmiInstance: {
      if (!item.existed) {
        if (WriteResult r = DeleteWmiInstance(item.path, item.entry); !r.NotFound()) return r;
        return {};
      }
      const auto instance = WmiInstanceFromText(item.text);
      if (!instance) return WriteResult::Failure(ERROR_INVALID_DATA, "The instance was not kept in the backup.");
      if (WriteResult r = CreateWmiInstance(item.path, *instance); !r) return r;
      // Read back: what WMI did not take (a type it refused) is said, never
      // passed over as restored.
      WmiInstance made;
      const uint32_t e = WmiStore().Get(item.path, item.entry, made);
      const std::vector<std::string> lost =
          e == ERROR_SUCCESS ? WmiPropertiesNotKept(*instance, made) : std::vector<std::string>{"(all: it cannot be read back)"};
      if (!lost.empty()) {
        std::string names;
        for (const std::string& name : lost) names += (names.empty() ? "" : ", ") + name;
        inPart = true;
        note = "restored in part: WMI did not take back " + names;
      }
      return {};
    }
    case ItemKind::Folder:
      if (item.existed) {
        WriteResult r = MakeFolder(item.path);
        if (!r && !(r.error == ERROR_ALREADY_EXISTS && win32::DirectoryExists(item.path))) return r;
        return {};
      }
      if (WriteResult r = RemoveEmptyFolder(item.path); !r.NotFound()) return r;
      return {};
    case ItemKind::TransferJob:
    case ItemKind::External:
      break;
  }
  return WriteResult::Failure(ERROR_NOT_SUPPORTED, "It cannot be put back.");
}

}  // namespace

bool RestoreImpact::None() const {
  return valuesOverwritten + valuesDeleted + keysDeleted + filesReplaced + filesDeleted + tasksReplaced + tasksDeleted +
             servicesRemoved ==
         0;
}

std::string RestoreImpact::Text() const {
  if (None()) return "Restoring overwrites or deletes nothing that is there now.";
  std::vector<std::string> parts;
  auto count = [&parts](std::size_t n, const char* verb, const char* one, const char* many) {
    if (n) parts.push_back(std::string(verb) + " " + std::to_string(n) + " " + (n == 1 ? one : many));
  };
  count(valuesOverwritten, "overwrites", "value", "values");
  count(valuesDeleted, "deletes", "value", "values");
  count(keysDeleted, "deletes", "key", "keys");
  count(filesReplaced, "replaces", "file", "files");
  count(filesDeleted, "deletes", "file", "files");
  count(tasksReplaced, "replaces", "scheduled task", "scheduled tasks");
  count(tasksDeleted, "deletes", "scheduled task", "scheduled tasks");
  count(servicesRemoved, "removes", "service", "services");
  std::string text = "Restoring ";
  for (std::size_t i = 0; i < parts.size(); ++i)
    text += (i == 0 ? "" : i + 1 == parts.size() ? " and " : ", ") + parts[i];
  return text + " (each is backed up first, so the restore can be undone).";
}

RestorePlan PlanRestore(const StoredChangeSet& set, bool overwriteChanged) {
  RestorePlan plan;
  World world;
  LossCounter loss;
  const auto& items = set.manifest.items;
  plan.checks.resize(items.size());
  for (std::size_t n = items.size(); n-- > 0;) {
    ItemCheck c = Check(set, items[n], world);
    c.index = n;
    if (WillPutBack(c, overwriteChanged)) {
      loss.Add(items[n]);
      world.PutBack(items[n]);
    }
    plan.checks[n] = std::move(c);
  }
  plan.impact = loss.Count(world);
  return plan;
}

std::vector<ItemCheck> CheckChangeSet(const StoredChangeSet& set, bool overwriteChanged) {
  return PlanRestore(set, overwriteChanged).checks;
}

bool RestoreReport::AllRestored() const {
  for (const auto& i : items)
    if (!i.restored) return false;
  return true;
}

std::string RestoreReport::Text() const {
  std::string out;
  for (const auto& i : items) out += i.description + ": " + i.message + "\n";
  return out;
}

RestoreReport RestoreChangeSet(const StoredChangeSet& set, bool overwriteChanged) {
  // What the restore changes is backed up like any change: it can be undone.
  ScopedBackupRecording recording;
  ChangeSet own("Backups", "Restore " + set.manifest.id);
  RestoreReport report;
  const World system;  // nothing laid over: the system as each step finds it
  const auto& items = set.manifest.items;
  report.items.resize(items.size());
  for (std::size_t n = items.size(); n-- > 0;) {
    const BackupItem& item = items[n];
    ItemOutcome& out = report.items[n];
    out.description = item.description;
    const ItemCheck check = Check(set, item, system);
    switch (check.state) {
      case ItemState::InPlace:
        out.restored = true;
        out.message = "already as in the backup";
        continue;
      case ItemState::NotMade:
        out.restored = true;
        out.message = "nothing to put back: the change was not made";
        continue;
      case ItemState::Unrestorable:
        out.message = "cannot be restored: " + check.detail;
        continue;
      case ItemState::Changed:
        if (!overwriteChanged) {
          out.message = "skipped: changed since the backup (" + check.detail + ")";
          continue;
        }
        break;
      case ItemState::Restorable:
        break;
    }
    std::string note;
    bool inPart = false;
    const WriteResult r = RestoreItem(set, item, check.state, note, inPart);
    out.restored = r.ok();
    out.message = r.ok() ? (inPart ? note : item.partial ? "restored in part" : note.empty() ? "restored" : note)
                         : "failed: " + r.message;
    if (r.ok() && (item.partial || inPart)) out.restored = false;
  }
  report.backupId = own.Id();
  return report;
}

}  // namespace wl::undo
