#include "undo/kinds/registry_key.h"

#include "undo/manifest_json.h"
#include "undo/reg_file.h"

namespace wl::undo {

void RegistryKeyChange::ToJson(Json& j) const {
  manifest::PlaceToJson(place, j);
  j["existed"] = existed;
}

RegistryKeyChange RegistryKeyChange::FromJson(const Json& j) {
  RegistryKeyChange c;
  c.place = manifest::PlaceFrom(j);
  c.existed = manifest::Flag(j, "existed");
  return c;
}

void RegistryKeyChange::AddRegFileKeys(std::vector<RegFileKey>& keys) const {
  if (!existed) keys.push_back({RegFilePath(place.root, place.key, place.view), true, {}});
}

}  // namespace wl::undo

#ifdef _WIN32
#include "undo/capture.h"
#include "undo/restore_steps.h"
#include "win32/system_error.h"

namespace wl::undo {

std::string FirstMissingKey(HKEY root, const std::string& path, win32::RegView view) {
  std::string prefix;
  std::size_t start = 0;
  while (start <= path.size()) {
    const auto slash = path.find('\\', start);
    const std::string part = path.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
    if (!part.empty()) {
      prefix += prefix.empty() ? part : "\\" + part;
      if (!win32::RegKey::Exists(root, prefix, view)) return prefix;
    }
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  return {};
}

BackupItem CreatedKeyItem(const std::string& rootName, const std::string& path, win32::RegView view) {
  return {"CreateRegKey", "Create the key " + rootName + "\\" + path, false, false,
          RegistryKeyChange{{rootName, path, ViewName(view)}, false}};
}

bool RegistryKeyChange::Records(WriteKind kind) { return kind == WriteKind::CreateRegKey; }

bool RegistryKeyChange::SkipsRecording(const WriteRequest& r) {
  HKEY root = nullptr;
  std::string rootName, path;
  return SplitKeyText(r.target, root, rootName, path) && win32::RegKey::Exists(root, path, r.view);
}

WriteResult RegistryKeyChange::Capture(CaptureContext& c) {
  const WriteRequest& r = c.request;
  HKEY root = nullptr;
  std::string rootName, path;
  if (WriteResult bad = TargetKey(r.target, root, rootName, path); !bad) return bad;
  const std::string missing = FirstMissingKey(root, path, r.view);
  c.changesNothing = missing.empty();  // there by the time it was read
  if (missing.empty())
    c.Record("CreateRegKey", "Create the key " + r.target, RegistryKeyChange{{rootName, path, ViewName(r.view)}, true});
  else
    c.item = CreatedKeyItem(rootName, missing, r.view);
  return {};
}

ItemCheck RegistryKeyChange::Check(const CheckContext& c) const {
  KeyPlace at;
  if (!KeyPlaceOf(place, at)) return State(ItemState::Unrestorable, "its registry root is unknown");
  if (existed) return State(ItemState::InPlace);
  RegTreeCopy now;
  const uint32_t e = c.system.Tree(at, now);
  if (e == ERROR_FILE_NOT_FOUND) return State(ItemState::InPlace);
  if (e != ERROR_SUCCESS) return State(ItemState::Unrestorable, "the key cannot be read: " + win32::SystemErrorText(e));
  if (TreeEmpty(now)) return State(ItemState::Restorable);
  return State(ItemState::Changed, "the key holds other values now");
}

void RegistryKeyChange::PutBack(SystemModel& system) const {
  KeyPlace at;
  if (!existed && KeyPlaceOf(place, at)) system.PutKeyGone(at);
}

void RegistryKeyChange::Impact(ImpactCounter& impact, const std::string&) const {
  KeyPlace at;
  if (KeyPlaceOf(place, at)) impact.AddKey(at);
}

WriteResult RegistryKeyChange::Restore(RestoreContext&) const {
  KeyPlace at;
  KeyPlaceOf(place, at);
  RegTreeCopy now;
  if (DumpRegTree(at.root, at.path, at.view, now) == ERROR_FILE_NOT_FOUND) return {};
  // Overwriting a key that holds values now: the whole tree goes (it is
  // backed up first, in the restore's own change set).
  if (!TreeEmpty(now)) return DeleteRegTree(at.root, at.path, at.view);
  return DeleteEmptyTree(at, now);
}

}  // namespace wl::undo
#endif
