// The system's Winsock setup routines behind WinsockSetupRoutines, reached
// only through the write routines (system_write_winsock.cpp), which back up first.
// Each is looked up in ws2_32.dll when called: the 32-bit catalog's forms
// exist only on 64-bit Windows, and some systems lack others.
#include <winsock2.h>
#include <ws2spi.h>
#include <windows.h>

#include <cstring>

#include "core/ascii.h"
#include "core/winsock_catalog.h"
#include "sysroutines/system_write.h"
#include "win32/registry.h"
#include "win32/unicode.h"

namespace wl {
namespace {

static_assert(sizeof(WSAPROTOCOL_INFOW) == kProtocolInfoSize);

constexpr char kParameters[] = "SYSTEM\\CurrentControlSet\\Services\\WinSock2\\Parameters";

FARPROC Routine(const char* name) {
  static HMODULE ws2 = LoadLibraryExW(L"ws2_32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  return ws2 ? GetProcAddress(ws2, name) : nullptr;
}

template <typename F>
F RoutineAs(const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void (*)()>(Routine(name)));
}

std::optional<GUID> GuidOf(const std::string& text) {
  const auto bytes = GuidFromText(text);
  if (!bytes) return std::nullopt;
  GUID g;
  std::memcpy(&g, bytes->data(), sizeof g);
  return g;
}

std::string TextOf(const GUID& g) {
  GuidBytes b;
  std::memcpy(b.data(), &g, sizeof g);
  return GuidText(b);
}

// The registry key of a catalog's entries; empty when the system has no
// such catalog (a 32-bit programs' catalog on a system that is not 64-bit).
std::string CatalogKey(bool nameSpace, bool wow32) {
  const std::string base = std::string(kParameters) + (nameSpace ? "\\NameSpace_Catalog5" : "\\Protocol_Catalog9");
  const bool wide = win32::RegKey::Exists(HKEY_LOCAL_MACHINE, base + "\\Catalog_Entries64");
  if (wow32) return wide ? base + "\\Catalog_Entries" : std::string();
  return base + (wide ? "\\Catalog_Entries64" : "\\Catalog_Entries");
}

WinsockProviderSetup& GroupOf(std::vector<WinsockProviderSetup>& out, const std::string& id, bool nameSpace,
                              bool wow32) {
  for (auto& p : out)
    if (EqualsNoCase(p.providerId, id)) return p;
  WinsockProviderSetup p;
  p.nameSpace = nameSpace;
  p.wow32 = wow32;
  p.providerId = id;
  out.push_back(std::move(p));
  return out.back();
}

bool Listed(const WinsockProviderSetup& p, uint32_t catalogId) {
  for (const auto& bytes : p.protocols)
    if (const auto info = ParseProtocolInfo(bytes.data(), bytes.size()); info && info->catalogEntryId == catalogId)
      return true;
  return false;
}

std::optional<std::vector<WinsockProviderSetup>> ListProtocols(bool wow32, uint32_t& error) {
  std::vector<WinsockProviderSetup> out;
  using Enum = int(WSPAPI*)(LPINT, LPWSAPROTOCOL_INFOW, LPDWORD, LPINT);
  using Path = int(WSPAPI*)(LPGUID, WCHAR*, LPINT, LPINT);
  const auto enumerate = RoutineAs<Enum>(wow32 ? "WSCEnumProtocols32" : "WSCEnumProtocols");
  const auto path = RoutineAs<Path>(wow32 ? "WSCGetProviderPath32" : "WSCGetProviderPath");
  if (enumerate) {
    DWORD size = 0;
    int e = 0;
    std::vector<WSAPROTOCOL_INFOW> infos;
    if (enumerate(nullptr, nullptr, &size, &e) == SOCKET_ERROR && e != WSAENOBUFS) {
      error = static_cast<uint32_t>(e);
      return std::nullopt;
    }
    infos.resize(size / sizeof(WSAPROTOCOL_INFOW) + 1);
    size = static_cast<DWORD>(infos.size() * sizeof(WSAPROTOCOL_INFOW));
    const int n = size ? enumerate(nullptr, infos.data(), &size, &e) : 0;
    if (n == SOCKET_ERROR) {
      error = static_cast<uint32_t>(e);
      return std::nullopt;
    }
    for (int i = 0; i < n && static_cast<std::size_t>(i) < infos.size(); ++i) {
      WinsockProviderSetup& p = GroupOf(out, TextOf(infos[static_cast<std::size_t>(i)].ProviderId), false, wow32);
      const auto* raw = reinterpret_cast<const uint8_t*>(&infos[static_cast<std::size_t>(i)]);
      p.protocols.emplace_back(raw, raw + sizeof(WSAPROTOCOL_INFOW));
      if (p.dllPath.empty() && path) {
        wchar_t buf[MAX_PATH + 1] = {};
        int len = MAX_PATH, pe = 0;
        GUID g = infos[static_cast<std::size_t>(i)].ProviderId;
        if (path(&g, buf, &len, &pe) == 0) p.dllPath = win32::Narrow(buf);
      }
    }
  }
  // The registry's entries the routine skipped (or all of them, where there
  // is no routine for this catalog).
  const std::string key = CatalogKey(false, wow32);
  const auto list = key.empty() ? std::nullopt : win32::RegKey::Open(HKEY_LOCAL_MACHINE, key);
  if (!list) return out;
  for (const std::string& sub : list->SubKeyNames()) {
    const auto value = win32::ReadValueAt(HKEY_LOCAL_MACHINE, key + "\\" + sub, "PackedCatalogItem");
    if (!value || value->type != REG_BINARY) continue;
    const auto item = ParsePackedCatalogItem(value->data.data(), value->data.size());
    if (!item || item->pathUnterminated) continue;
    WinsockProviderSetup& p = GroupOf(out, GuidText(item->info.providerId), false, wow32);
    if (Listed(p, item->info.catalogEntryId)) continue;
    p.protocols.push_back(item->infoBytes);
    if (p.dllPath.empty()) {
      // The stored path is ANSI text of the system's code page.
      const std::string& a = item->dllPathAnsi;
      const int n = MultiByteToWideChar(CP_ACP, 0, a.data(), static_cast<int>(a.size()), nullptr, 0);
      std::wstring w(static_cast<std::size_t>(std::max(n, 0)), L'\0');
      if (n > 0) MultiByteToWideChar(CP_ACP, 0, a.data(), static_cast<int>(a.size()), w.data(), n);
      p.dllPath = win32::Narrow(w);
    }
  }
  return out;
}

std::optional<std::vector<WinsockProviderSetup>> ListNameSpaces(bool wow32, uint32_t& error) {
  std::vector<WinsockProviderSetup> out;
  using Enum = INT(WSAAPI*)(LPDWORD, LPWSANAMESPACE_INFOW);
  const auto enumerate = RoutineAs<Enum>(wow32 ? "WSCEnumNameSpaceProviders32" : "WSAEnumNameSpaceProvidersW");
  if (enumerate) {
    DWORD size = 0;
    if (enumerate(&size, nullptr) == SOCKET_ERROR && size) {
      std::vector<uint8_t> buf(size);
      auto* info = reinterpret_cast<WSANAMESPACE_INFOW*>(buf.data());
      const int n = enumerate(&size, info);
      if (n == SOCKET_ERROR) {
        error = GetLastError();
        return std::nullopt;
      }
      for (int i = 0; i < n; ++i) {
        WinsockProviderSetup& p = GroupOf(out, TextOf(info[i].NSProviderId), true, wow32);
        p.displayName = info[i].lpszIdentifier ? win32::Narrow(info[i].lpszIdentifier) : std::string();
        p.nameSpaceId = info[i].dwNameSpace;
        p.version = info[i].dwVersion;
        p.enabled = info[i].fActive != FALSE;
      }
    }
  }
  // The registry gives each its DLL, and the entries the routine skipped.
  const std::string key = CatalogKey(true, wow32);
  const auto list = key.empty() ? std::nullopt : win32::RegKey::Open(HKEY_LOCAL_MACHINE, key);
  if (!list) return out;
  for (const std::string& sub : list->SubKeyNames()) {
    const auto entry = win32::RegKey::Open(HKEY_LOCAL_MACHINE, key + "\\" + sub);
    const auto guid = entry ? entry->Read("ProviderId") : std::nullopt;
    if (!guid || guid->type != REG_BINARY || guid->data.size() != 16) continue;
    GuidBytes g;
    std::copy(guid->data.begin(), guid->data.end(), g.begin());
    const bool known = [&] {
      for (const auto& p : out)
        if (EqualsNoCase(p.providerId, GuidText(g))) return true;
      return false;
    }();
    WinsockProviderSetup& p = GroupOf(out, GuidText(g), true, wow32);
    if (const auto v = entry->Read("LibraryPath"))
      if (const auto text = win32::RegValueString(*v)) p.dllPath = *text;
    if (known) continue;
    if (const auto v = entry->Read("DisplayString"))
      if (const auto text = win32::RegValueString(*v)) p.displayName = *text;
    p.nameSpaceId = entry->ReadDword("SupportedNameSpace").value_or(0);
    p.version = entry->ReadDword("Version").value_or(0);
    p.enabled = entry->ReadDword("Enabled").value_or(1) != 0;
  }
  return out;
}

uint32_t Remove(const WinsockProviderSetup& p) {
  auto guid = GuidOf(p.providerId);
  if (!guid) return ERROR_INVALID_PARAMETER;
  if (p.nameSpace) {
    using Fn = INT(WSPAPI*)(LPGUID);
    const auto fn = RoutineAs<Fn>(p.wow32 ? "WSCUnInstallNameSpace32" : "WSCUnInstallNameSpace");
    if (!fn) return ERROR_PROC_NOT_FOUND;
    SetLastError(ERROR_SUCCESS);
    return fn(&*guid) == SOCKET_ERROR ? (GetLastError() ? GetLastError() : ERROR_GEN_FAILURE) : ERROR_SUCCESS;
  }
  using Fn = int(WSPAPI*)(LPGUID, LPINT);
  const auto fn = RoutineAs<Fn>(p.wow32 ? "WSCDeinstallProvider32" : "WSCDeinstallProvider");
  if (!fn) return ERROR_PROC_NOT_FOUND;
  int e = 0;
  return fn(&*guid, &e) == SOCKET_ERROR ? static_cast<uint32_t>(e ? e : WSAEINVAL) : ERROR_SUCCESS;
}

uint32_t Install(const WinsockProviderSetup& p) {
  auto guid = GuidOf(p.providerId);
  if (!guid) return ERROR_INVALID_PARAMETER;
  std::wstring path = win32::Widen(p.dllPath);
  if (p.nameSpace) {
    using Fn = INT(WSPAPI*)(LPWSTR, LPWSTR, DWORD, DWORD, LPGUID);
    using Enable = INT(WSPAPI*)(LPGUID, BOOL);
    const auto fn = RoutineAs<Fn>(p.wow32 ? "WSCInstallNameSpace32" : "WSCInstallNameSpace");
    const auto enable = RoutineAs<Enable>(p.wow32 ? "WSCEnableNSProvider32" : "WSCEnableNSProvider");
    if (!fn) return ERROR_PROC_NOT_FOUND;
    std::wstring name = win32::Widen(p.displayName);
    SetLastError(ERROR_SUCCESS);
    if (fn(name.data(), path.data(), p.nameSpaceId, p.version, &*guid) == SOCKET_ERROR)
      return GetLastError() ? GetLastError() : ERROR_GEN_FAILURE;
    if (!p.enabled && enable && enable(&*guid, FALSE) == SOCKET_ERROR)
      return GetLastError() ? GetLastError() : ERROR_GEN_FAILURE;
    return ERROR_SUCCESS;
  }
  std::vector<WSAPROTOCOL_INFOW> infos(p.protocols.size());
  for (std::size_t i = 0; i < infos.size(); ++i) {
    if (p.protocols[i].size() != sizeof(WSAPROTOCOL_INFOW)) return ERROR_INVALID_DATA;
    std::memcpy(&infos[i], p.protocols[i].data(), sizeof(WSAPROTOCOL_INFOW));
  }
  using Fn = int(WSPAPI*)(LPGUID, const WCHAR*, LPWSAPROTOCOL_INFOW, DWORD, LPINT);
  int e = 0;
  if (!p.wow32) {
    const auto fn = RoutineAs<Fn>("WSCInstallProvider");
    if (!fn) return ERROR_PROC_NOT_FOUND;
    return fn(&*guid, path.c_str(), infos.data(), static_cast<DWORD>(infos.size()), &e) == SOCKET_ERROR
               ? static_cast<uint32_t>(e ? e : WSAEINVAL)
               : ERROR_SUCCESS;
  }
  // A 64-bit program reaches the 32-bit catalog only together with the
  // 64-bit one: the provider goes into both, then out of the 64-bit one
  // again (which must not have held it).
  const auto both = RoutineAs<Fn>("WSCInstallProvider64_32");
  using Deinstall = int(WSPAPI*)(LPGUID, LPINT);
  const auto deinstall = RoutineAs<Deinstall>("WSCDeinstallProvider");
  if (!both || !deinstall) return ERROR_PROC_NOT_FOUND;
  uint32_t error = ERROR_SUCCESS;
  const auto wide = ListProtocols(false, error);
  if (!wide) return error;
  for (const auto& q : *wide)
    if (EqualsNoCase(q.providerId, p.providerId)) return ERROR_ALREADY_EXISTS;
  if (both(&*guid, path.c_str(), infos.data(), static_cast<DWORD>(infos.size()), &e) == SOCKET_ERROR)
    return static_cast<uint32_t>(e ? e : WSAEINVAL);
  return deinstall(&*guid, &e) == SOCKET_ERROR ? static_cast<uint32_t>(e ? e : WSAEINVAL) : ERROR_SUCCESS;
}

}  // namespace

WinsockSetupRoutines SystemWinsockSetup() {
  WinsockSetupRoutines r;
  r.list = [](bool nameSpace, bool wow32, uint32_t& error) {
    return nameSpace ? ListNameSpaces(wow32, error) : ListProtocols(wow32, error);
  };
  r.remove = &Remove;
  r.install = &Install;
  return r;
}

}  // namespace wl
