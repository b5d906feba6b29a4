// The write routines of the Winsock catalogs, through the system's setup
// routines.
#include "sysroutines/system_write.h"

#include <algorithm>
#include <map>
#include <set>

#include "core/ascii.h"
#include "core/winsock_catalog.h"
#include "sysroutines/write_gate.h"
#include "win32/system_error.h"

namespace wl {

// The system's setup routines (winsock_setup.cpp), reached only from here.
WinsockSetupRoutines SystemWinsockSetup();

namespace {

std::optional<WinsockSetupRoutines>& WinsockOverride() {
  static std::optional<WinsockSetupRoutines> routines;
  return routines;
}

WinsockSetupRoutines WinsockRoutines() { return WinsockOverride() ? *WinsockOverride() : SystemWinsockSetup(); }

std::string WinsockCatalogName(bool nameSpace, bool wow32) {
  return std::string(nameSpace ? "the Winsock namespace catalog" : "the Winsock protocol catalog") +
         (wow32 ? " of 32-bit programs" : "");
}

bool SameGuid(std::string_view a, std::string_view b) { return EqualsNoCase(a, b); }

const WinsockProviderSetup* FindProvider(const std::vector<WinsockProviderSetup>& list, std::string_view id) {
  for (const auto& p : list)
    if (SameGuid(p.providerId, id)) return &p;
  return nullptr;
}

std::vector<uint32_t> CatalogIds(const WinsockProviderSetup& p) {
  std::vector<uint32_t> ids;
  for (const auto& bytes : p.protocols)
    if (const auto info = ParseProtocolInfo(bytes.data(), bytes.size())) ids.push_back(info->catalogEntryId);
  return ids;
}

bool IsChain(const WinsockProviderSetup& p) {
  for (const auto& bytes : p.protocols)
    if (const auto info = ParseProtocolInfo(bytes.data(), bytes.size()); info && info->Chain()) return true;
  return false;
}

}  // namespace

ScopedWinsockSetup::ScopedWinsockSetup(WinsockSetupRoutines routines)
    : ScopedOverride(WinsockOverride(), std::move(routines)) {}

std::optional<std::vector<WinsockProviderSetup>> ListWinsockProviders(bool nameSpace, bool wow32, uint32_t& error) {
  const WinsockSetupRoutines routines = WinsockRoutines();
  if (!routines.list) {
    error = ERROR_NOT_SUPPORTED;
    return std::nullopt;
  }
  error = ERROR_SUCCESS;
  return routines.list(nameSpace, wow32, error);
}

WriteResult RemoveWinsockProvider(std::string_view providerId, bool nameSpace, bool wow32) {
  WriteRequest request{WriteKind::RemoveWinsockProvider, WinsockCatalogName(nameSpace, wow32), std::string(providerId)};
  const WinsockSetupRoutines routines = WinsockRoutines();
  if (!GuidFromText(providerId)) return gate::Failure(request, ERROR_INVALID_PARAMETER, "it is not a provider GUID.");
  uint32_t error = ERROR_SUCCESS;
  const auto list = ListWinsockProviders(nameSpace, wow32, error);
  if (!list) return gate::Failure(request, error, "the catalog cannot be read: " + win32::SystemErrorText(error));
  const WinsockProviderSetup* target = FindProvider(*list, providerId);
  if (!target) return gate::Failure(request, ERROR_FILE_NOT_FOUND, "it is not in the catalog.");
  if (wow32) {
    uint32_t wideError = ERROR_SUCCESS;
    const auto wide = ListWinsockProviders(nameSpace, false, wideError);
    if (!wide) return gate::Failure(request, wideError, "the 64-bit catalog cannot be read: " + win32::SystemErrorText(wideError));
    if (FindProvider(*wide, providerId))
      return gate::Failure(request, ERROR_NOT_SUPPORTED,
                     "the 64-bit catalog holds it too, and a 64-bit program can put a provider back into the 32-bit "
                     "catalog only together with the 64-bit one. Remove it from the 64-bit catalog first.");
  }
  // The chains built over the provider's entries go with it, and chains over
  // those in turn; they are removed first, the provider last.
  std::vector<const WinsockProviderSetup*> removed{target};
  if (!nameSpace) {
    std::set<uint32_t> gone;
    for (uint32_t id : CatalogIds(*target)) gone.insert(id);
    for (bool more = true; more;) {
      more = false;
      for (const auto& p : *list) {
        if (std::find(removed.begin(), removed.end(), &p) != removed.end()) continue;
        bool over = false;
        for (const auto& bytes : p.protocols)
          if (const auto info = ParseProtocolInfo(bytes.data(), bytes.size()); info && info->Chain())
            for (uint32_t id : info->ChainIds()) over = over || gone.count(id);
        if (!over) continue;
        removed.insert(removed.begin(), &p);
        for (uint32_t id : CatalogIds(p)) gone.insert(id);
        more = true;
      }
    }
  }
  for (const auto* p : removed) request.winsock.push_back(*p);
  if (!routines.remove) return gate::Failure(request, ERROR_NOT_SUPPORTED, "there is no routine to remove it.");
  if (auto refused = gate::Intercepted(request)) return *refused;
  bool anyRemoved = false;
  for (const auto* p : removed) {
    const uint32_t e = routines.remove(*p);
    if (e != ERROR_SUCCESS) {
      const std::string reason = "the system's setup routine refused " + p->providerId + ": " + win32::SystemErrorText(e);
      return anyRemoved ? gate::FailureAfterChange(request, e, reason) : gate::Failure(request, e, reason);
    }
    anyRemoved = true;
  }
  const auto after = ListWinsockProviders(nameSpace, wow32, error);
  if (!after) return gate::FailureAfterChange(request, error, "the catalog cannot be read afterwards to check the removal.");
  std::size_t still = 0;
  for (const auto* p : removed) still += FindProvider(*after, p->providerId) ? 1 : 0;
  if (still == removed.size())
    return gate::Failure(request, ERROR_GEN_FAILURE,
                   "the system's setup routine reported it removed, but the catalog still lists it.");
  if (still) return gate::FailureAfterChange(request, ERROR_GEN_FAILURE, "the catalog still lists part of it.");
  return gate::Done();
}

WriteResult InstallWinsockProviders(const std::vector<WinsockProviderSetup>& providers) {
  const bool nameSpace = !providers.empty() && providers.front().nameSpace;
  const bool wow32 = !providers.empty() && providers.front().wow32;
  std::string names;
  for (const auto& p : providers) names += (names.empty() ? "" : ", ") + p.providerId;
  WriteRequest request{WriteKind::InstallWinsockProvider, WinsockCatalogName(nameSpace, wow32), names};
  const WinsockSetupRoutines routines = WinsockRoutines();
  if (providers.empty()) return gate::Failure(request, ERROR_INVALID_PARAMETER, "no provider was given.");
  for (const auto& p : providers) {
    if (p.nameSpace != nameSpace || p.wow32 != wow32)
      return gate::Failure(request, ERROR_INVALID_PARAMETER, "the providers are not of one catalog.");
    if (!GuidFromText(p.providerId) || p.dllPath.empty() || (!nameSpace && p.protocols.empty()))
      return gate::Failure(request, ERROR_INVALID_DATA, "the provider's GUID, DLL or protocol entries are missing.");
    for (const auto& bytes : p.protocols)
      if (bytes.size() != kProtocolInfoSize) return gate::Failure(request, ERROR_INVALID_DATA, "a protocol entry is damaged.");
  }
  uint32_t error = ERROR_SUCCESS;
  const auto list = ListWinsockProviders(nameSpace, wow32, error);
  if (!list) return gate::Failure(request, error, "the catalog cannot be read: " + win32::SystemErrorText(error));
  // What is there already stays; the rest goes in, chains last.
  std::vector<WinsockProviderSetup> missing;
  for (bool chains : {false, true})
    for (const auto& p : providers)
      if (IsChain(p) == chains && !FindProvider(*list, p.providerId)) missing.push_back(p);
  if (missing.empty()) return gate::Done();
  if (!routines.install) return gate::Failure(request, ERROR_NOT_SUPPORTED, "there is no routine to install it.");
  request.winsock = missing;
  if (auto refused = gate::Intercepted(request)) return *refused;
  // The catalog ids the installation gives the entries: the chains name them.
  std::map<uint32_t, uint32_t> ids;
  bool anyInstalled = false;  // listed by the catalog afterwards
  for (WinsockProviderSetup p : missing) {
    for (auto& bytes : p.protocols) RemapProtocolChain(bytes, ids);
    if (const uint32_t e = routines.install(p); e != ERROR_SUCCESS) {
      const std::string reason = "the system's setup routine refused " + p.providerId + ": " + win32::SystemErrorText(e);
      return anyInstalled ? gate::FailureAfterChange(request, e, reason) : gate::Failure(request, e, reason);
    }
    const auto now = ListWinsockProviders(nameSpace, wow32, error);
    const WinsockProviderSetup* made = now ? FindProvider(*now, p.providerId) : nullptr;
    if (!made) {
      const std::string reason =
          "the system's setup routine reported " + p.providerId + " installed, but the catalog does not list it.";
      return anyInstalled ? gate::FailureAfterChange(request, ERROR_GEN_FAILURE, reason)
                          : gate::Failure(request, ERROR_GEN_FAILURE, reason);
    }
    anyInstalled = true;
    const std::vector<uint32_t> before = CatalogIds(p), after = CatalogIds(*made);
    for (std::size_t i = 0; i < before.size() && i < after.size(); ++i) ids[before[i]] = after[i];
  }
  return gate::Done();
}

}  // namespace wl
