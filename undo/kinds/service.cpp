#include "undo/kinds/service.h"

#include "undo/manifest_json.h"
#include "undo/reg_file.h"

namespace wl::undo {

void ServiceChange::ToJson(Json& j) const {
  using namespace manifest;
  j["existed"] = existed;
  if (service) j["service"] = ServiceJson(*service);
  PlaceToJson(place, j);
  if (existed) j["tree"] = TreeJson(tree);
}

ServiceChange ServiceChange::FromJson(const Json& j) {
  using namespace manifest;
  ServiceChange c;
  c.existed = Flag(j, "existed");
  if (j.contains("service")) c.service = ServiceFrom(j["service"]);
  c.place = PlaceFrom(j);
  if (c.existed) c.tree = TreeFrom(Field(j, "tree"));
  return c;
}

void ServiceChange::AddRegFileKeys(std::vector<RegFileKey>& keys) const {
  // The key of a removed service (the service itself is registered again
  // only by a restore); a created one's key goes.
  if (place.key.empty()) return;
  const std::string path = RegFilePath(place.root, place.key, place.view);
  keys.push_back({path, true, {}});
  if (existed) AddRegFileTree(path, tree, keys);
}

}  // namespace wl::undo

#ifdef _WIN32
#include "undo/capture.h"
#include "undo/restore_steps.h"

namespace wl::undo {

bool ServiceChange::Records(WriteKind kind) {
  return kind == WriteKind::CreateService || kind == WriteKind::DeleteService;
}

WriteResult ServiceChange::Capture(CaptureContext& c) {
  const WriteRequest& r = c.request;
  const bool remove = r.kind == WriteKind::DeleteService;
  ServiceChange change;
  change.place = {"HKEY_LOCAL_MACHINE", "SYSTEM\\CurrentControlSet\\Services\\" + r.target, "default"};
  change.service = ReadServiceConfig(r.target);
  const uint32_t e = DumpRegTree(HKEY_LOCAL_MACHINE, change.place.key, win32::RegView::Default, change.tree);
  if (e != ERROR_SUCCESS && e != ERROR_FILE_NOT_FOUND) return NotRead(e, "the service's key");
  change.existed = change.service.has_value() || e == ERROR_SUCCESS;
  if (!change.service) {
    change.service.emplace();
    change.service->name = r.target;
  }
  if (!change.existed) change.tree = {};
  c.changesNothing = remove != change.existed;
  c.Record(std::string(WriteKindName(r.kind)), (remove ? "Remove the service " : "Create the service ") + r.target,
           std::move(change));
  return {};
}

ItemCheck ServiceChange::Check(const CheckContext& c) const {
  return CheckKeyTree(c, place, existed, tree, service, true);
}

void ServiceChange::PutBack(SystemModel& system) const {
  if (service) system.PutService(service->name, existed);
  KeyPlace at;
  if (!KeyPlaceOf(place, at)) return;
  if (existed)
    system.PutTree(at, tree);
  else
    system.PutKeyGone(at);
}

void ServiceChange::Impact(ImpactCounter& impact, const std::string&) const {
  if (service) impact.AddService(service->name);
  KeyPlace at;
  if (KeyPlaceOf(place, at)) impact.AddKey(at);
}

WriteResult ServiceChange::Restore(RestoreContext&) const {
  if (existed) return RestoreServiceKey(place, tree, service);
  return GoneAlready(DeleteServiceEntry(service ? service->name : std::string()));
}

}  // namespace wl::undo
#endif
