#include "undo/system_model.h"

#include <algorithm>
#include <set>

#include "win32/file_path.h"
#include "win32/handles.h"
#include "win32/unicode.h"

namespace wl::undo {
namespace {

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

std::vector<std::string> UpperParts(std::vector<std::string> parts) {
  for (auto& p : parts) p = UpperText(p);
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

// A 64-bit program's default view is the 64-bit one.
std::string ViewKey(win32::RegView view) { return view == win32::RegView::Force32 ? "32" : "64"; }

// Whether key is at or below the key `at`.
bool Below(const std::vector<std::string>& key, const std::vector<std::string>& at) {
  return key.size() >= at.size() && std::equal(at.begin(), at.end(), key.begin());
}

std::string IniKey(const std::string& path, const std::string& section, const std::string& entry) {
  return UpperText(path) + "\n" + UpperText(section) + "\n" + UpperText(entry);
}

bool SameAction(const TaskAction& a, const TaskAction& b) {
  return a.kind == b.kind && a.command == b.command && a.arguments == b.arguments && a.classId == b.classId &&
         a.data == b.data && a.to == b.to && a.subject == b.subject && a.title == b.title && a.body == b.body;
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

std::string PlaceId(const KeyPlace& place) {
  std::string id = std::string(win32::RootName(place.root)) + (place.view == win32::RegView::Force32 ? "|32|" : "|64|");
  for (const auto& part : KeyParts(place.path)) id += UpperText(part) + "\\";
  return id;
}

}  // namespace

bool KeyPlaceOf(const RegPlace& place, KeyPlace& out) {
  std::string rootName, rest;
  if (!SplitKeyText(place.root, out.root, rootName, rest) || !rest.empty()) return false;
  out.path = place.key;
  out.view = ViewFrom(place.view);
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

bool SameSizeAndCrc(const FileCopy& a, const FileCopy& b) { return a.size == b.size && a.crc32 == b.crc32; }

std::optional<ScheduledTask> TaskOf(const std::string& definition, const std::string& path) {
  if (definition.empty()) return std::nullopt;
  return ParseTaskXml(definition, path);
}

bool SameTask(const std::optional<ScheduledTask>& a, const std::optional<ScheduledTask>& b) {
  if (!a || !b || a->hidden != b->hidden || a->triggers != b->triggers || a->actions.size() != b->actions.size())
    return false;
  for (std::size_t i = 0; i < a->actions.size(); ++i)
    if (!SameAction(a->actions[i], b->actions[i])) return false;
  return true;
}

// ---- The system with what is put back laid over it ---------------------------

uint32_t SystemModel::Value(const KeyPlace& place, const std::string& name, RegValueCopy& out) const {
  const auto key = UpperParts(KeyParts(place.path));
  const std::string view = ViewKey(place.view);
  const std::string upperName = UpperText(name);
  for (auto op = regOps_.rbegin(); op != regOps_.rend(); ++op) {
    if (op->root != win32::RootName(place.root) || op->view != view) continue;
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

uint32_t SystemModel::Tree(const KeyPlace& place, RegTreeCopy& out) const {
  const auto key = UpperParts(KeyParts(place.path));
  const std::string view = ViewKey(place.view), root = win32::RootName(place.root);
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

std::optional<std::string> SystemModel::Ini(const std::string& path, const std::string& section,
                                            const std::string& entry) const {
  const auto it = ini_.find(IniKey(path, section, entry));
  if (it != ini_.end()) return it->second;
  return ReadIniState(path, section, entry);
}

SystemModel::FileState SystemModel::File(const std::string& path) const {
  const auto it = files_.find(UpperText(path));
  if (it != files_.end()) return it->second;
  FileState state;
  state.present = win32::FileExists(path);
  if (state.present && FileSizeAndCrc(path, state.info) != ERROR_SUCCESS) state.info = {};
  return state;
}

bool SystemModel::FolderAt(const std::string& path) const {
  if (const auto it = folders_.find(UpperText(path)); it != folders_.end()) return it->second;
  return !files_.count(UpperText(path)) && win32::DirectoryExists(path);
}

bool SystemModel::FolderEmpty(const std::string& path) const {
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

bool SystemModel::FileAsOnDisk(const std::string& path) const { return !files_.count(UpperText(path)); }

std::optional<TaskStateCopy> SystemModel::Task(const std::string& path) const {
  const auto it = tasks_.find(UpperText(path));
  if (it != tasks_.end()) return it->second;
  return ReadTaskState(path);
}

bool SystemModel::ServiceThere(const std::string& name) const {
  const auto it = services_.find(UpperText(name));
  if (it != services_.end()) return it->second;
  return ReadServiceConfig(name).has_value();
}

SystemModel::RegOp SystemModel::Op(RegOp::Kind kind, const KeyPlace& place, const std::string& name) {
  RegOp op;
  op.kind = kind;
  op.root = win32::RootName(place.root);
  op.view = ViewKey(place.view);
  op.key = UpperParts(KeyParts(place.path));
  op.name = UpperText(name);
  return op;
}

void SystemModel::PutValue(const KeyPlace& place, const std::string& name, std::optional<RegValueCopy> value) {
  regOps_.push_back(Op(RegOp::Kind::Value, place, name));
  regOps_.back().value = std::move(value);
}

void SystemModel::PutTree(const KeyPlace& place, const RegTreeCopy& tree) {
  regOps_.push_back(Op(RegOp::Kind::Tree, place));
  regOps_.back().tree = tree;
}

void SystemModel::PutKeyGone(const KeyPlace& place) { regOps_.push_back(Op(RegOp::Kind::Gone, place)); }

void SystemModel::PutIni(const std::string& path, const std::string& section, const std::string& entry,
                         std::optional<std::string> text) {
  ini_[IniKey(path, section, entry)] = std::move(text);
}

void SystemModel::PutFile(const std::string& path, FileState state) { files_[UpperText(path)] = std::move(state); }

void SystemModel::PutFolder(const std::string& path, bool there) { folders_[UpperText(path)] = there; }

void SystemModel::PutTask(const std::string& path, std::optional<TaskStateCopy> task) {
  tasks_[UpperText(path)] = std::move(task);
}

void SystemModel::PutService(const std::string& name, bool there) { services_[UpperText(name)] = there; }

// ---- What a restore overwrites and deletes -----------------------------------

void ImpactCounter::AddValue(const KeyPlace& place, const std::string& name) { values_.push_back({place, name}); }
void ImpactCounter::AddKey(const KeyPlace& place) { keys_.push_back(place); }
void ImpactCounter::AddIni(const std::string& path, const std::string& section, const std::string& entry) {
  ini_.push_back({path, section, entry});
}
void ImpactCounter::AddFile(const std::string& path) { files_.push_back(path); }
void ImpactCounter::AddTask(const std::string& path) { tasks_.push_back(path); }
void ImpactCounter::AddService(const std::string& name) { services_.push_back(name); }

bool ImpactCounter::Covered(const KeyPlace& place, const KeyPlace* self) const {
  const std::string id = PlaceId(place);
  for (const KeyPlace& key : keys_) {
    if (&key == self) continue;
    const std::string outer = PlaceId(key);
    if (id.size() >= outer.size() && id.compare(0, outer.size(), outer) == 0 && (self == nullptr || id != outer))
      return true;
  }
  return false;
}

RestoreImpact ImpactCounter::Count(const SystemModel& after) const {
  const SystemModel now;
  RestoreImpact impact;
  std::set<std::string> seen;
  auto once = [&seen](const std::string& id) { return seen.insert(id).second; };
  for (const KeyPlace& key : keys_) {
    if (Covered(key, &key) || !once("K" + PlaceId(key))) continue;
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
    if (Covered(place, nullptr) || !once("V" + PlaceId(place) + "\n" + UpperText(name))) continue;
    RegValueCopy before, then;
    if (now.Value(place, name, before) != ERROR_SUCCESS) continue;
    if (after.Value(place, name, then) != ERROR_SUCCESS)
      ++impact.valuesDeleted;
    else if (then.type != before.type || then.data != before.data)
      ++impact.valuesOverwritten;
  }
  for (const IniEntry& e : ini_) {
    if (!once("I" + IniKey(e.path, e.section, e.entry))) continue;
    const auto before = now.Ini(e.path, e.section, e.entry), then = after.Ini(e.path, e.section, e.entry);
    if (!before) continue;
    if (!then)
      ++impact.valuesDeleted;
    else if (*then != *before)
      ++impact.valuesOverwritten;
  }
  for (const auto& path : files_) {
    if (!once("F" + UpperText(path))) continue;
    const SystemModel::FileState before = now.File(path), then = after.File(path);
    if (!before.present) continue;
    if (!then.present)
      ++impact.filesDeleted;
    else if (!SameSizeAndCrc(before.info, then.info))
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

}  // namespace wl::undo
