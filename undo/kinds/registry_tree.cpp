#include "undo/kinds/registry_tree.h"

#include "undo/manifest_json.h"
#include "undo/reg_file.h"

namespace wl::undo {

void RegistryTreeChange::ToJson(Json& j) const {
  using namespace manifest;
  PlaceToJson(place, j);
  j["existed"] = existed;
  if (existed) j["tree"] = TreeJson(tree);
  if (service) j["service"] = ServiceJson(*service);
}

RegistryTreeChange RegistryTreeChange::FromJson(const Json& j) {
  using namespace manifest;
  RegistryTreeChange c;
  c.place = PlaceFrom(j);
  c.existed = Flag(j, "existed");
  if (c.existed) c.tree = TreeFrom(Field(j, "tree"));
  if (j.contains("service")) c.service = ServiceFrom(j["service"]);
  return c;
}

void RegistryTreeChange::AddRegFileKeys(std::vector<RegFileKey>& keys) const {
  if (!existed) return;
  // The key as it was, without what may have been added since.
  const std::string path = RegFilePath(place.root, place.key, place.view);
  keys.push_back({path, true, {}});
  AddRegFileTree(path, tree, keys);
}

}  // namespace wl::undo

#ifdef _WIN32
#include "core/ascii.h"
#include "undo/capture.h"
#include "undo/restore_steps.h"

namespace wl::undo {
namespace {

// A service key: "SYSTEM\CurrentControlSet\Services\<name>" under the local machine.
std::string ServiceNameOfKey(HKEY root, const std::string& path) {
  static const std::string prefix = "SYSTEM\\CURRENTCONTROLSET\\SERVICES\\";
  if (root != HKEY_LOCAL_MACHINE || path.size() <= prefix.size()) return {};
  if (!StartsWithNoCase(path, prefix)) return {};
  const std::string name = path.substr(prefix.size());
  return name.find('\\') == std::string::npos ? name : std::string();
}

}  // namespace

bool RegistryTreeChange::Records(WriteKind kind) { return kind == WriteKind::DeleteRegTree; }

WriteResult RegistryTreeChange::Capture(CaptureContext& c) {
  const WriteRequest& r = c.request;
  HKEY root = nullptr;
  std::string rootName, path;
  if (WriteResult bad = TargetKey(r.target, root, rootName, path); !bad) return bad;
  RegistryTreeChange change;
  change.place = {rootName, path, ViewName(r.view)};
  const uint32_t e = DumpRegTree(root, path, r.view, change.tree);
  if (e != ERROR_SUCCESS && e != ERROR_FILE_NOT_FOUND) return NotRead(e, "the key");
  change.existed = e == ERROR_SUCCESS;
  std::string description = "Delete the key " + r.target;
  if (const std::string service = ServiceNameOfKey(root, path); !service.empty()) {
    change.service = ReadServiceConfig(service);
    if (change.service) description = "Remove the service " + service + " (" + r.target + ")";
  }
  c.changesNothing = !change.existed;
  c.Record("DeleteRegTree", std::move(description), std::move(change));
  return {};
}

ItemCheck RegistryTreeChange::Check(const CheckContext& c) const {
  return CheckKeyTree(c, place, existed, tree, service, false);
}

void RegistryTreeChange::PutBack(SystemModel& system) const {
  KeyPlace at;
  if (!existed || !KeyPlaceOf(place, at)) return;
  system.PutTree(at, tree);
  if (service) system.PutService(service->name, true);
}

void RegistryTreeChange::Impact(ImpactCounter& impact, const std::string&) const {
  KeyPlace at;
  if (KeyPlaceOf(place, at)) impact.AddKey(at);
}

WriteResult RegistryTreeChange::Restore(RestoreContext&) const {
  if (service) return RestoreServiceKey(place, tree, service);
  KeyPlace at;
  KeyPlaceOf(place, at);
  return WriteTreeExact(at, tree);
}

}  // namespace wl::undo
#endif
