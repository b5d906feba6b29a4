#include "undo/kinds/registry_value.h"

#include "undo/manifest_json.h"
#include "undo/reg_file.h"

namespace wl::undo {

void RegistryValueChange::ToJson(Json& j) const {
  using namespace manifest;
  PlaceToJson(place, j);
  j["existed"] = existed;
  j["valueName"] = TextJson(valueName);
  if (existed) j["value"] = ValueJson(value);
  if (valueAfter) j["valueAfter"] = ValueJson(*valueAfter);
}

RegistryValueChange RegistryValueChange::FromJson(const Json& j) {
  using namespace manifest;
  RegistryValueChange c;
  c.place = PlaceFrom(j);
  c.existed = Flag(j, "existed");
  c.valueName = Text(j, "valueName");
  if (c.existed) c.value = ValueFrom(Field(j, "value"));
  if (j.contains("valueAfter")) c.valueAfter = ValueFrom(j["valueAfter"]);
  return c;
}

void RegistryValueChange::AddRegFileKeys(std::vector<RegFileKey>& keys) const {
  const std::string path = RegFilePath(place.root, place.key, place.view);
  if (existed)
    keys.push_back({path, false, {{valueName, false, value.type, value.data}}});
  else
    keys.push_back({path, false, {{valueName, true, 0, {}}}});
}

}  // namespace wl::undo

#ifdef _WIN32
#include "undo/capture.h"
#include "undo/restore_steps.h"
#include "win32/system_error.h"

namespace wl::undo {

bool RegistryValueChange::Records(WriteKind kind) {
  return kind == WriteKind::DeleteRegValue || kind == WriteKind::WriteRegValue;
}

WriteResult RegistryValueChange::Capture(CaptureContext& c) {
  const WriteRequest& r = c.request;
  const bool remove = r.kind == WriteKind::DeleteRegValue;
  HKEY root = nullptr;
  std::string rootName, path;
  if (WriteResult bad = TargetKey(r.target, root, rootName, path); !bad) return bad;
  RegistryValueChange change;
  change.place = {rootName, path, ViewName(r.view)};
  change.valueName = r.name;
  RegValueCopy before;
  const uint32_t e = ReadRegValueState(root, path, r.view, r.name, before);
  if (e != ERROR_SUCCESS && e != ERROR_FILE_NOT_FOUND) return NotRead(e, "the value");
  change.existed = e == ERROR_SUCCESS;
  if (change.existed) change.value = std::move(before);
  if (!remove) {
    change.valueAfter = RegValueCopy{r.name, r.type, r.data};
    if (const std::string missing = FirstMissingKey(root, path, r.view); !missing.empty())
      c.before.push_back(CreatedKeyItem(rootName, missing, r.view));
  }
  c.changesNothing = remove && !change.existed;
  c.Record(remove ? "DeleteRegValue" : "WriteRegValue",
           (remove ? "Delete the value " : "Write the value ") + ValueLabel(r.name) + " of " + r.target,
           std::move(change));
  return {};
}

ItemCheck RegistryValueChange::Check(const CheckContext& c) const {
  KeyPlace at;
  if (!KeyPlaceOf(place, at)) return State(ItemState::Unrestorable, "its registry root is unknown");
  RegValueCopy now;
  const uint32_t e = c.system.Value(at, valueName, now);
  if (e != ERROR_SUCCESS && e != ERROR_FILE_NOT_FOUND)
    return State(ItemState::Unrestorable, "the value cannot be read: " + win32::SystemErrorText(e));
  const bool present = e == ERROR_SUCCESS;
  if (present == existed && (!present || (now.type == value.type && now.data == value.data)))
    return State(ItemState::InPlace);
  const bool afterPresent = valueAfter.has_value();
  if (present == afterPresent && (!present || (now.type == valueAfter->type && now.data == valueAfter->data)))
    return State(ItemState::Restorable);
  return State(ItemState::Changed, present ? "the value holds other data now" : "the value was deleted since");
}

void RegistryValueChange::PutBack(SystemModel& system) const {
  KeyPlace at;
  if (KeyPlaceOf(place, at)) system.PutValue(at, valueName, existed ? std::optional(value) : std::nullopt);
}

void RegistryValueChange::Impact(ImpactCounter& impact, const std::string&) const {
  KeyPlace at;
  if (KeyPlaceOf(place, at)) impact.AddValue(at, valueName);
}

WriteResult RegistryValueChange::Restore(RestoreContext&) const {
  KeyPlace at;
  KeyPlaceOf(place, at);
  if (existed) return WriteRegData(at.root, at.path, valueName, value.type, value.data, at.view);
  return GoneAlready(DeleteRegValue(at.root, at.path, valueName, at.view));
}

}  // namespace wl::undo
#endif
