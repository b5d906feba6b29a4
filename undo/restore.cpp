#include "undo/restore.h"

#include <windows.h>

#include "undo/system_state.h"
#include "win32/file_path.h"
#include "win32/system_error.h"
#include "win32/unicode.h"

namespace wl::undo {
namespace {

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

// No values anywhere below (empty keys only).
bool TreeEmpty(const RegTreeCopy& t) {
  if (!t.values.empty()) return false;
  for (const auto& k : t.keys)
    if (!TreeEmpty(k)) return false;
  return true;
}

std::string UpperText(const std::string& s) {
  std::wstring w = win32::Widen(s);
  CharUpperBuffW(w.data(), static_cast<DWORD>(w.size()));
  return win32::Narrow(w);
}

// Whether every value below the created key is one this change set wrote
// into a place where there was none (the restore deletes those first).
bool OnlyValuesOfTheSet(const StoredChangeSet& set, const BackupItem& keyItem, const std::string& path,
                        const RegTreeCopy& tree) {
  for (const auto& v : tree.values) {
    bool ours = false;
    for (const auto& item : set.manifest.items)
      ours = ours || (item.kind == ItemKind::RegistryValue && !item.existed && item.root == keyItem.root &&
                      item.view == keyItem.view && UpperText(item.key) == UpperText(path) &&
                      UpperText(item.valueName) == UpperText(v.name));
    if (!ours) return false;
  }
  for (const auto& k : tree.keys)
    if (!OnlyValuesOfTheSet(set, keyItem, path + "\\" + k.name, k)) return false;
  return true;
}

// lenient: a created key still holding the values the set wrote counts as
// restorable (the values go first); at restore time the key must be empty.
ItemCheck Check(const StoredChangeSet& set, const BackupItem& item, bool lenient) {
  ItemCheck c;
  Place place;
  switch (item.kind) {
    case ItemKind::RegistryValue: {
      if (!PlaceOf(item, place)) return {0, ItemState::Unrestorable, "its registry root is unknown"};
      RegValueCopy now;
      const uint32_t e = ReadRegValueState(place.root, place.path, place.view, item.valueName, now);
      if (e != ERROR_SUCCESS && e != ERROR_FILE_NOT_FOUND)
        return {0, ItemState::Unrestorable, "the value cannot be read: " + win32::SystemErrorText(e)};
      const bool present = e == ERROR_SUCCESS;
      if (present == item.existed && (!present || (now.type == item.value.type && now.data == item.value.data)))
        return {0, ItemState::InPlace, {}};
      const bool afterPresent = item.valueAfter.has_value();
      if (present == afterPresent &&
          (!present || (now.type == item.valueAfter->type && now.data == item.valueAfter->data)))
        return c;
      return {0, ItemState::Changed, present ? "the value holds other data now" : "the value was deleted since"};
    }
    case ItemKind::RegistryTree: {
      if (!PlaceOf(item, place)) return {0, ItemState::Unrestorable, "its registry root is unknown"};
      if (!item.existed) return {0, ItemState::InPlace, {}};
      RegTreeCopy now;
      const uint32_t e = DumpRegTree(place.root, place.path, place.view, now);
      if (e == ERROR_FILE_NOT_FOUND) return c;
      if (e != ERROR_SUCCESS)
        return {0, ItemState::Unrestorable, "the key cannot be read: " + win32::SystemErrorText(e)};
      if (item.service && !ReadServiceConfig(item.service->name))
        return {0, ItemState::Changed, "a key of that name is there again, but no such service"};
      if (SortedTree(now) == SortedTree(item.tree)) return {0, ItemState::InPlace, {}};
      return {0, ItemState::Changed, item.operation == "Keep" ? "the key was changed" : "a key of that name is there again"};
    }
    case ItemKind::RegistryKey: {
      if (!PlaceOf(item, place)) return {0, ItemState::Unrestorable, "its registry root is unknown"};
      if (item.existed) return {0, ItemState::InPlace, {}};
      RegTreeCopy now;
      const uint32_t e = DumpRegTree(place.root, place.path, place.view, now);
      if (e == ERROR_FILE_NOT_FOUND) return {0, ItemState::InPlace, {}};
      if (e != ERROR_SUCCESS)
        return {0, ItemState::Unrestorable, "the key cannot be read: " + win32::SystemErrorText(e)};
      if (TreeEmpty(now) || (lenient && OnlyValuesOfTheSet(set, item, item.key, now))) return c;
      return {0, ItemState::Changed, "the key holds other values now"};
    }
    case ItemKind::IniValue: {
      const auto now = ReadIniState(item.path, item.section, item.entry);
      if (now.has_value() == item.existed && (!now || *now == item.text)) return {0, ItemState::InPlace, {}};
      if (now.has_value() == item.textAfter.has_value() && (!now || *now == *item.textAfter)) return c;
      return {0, ItemState::Changed, now ? "the entry holds other text now" : "the entry was deleted since"};
    }
    case ItemKind::File: {
      if (!win32::FileExists(item.path)) {
        if (win32::FileAttributes(item.path) != INVALID_FILE_ATTRIBUTES)
          return {0, ItemState::Unrestorable, "a folder of that name is there now"};
        if (!win32::FileExists(set.folder + "\\" + item.file.copyName))
          return {0, ItemState::Unrestorable, "the copy of the file is missing from the backup"};
        return c;
      }
      if (FileMatchesCopy(item.path, item.file)) return {0, ItemState::InPlace, {}};
      return {0, ItemState::Changed, "another file of that name is there now"};
    }
    case ItemKind::External:
      return {0, ItemState::Unrestorable, "it ran outside this program"};
  }
  return {0, ItemState::Unrestorable, "unknown item"};
}

// Makes the key at path hold exactly the tree: extra values and sub-keys go,
// the backup's values are written, empty keys made.
WriteResult WriteTreeExact(HKEY root, const std::string& path, win32::RegView view, const RegTreeCopy& tree) {
  if (WriteResult r = CreateRegKey(root, path, view); !r) return r;
  RegTreeCopy now;
  if (const uint32_t e = DumpRegTree(root, path, view, now)) {
    WriteResult r;
    r.error = e;
    r.message = "Could not read the key " + path + ": " + win32::SystemErrorText(e);
    return r;
  }
  auto sameName = [](const std::string& a, const std::string& b) {
    const std::wstring wa = win32::Widen(a), wb = win32::Widen(b);
    return CompareStringOrdinal(wa.c_str(), static_cast<int>(wa.size()), wb.c_str(), static_cast<int>(wb.size()),
                                TRUE) == CSTR_EQUAL;
  };
  for (const auto& v : now.values) {
    bool keep = false;
    for (const auto& b : tree.values) keep = keep || sameName(v.name, b.name);
    if (!keep)
      if (WriteResult r = DeleteRegValue(root, path, v.name, view); !r && !r.NotFound()) return r;
  }
  for (const auto& k : now.keys) {
    bool keep = false;
    for (const auto& b : tree.keys) keep = keep || sameName(k.name, b.name);
    if (!keep)
      if (WriteResult r = DeleteRegTree(root, path + "\\" + k.name, view); !r && !r.NotFound()) return r;
  }
  for (const auto& v : tree.values)
    if (WriteResult r = WriteRegData(root, path, v.name, v.type, v.data, view); !r) return r;
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

WriteResult RestoreItem(const StoredChangeSet& set, const BackupItem& item, ItemState state) {
  Place place;
  switch (item.kind) {
    case ItemKind::RegistryValue:
      PlaceOf(item, place);
      if (item.existed)
        return WriteRegData(place.root, place.path, item.valueName, item.value.type, item.value.data, place.view);
      if (WriteResult r = DeleteRegValue(place.root, place.path, item.valueName, place.view); !r.NotFound()) return r;
      return {};
    case ItemKind::RegistryTree:
      PlaceOf(item, place);
      // A removed service is registered again first; its key then gets the
      // backup's values exactly.
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
    case ItemKind::RegistryKey: {
      PlaceOf(item, place);
      RegTreeCopy now;
      if (DumpRegTree(place.root, place.path, place.view, now) == ERROR_FILE_NOT_FOUND) return {};
      // Overwriting a key that holds values now: the whole tree goes.
      if (!TreeEmpty(now)) return DeleteRegTree(place.root, place.path, place.view);
      return DeleteEmptyTree(place.root, place.path, place.view, now);
    }
    case ItemKind::IniValue:
      if (item.existed) return WriteIniValue(item.path, item.section, item.entry, item.text);
      return DeleteIniValue(item.path, item.section, item.entry);
    case ItemKind::File: {
      if (state == ItemState::Changed) {
        // The file there now goes to the Recycle Bin, never deleted for good.
        if (WriteResult r = RecycleFile(item.path); !r) return r;
      }
      const std::string prepared = set.folder + "\\restore.tmp";
      if (const uint32_t e = ExpandFileCopy(set.folder + "\\" + item.file.copyName, prepared, item.file)) {
        WriteResult r;
        r.error = e;
        r.message = "Could not expand the copy of " + item.path + ": " + win32::SystemErrorText(e);
        return r;
      }
      FileStamp stamp;
      auto ft = [](uint64_t v) { return FILETIME{static_cast<DWORD>(v), static_cast<DWORD>(v >> 32)}; };
      stamp.created = ft(item.file.created);
      stamp.accessed = ft(item.file.accessed);
      stamp.written = ft(item.file.written);
      stamp.attributes = item.file.attributes;
      WriteResult r = PlaceFile(prepared, item.path, stamp);
      DeleteFileW(win32::ApiPath(prepared).c_str());
      return r;
    }
    case ItemKind::External:
      break;
  }
  WriteResult r;
  r.error = ERROR_NOT_SUPPORTED;
  r.message = "It cannot be put back.";
  return r;
}

}  // namespace

std::vector<ItemCheck> CheckChangeSet(const StoredChangeSet& set) {
  std::vector<ItemCheck> checks;
  for (std::size_t i = 0; i < set.manifest.items.size(); ++i) {
    ItemCheck c = Check(set, set.manifest.items[i], true);
    c.index = i;
    checks.push_back(std::move(c));
  }
  return checks;
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
  // The restore is not a change to back up: the recorder stays out of it.
  ScopedWriteRecorder quiet{WriteRecorder()};
  RestoreReport report;
  const auto& items = set.manifest.items;
  report.items.resize(items.size());
  for (std::size_t n = items.size(); n-- > 0;) {
    const BackupItem& item = items[n];
    ItemOutcome& out = report.items[n];
    out.description = item.description;
    const ItemCheck check = Check(set, item, false);
    switch (check.state) {
      case ItemState::InPlace:
        out.restored = true;
        out.message = "already as in the backup";
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
    const WriteResult r = RestoreItem(set, item, check.state);
    out.restored = r.ok();
    out.message = r.ok() ? (item.partial ? "restored in part" : "restored") : "failed: " + r.message;
    if (r.ok() && item.partial) out.restored = false;
  }
  return report;
}

}  // namespace wl::undo
