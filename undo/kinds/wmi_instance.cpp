#include "undo/kinds/wmi_instance.h"

#include "undo/manifest_json.h"

namespace wl::undo {

void WmiInstanceChange::ToJson(Json& j) const { manifest::StoreEntryToJson(kept, j); }

WmiInstanceChange WmiInstanceChange::FromJson(const Json& j) { return {manifest::StoreEntryFrom(j)}; }

}  // namespace wl::undo

#ifdef _WIN32
#include "undo/capture.h"
#include "undo/restore_steps.h"
#include "win32/system_error.h"

namespace wl::undo {

bool WmiInstanceChange::Records(WriteKind kind) {
  return kind == WriteKind::DeleteWmiInstance || kind == WriteKind::CreateWmiInstance;
}

WriteResult WmiInstanceChange::Capture(CaptureContext& c) {
  const WriteRequest& r = c.request;
  const bool remove = r.kind == WriteKind::DeleteWmiInstance;
  StoreEntry kept;
  kept.store = r.target;
  kept.entry = r.name;
  WmiInstance before;
  const uint32_t e = WmiStore().Get(r.target, r.name, before);
  if (e != ERROR_SUCCESS && e != ERROR_FILE_NOT_FOUND) return NotRead(e, "the instance");
  kept.existed = e == ERROR_SUCCESS;
  if (kept.existed) kept.text = WmiInstanceText(before);
  if (!remove) kept.textAfter = r.text.value_or(std::string());
  c.changesNothing = remove != kept.existed;
  c.Record(std::string(WriteKindName(r.kind)),
           (remove ? "Delete the WMI instance " + r.name + " of " : "Create the WMI instance " + r.name + " in ") +
               r.target,
           WmiInstanceChange{std::move(kept)});
  return {};
}

ItemCheck WmiInstanceChange::Check(const CheckContext&) const {
  WmiInstance now;
  const uint32_t e = WmiStore().Get(kept.store, kept.entry, now);
  if (e != ERROR_SUCCESS && e != ERROR_FILE_NOT_FOUND)
    return State(ItemState::Unrestorable, "WMI cannot be read: " + win32::SystemErrorText(e));
  const bool there = e == ERROR_SUCCESS;
  if (kept.existed && !WmiInstanceFromText(kept.text))
    return State(ItemState::Unrestorable, "the instance was not kept in the backup");
  if (there == kept.existed) return State(ItemState::InPlace);
  return State(ItemState::Restorable);
}

WriteResult WmiInstanceChange::Restore(RestoreContext& c) const {
  if (!kept.existed) return GoneAlready(DeleteWmiInstance(kept.store, kept.entry));
  const auto instance = WmiInstanceFromText(kept.text);
  if (!instance) return WriteResult::Failure(ERROR_INVALID_DATA, "The instance was not kept in the backup.");
  if (WriteResult r = CreateWmiInstance(kept.store, *instance); !r) return r;
  // Read back: what WMI did not take (a type it refused) is said, never
  // passed over as restored.
  WmiInstance made;
  const uint32_t e = WmiStore().Get(kept.store, kept.entry, made);
  const std::vector<std::string> lost = e == ERROR_SUCCESS ? WmiPropertiesNotKept(*instance, made)
                                                           : std::vector<std::string>{"(all: it cannot be read back)"};
  if (!lost.empty()) {
    std::string names;
    for (const std::string& name : lost) names += (names.empty() ? "" : ", ") + name;
    c.inPart = true;
    c.note = "restored in part: WMI did not take back " + names;
  }
  return {};
}

}  // namespace wl::undo
#endif
