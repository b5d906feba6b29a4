#include "undo/kinds/external.h"

#include "undo/manifest_json.h"

namespace wl::undo {

void ExternalStep::ToJson(Json& j) const { j["path"] = manifest::TextJson(path); }

ExternalStep ExternalStep::FromJson(const Json& j) { return {manifest::OptionalText(j, "path")}; }

}  // namespace wl::undo

#ifdef _WIN32
#include "undo/capture.h"
#include "undo/restore_steps.h"

namespace wl::undo {
namespace {

// The keys and values a step outside the program is known to change, each as
// an item of its own (a key that is not there is left out).
WriteResult CaptureOutsideChanges(const WriteRequest& r, std::vector<BackupItem>& out) {
  HKEY root = nullptr;
  std::string rootName, path;
  for (const std::string& key : r.outsideKeys) {
    if (WriteResult bad = TargetKey(key, root, rootName, path); !bad) return bad;
    RegistryTreeChange tree;
    tree.place = {rootName, path, ViewName(r.view)};
    const uint32_t e = DumpRegTree(root, path, r.view, tree.tree);
    if (e == ERROR_FILE_NOT_FOUND) continue;
    if (e != ERROR_SUCCESS) return NotRead(e, "the key");
    tree.existed = true;
    out.push_back({"Keep", "Keep the key " + key, false, false, std::move(tree)});
  }
  for (const auto& [key, name] : r.outsideValues) {
    if (WriteResult bad = TargetKey(key, root, rootName, path); !bad) return bad;
    RegistryValueChange value;
    value.place = {rootName, path, ViewName(r.view)};
    value.valueName = name;
    const uint32_t e = ReadRegValueState(root, path, r.view, name, value.value);
    if (e == ERROR_FILE_NOT_FOUND) continue;
    if (e != ERROR_SUCCESS) return NotRead(e, "the value");
    value.existed = true;  // what it is after is not known: gone, or as it was
    out.push_back({"Keep", "Keep the value " + ValueLabel(name) + " of " + key, false, false, std::move(value)});
  }
  return {};
}

}  // namespace

bool ExternalStep::Records(WriteKind kind) {
  return kind == WriteKind::UnregisterServer || kind == WriteKind::RunUninstaller;
}

WriteResult ExternalStep::Capture(CaptureContext& c) {
  // Code outside this program makes the change: all it changes is not known
  // beforehand. What it is known to change is kept (and can be put back);
  // the step itself is recorded and marked as partly restorable.
  const WriteRequest& r = c.request;
  const bool server = r.kind == WriteKind::UnregisterServer;
  if (WriteResult kept = CaptureOutsideChanges(r, c.before); !kept) return kept;
  c.Record(server ? "UnregisterServer" : "RunUninstaller",
           (server ? "Unregister the server " : "Run the uninstaller ") + r.target + " (runs outside this program)",
           ExternalStep{r.target}, true);
  return {};
}

ItemCheck ExternalStep::Check(const CheckContext&) const {
  return State(ItemState::Unrestorable, "it ran outside this program");
}

WriteResult ExternalStep::Restore(RestoreContext&) const { return NothingToPutBack(); }

}  // namespace wl::undo
#endif
