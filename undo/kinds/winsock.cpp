#include "undo/kinds/winsock.h"

#include "undo/manifest_json.h"

namespace wl::undo {

void WinsockChange::ToJson(Json& j) const {
  using namespace manifest;
  j["path"] = TextJson(catalog);
  j["entry"] = TextJson(provider);
  j["existed"] = existed;
  json list = json::array();
  for (const auto& w : providers) list.push_back(WinsockJson(w));
  j["winsock"] = std::move(list);
}

WinsockChange WinsockChange::FromJson(const Json& j) {
  using namespace manifest;
  WinsockChange c;
  c.catalog = Text(j, "path");
  c.provider = Text(j, "entry");
  c.existed = Flag(j, "existed");
  for (const auto& w : Array(j, "winsock")) c.providers.push_back(WinsockFrom(w));
  return c;
}

}  // namespace wl::undo

#ifdef _WIN32
#include "core/ascii.h"
#include "undo/capture.h"
#include "undo/restore_steps.h"
#include "win32/system_error.h"

namespace wl::undo {

bool WinsockChange::Records(WriteKind kind) {
  return kind == WriteKind::RemoveWinsockProvider || kind == WriteKind::InstallWinsockProvider;
}

WriteResult WinsockChange::Capture(CaptureContext& c) {
  // The write hands over each provider as the catalog's routines list it:
  // what a re-installation needs (or, for one installed, what to remove
  // again).
  const WriteRequest& r = c.request;
  const bool remove = r.kind == WriteKind::RemoveWinsockProvider;
  WinsockChange change;
  change.catalog = r.target;
  change.provider = r.name;
  change.existed = remove;
  for (const WinsockProviderSetup& w : r.winsock)
    change.providers.push_back({w.nameSpace, w.wow32, w.providerId, w.dllPath, w.protocols, w.displayName,
                                w.nameSpaceId, w.version, w.enabled});
  if (change.providers.empty()) return WriteResult::Failure(ERROR_INVALID_DATA, "the write named no provider to keep");
  std::string description = (remove ? "Remove the Winsock provider " : "Install the Winsock provider ") + r.name +
                            (remove ? " from " : " into ") + r.target;
  const std::size_t n = change.providers.size();
  if (n > 1)
    description += remove ? " (with " + std::to_string(n - 1) + " protocol chain(s) over it)"
                          : " (" + std::to_string(n) + " providers)";
  c.Record(std::string(WriteKindName(r.kind)), std::move(description), std::move(change));
  return {};
}

ItemCheck WinsockChange::Check(const CheckContext&) const {
  if (providers.empty()) return State(ItemState::Unrestorable, "the providers were not kept in the backup");
  const WinsockProviderCopy& first = providers.front();
  uint32_t error = ERROR_SUCCESS;
  const auto now = ListWinsockProviders(first.nameSpace, first.wow32, error);
  if (!now) return State(ItemState::Unrestorable, "the catalog cannot be read: " + win32::SystemErrorText(error));
  std::size_t there = 0;
  for (const auto& w : providers)
    for (const auto& p : *now) there += EqualsNoCase(p.providerId, w.providerId) ? 1 : 0;
  // Removed: back when each is there. Installed: gone again when none is.
  if (existed ? there >= providers.size() : there == 0) return State(ItemState::InPlace);
  return State(ItemState::Restorable);
}

WriteResult WinsockChange::Restore(RestoreContext&) const {
  std::vector<WinsockProviderSetup> setups;
  for (const auto& w : providers)
    setups.push_back({w.nameSpace, w.wow32, w.providerId, w.dllPath, w.protocols, w.displayName, w.nameSpaceId,
                      w.version, w.enabled});
  if (existed) return InstallWinsockProviders(setups);
  // Installed ones go again (the chains first: they were installed last).
  for (auto it = setups.rbegin(); it != setups.rend(); ++it)
    if (WriteResult r = RemoveWinsockProvider(it->providerId, it->nameSpace, it->wow32); !r && !r.NotFound()) return r;
  return {};
}

}  // namespace wl::undo
#endif
