#include "network/network_settings_scan.h"

#include <winsock2.h>
#include <ws2spi.h>
#include <windows.h>
#include <wincrypt.h>
#include <winhttp.h>
#include <objbase.h>

#include <map>
#include <memory>
#include <set>

#include "core/sha256.h"
#include "core/winsock_catalog.h"
#include "judge/judge.h"

#include "sysroutines/system_paths.h"
#include "win32/file_path.h"
#include "win32/handles.h"
#include "win32/registry.h"
#include "win32/system_error.h"
#include "win32/unicode.h"

namespace wl {
namespace {

std::string Expanded(const std::string& text) {
  const std::wstring in = win32::Widen(text);
  const DWORD n = ExpandEnvironmentStringsW(in.c_str(), nullptr, 0);
  if (n == 0) return text;
  std::wstring out(n, L'\0');
  const DWORD got = ExpandEnvironmentStringsW(in.c_str(), out.data(), n);
  if (got == 0 || got > n) return text;
  out.resize(got - 1);
  return win32::Narrow(out);
}

std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

std::string WithoutTrailingSlash(std::string s) {
  while (s.size() > 3 && (s.back() == '\\' || s.back() == '/')) s.pop_back();
  return s;
}

// The first `limit` bytes of a file, and whether there is more. nullopt
// with error set when it cannot be read.
std::optional<std::string> ReadFileStart(const std::string& path, std::size_t limit, bool& more, DWORD& error) {
  more = false;
  win32::UniqueHfile in(CreateFileW(win32::ApiPath(path).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!in) {
    error = GetLastError();
    return std::nullopt;
  }
  LARGE_INTEGER size{};
  if (GetFileSizeEx(in.get(), &size) && static_cast<uint64_t>(size.QuadPart) > limit) more = true;
  std::string bytes;
  std::vector<char> buf(1 << 16);
  while (bytes.size() < limit) {
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(buf.size(), limit - bytes.size()));
    if (!ReadFile(in.get(), buf.data(), want, &got, nullptr)) {
      error = GetLastError();
      return std::nullopt;
    }
    if (got == 0) break;
    bytes.append(buf.data(), got);
  }
  if (bytes.size() >= limit) {
    char probe;
    DWORD got = 0;
    if (ReadFile(in.get(), &probe, 1, &got, nullptr) && got == 1) more = true;
  }
  return bytes;
}

void AddHostsFile(const std::string& path, const StringTable& network, std::vector<NetworkSettingRow>& rows) {
  bool more = false;
  DWORD error = ERROR_SUCCESS;
  const auto bytes = ReadFileStart(path, kHostsReadLimit, more, error);
  if (!bytes) {
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return;
    NetworkSettingRow row;
    row.kind = "Note";
    row.name = "Hosts file";
    row.location = path;
    row.verdict = "The file cannot be read: " + win32::SystemErrorText(error);
    row.problem = true;
    rows.push_back(std::move(row));
    return;
  }
  const std::size_t first = rows.size();
  AddHostsRows(ParseHostsFile(*bytes, more), path, network, rows);
  const DWORD attributes = win32::FileAttributes(path);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
    for (std::size_t i = first; i < rows.size(); ++i) rows[i].readOnlyFile = true;
}

std::optional<std::string> StringValue(const win32::RegKey& key, const char* name) {
  const auto v = key.Read(name);
  if (!v) return std::nullopt;
  if (auto s = win32::RegValueString(*v)) return s;
  return win32::RegValueText(*v);
}

void AddProxyPlace(HKEY root, const std::string& path, const std::string& place, bool policy,
                   std::vector<NetworkSettingRow>& rows) {
  const auto key = win32::RegKey::Open(root, path);
  if (!key) return;
  ProxyValues v;
  v.place = place;
  v.policy = policy;
  v.registryKey = std::string(win32::RootName(root)) + "\\" + path;
  v.proxyEnable = key->ReadDword("ProxyEnable");
  v.autoDetect = key->ReadDword("AutoDetect");
  v.proxyServer = StringValue(*key, "ProxyServer");
  v.proxyOverride = StringValue(*key, "ProxyOverride");
  v.autoConfigUrl = StringValue(*key, "AutoConfigURL");
  AddProxyRows(v, rows);
}

void AddDnsPlace(const std::string& tcpip, const StringTable& network, std::vector<NetworkSettingRow>& rows) {
  const std::string root = "HKEY_LOCAL_MACHINE\\";
  if (const auto key = win32::RegKey::Open(HKEY_LOCAL_MACHINE, tcpip)) {
    for (const char* name : {"NameServer", "DhcpNameServer"})
      if (const auto s = StringValue(*key, name))
        AddDnsRows("All interfaces", root + tcpip, name, *s, std::string(name) == "DhcpNameServer", network, rows);
  }
  const std::string interfaces = tcpip + "\\Interfaces";
  const auto list = win32::RegKey::Open(HKEY_LOCAL_MACHINE, interfaces);
  if (!list) return;
  for (const std::string& sub : list->SubKeyNames()) {
    const auto key = win32::RegKey::Open(HKEY_LOCAL_MACHINE, interfaces + "\\" + sub);
    if (!key) continue;
    for (const char* name : {"NameServer", "DhcpNameServer"})
      if (const auto s = StringValue(*key, name))
        AddDnsRows(sub, root + interfaces + "\\" + sub, name, *s, std::string(name) == "DhcpNameServer", network,
                   rows);
  }
}

std::optional<WinHttpProxy> SystemWinHttpProxy() {
  WINHTTP_PROXY_INFO info{};
  if (!WinHttpGetDefaultProxyConfiguration(&info)) return std::nullopt;
  WinHttpProxy p;
  if (info.lpszProxy) p.proxy = win32::Narrow(info.lpszProxy);
  if (info.lpszProxyBypass) p.bypass = win32::Narrow(info.lpszProxyBypass);
  if (info.lpszProxy) GlobalFree(info.lpszProxy);
  if (info.lpszProxyBypass) GlobalFree(info.lpszProxyBypass);
  if (info.dwAccessType != WINHTTP_ACCESS_TYPE_NAMED_PROXY) p.proxy.clear();
  p.registryKey = "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";
  p.valueName = "WinHttpSettings";
  return p;
}

std::string UpperHex(const uint8_t* bytes, std::size_t size) {
  std::string hex = HexText(bytes, size);
  for (char& c : hex)
    if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
  return hex;
}

}  // namespace

namespace {

// The store locations by the names the lists use, and which earlier
// locations each one's system store shows as well (the system store of a
// location is a collection: the machine's root store shows the enterprise
// and group-policy stores, the user's shows those and the machine's).
struct StoreLocation {
  const char* name;
  DWORD flag;
  std::vector<std::string> shows;
};
const std::vector<StoreLocation>& StoreLocations() {
  static const std::vector<StoreLocation> locations = {
      {"LocalMachineGroupPolicy", CERT_SYSTEM_STORE_LOCAL_MACHINE_GROUP_POLICY, {}},
      {"LocalMachineEnterprise", CERT_SYSTEM_STORE_LOCAL_MACHINE_ENTERPRISE, {}},
      {"CurrentUserGroupPolicy", CERT_SYSTEM_STORE_CURRENT_USER_GROUP_POLICY, {}},
      {"LocalMachine", CERT_SYSTEM_STORE_LOCAL_MACHINE, {"LocalMachineGroupPolicy", "LocalMachineEnterprise"}},
      {"CurrentUser", CERT_SYSTEM_STORE_CURRENT_USER,
       {"LocalMachine", "LocalMachineGroupPolicy", "LocalMachineEnterprise", "CurrentUserGroupPolicy"}},
  };
  return locations;
}

}  // namespace

std::vector<RootCertificate> ReadRootCertificates(const std::vector<std::string>& stores) {
  std::vector<RootCertificate> out;
  std::map<std::string, std::set<std::string>> listed;  // location -> thumbprints listed from its stores
  for (const std::string& store : stores) {
    const auto slash = store.find('\\');
    if (slash == std::string::npos) continue;
    const std::string location = store.substr(0, slash);
    const StoreLocation* where = nullptr;
    for (const StoreLocation& l : StoreLocations())
      if (location == l.name) where = &l;
    if (!where) continue;
    const std::wstring name = win32::Widen(store.substr(slash + 1));
    // Read-only, and never made when missing.
    HCERTSTORE opened = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0,
                                      where->flag | CERT_STORE_READONLY_FLAG | CERT_STORE_OPEN_EXISTING_FLAG,
                                      name.c_str());
    if (!opened) continue;
    struct Closer {
      void operator()(HCERTSTORE s) const { CertCloseStore(s, 0); }
    };
    const std::unique_ptr<void, Closer> closer(opened);
    PCCERT_CONTEXT cert = nullptr;
    while ((cert = CertEnumCertificatesInStore(opened, cert)) != nullptr) {
      RootCertificate root;
      root.store = store;
      BYTE sha1[20];
      DWORD n = sizeof sha1;
      if (CryptHashCertificate(0, CALG_SHA1, 0, cert->pbCertEncoded, cert->cbCertEncoded, sha1, &n) && n == 20)
        root.sha1 = UpperHex(sha1, n);
      // A root another location's store holds, as this collection shows it
      // too, is listed once: where it is kept.
      bool shown = false;
      for (const std::string& other : where->shows) shown = shown || listed[other].count(root.sha1);
      if (shown) continue;
      listed[location].insert(root.sha1);
      Sha256 h;
      h.Update(cert->pbCertEncoded, cert->cbCertEncoded);
      const auto digest = h.Final();
      root.sha256 = UpperHex(digest.data(), digest.size());
      wchar_t buf[512];
      const DWORD got = CertGetNameStringW(cert, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, buf, 512);
      if (got > 1) root.subject = win32::Narrow(std::wstring(buf, got - 1));
      out.push_back(std::move(root));
    }
  }
  return out;
}

std::string GuidText(const GUID& g) {
  wchar_t buf[64];
  return StringFromGUID2(g, buf, 64) > 0 ? win32::Narrow(buf) : std::string();
}

std::vector<WinsockProvider> SystemWinsockProviders() {
  std::vector<WinsockProvider> out;
  DWORD size = 0;
  int error = 0;
  std::vector<uint8_t> buf;
  if (WSCEnumProtocols(nullptr, nullptr, &size, &error) == SOCKET_ERROR && error == WSAENOBUFS && size) {
    buf.resize(size);
    auto* info = reinterpret_cast<WSAPROTOCOL_INFOW*>(buf.data());
    const int n = WSCEnumProtocols(nullptr, info, &size, &error);
    for (int i = 0; i < n && n != SOCKET_ERROR; ++i) {
      WinsockProvider p;
      p.catalog = "Protocol";
      p.name = win32::Narrow(info[i].szProtocol);
      p.providerId = GuidText(info[i].ProviderId);
      p.catalogEntryId = info[i].dwCatalogEntryId;
      p.id = p.providerId + " #" + std::to_string(info[i].dwCatalogEntryId);
      p.layered = info[i].ProtocolChain.ChainLen == LAYERED_PROTOCOL;
      wchar_t path[MAX_PATH + 1] = {};
      int len = MAX_PATH, err = 0;
      GUID id = info[i].ProviderId;
      if (WSCGetProviderPath(&id, path, &len, &err) == 0) p.dll = Expanded(win32::Narrow(path));
      out.push_back(std::move(p));
    }
  }
  size = 0;
  if (WSAEnumNameSpaceProvidersW(&size, nullptr) == SOCKET_ERROR && size) {
    std::vector<uint8_t> ns(size);
    auto* info = reinterpret_cast<WSANAMESPACE_INFOW*>(ns.data());
    const int n = WSAEnumNameSpaceProvidersW(&size, info);
    for (int i = 0; i < n && n != SOCKET_ERROR; ++i) {
      WinsockProvider p;
      p.catalog = "Namespace";
      p.name = info[i].lpszIdentifier ? win32::Narrow(info[i].lpszIdentifier) : std::string();
      p.id = GuidText(info[i].NSProviderId);
      p.providerId = p.id;
      wchar_t path[MAX_PATH + 1] = {};
      int len = MAX_PATH, err = 0;
      GUID id = info[i].NSProviderId;
      if (WSCGetProviderPath(&id, path, &len, &err) == 0) p.dll = Expanded(win32::Narrow(path));
      out.push_back(std::move(p));
    }
  }
  return out;
}

namespace {

// ANSI text of the system's code page as UTF-8.
std::string FromAnsi(const std::string& ansi) {
  if (ansi.empty()) return {};
  const int n = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
  if (n <= 0) return ansi;
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), wide.data(), n);
  return win32::Narrow(wide);
}

// A provider DLL's path as the catalog's programs load it: expanded, and for
// the 32-bit catalog the system folder is the 32-bit programs' one.
std::string ProviderDllPath(const std::string& stored, bool wow32) {
  std::string path = Expanded(stored);
  if (!wow32) return path;
  const std::string system = SystemFolder();
  wchar_t buf[MAX_PATH + 1] = {};
  const UINT n = GetSystemWow64DirectoryW(buf, MAX_PATH);
  if (system.empty() || n == 0 || n > MAX_PATH) return path;
  if (path.size() > system.size() && path[system.size()] == '\\' && Upper(path.substr(0, system.size())) == Upper(system))
    path = win32::Narrow(std::wstring(buf, n)) + path.substr(system.size());
  return path;
}

void ReadProtocolCatalog(const std::string& key, bool wow32, std::vector<WinsockProvider>& out) {
  const auto list = win32::RegKey::Open(HKEY_LOCAL_MACHINE, key);
  if (!list) return;
  for (const std::string& sub : list->SubKeyNames()) {
    WinsockProvider p;
    p.catalog = "Protocol";
    p.wow32 = wow32;
    p.registryKey = "HKEY_LOCAL_MACHINE\\" + key + "\\" + sub;
    p.id = sub;
    const auto entry = win32::RegKey::Open(HKEY_LOCAL_MACHINE, key + "\\" + sub);
    const auto packed = entry ? entry->Read("PackedCatalogItem") : std::nullopt;
    std::string why = "it has no PackedCatalogItem value";
    const auto item = packed && packed->type == REG_BINARY
                          ? ParsePackedCatalogItem(packed->data.data(), packed->data.size(), &why)
                          : std::nullopt;
    if (packed && packed->type != REG_BINARY) why = "its PackedCatalogItem value is not binary";
    if (!item) {
      p.name = "(unreadable entry)";
      p.problem = "The entry cannot be read: " + why;
      out.push_back(std::move(p));
      continue;
    }
    p.name = item->info.name;
    p.providerId = GuidText(item->info.providerId);
    p.catalogEntryId = item->info.catalogEntryId;
    p.id = p.providerId + " #" + std::to_string(p.catalogEntryId);
    p.layered = item->info.Layered();
    p.dll = ProviderDllPath(FromAnsi(item->dllPathAnsi), wow32);
    if (item->pathUnterminated) p.problem = "Its DLL path is not terminated within its field";
    out.push_back(std::move(p));
  }
}

void ReadNameSpaceCatalog(const std::string& key, bool wow32, std::vector<WinsockProvider>& out) {
  const auto list = win32::RegKey::Open(HKEY_LOCAL_MACHINE, key);
  if (!list) return;
  for (const std::string& sub : list->SubKeyNames()) {
    WinsockProvider p;
    p.catalog = "Namespace";
    p.wow32 = wow32;
    p.registryKey = "HKEY_LOCAL_MACHINE\\" + key + "\\" + sub;
    p.id = sub;
    const auto entry = win32::RegKey::Open(HKEY_LOCAL_MACHINE, key + "\\" + sub);
    if (!entry) continue;
    p.name = StringValue(*entry, "DisplayString").value_or("");
    if (const auto path = entry->Read("LibraryPath"))
      if (const auto text = win32::RegValueString(*path)) p.dll = ProviderDllPath(*text, wow32);
    if (const auto enabled = entry->ReadDword("Enabled")) p.enabled = *enabled != 0;
    const auto guid = entry->Read("ProviderId");
    if (guid && guid->type == REG_BINARY && guid->data.size() == 16) {
      GuidBytes g;
      std::copy(guid->data.begin(), guid->data.end(), g.begin());
      p.providerId = GuidText(g);
      p.id = p.providerId;
    } else {
      p.problem = "Its ProviderId is not a 16-byte binary value";
    }
    out.push_back(std::move(p));
  }
}

}  // namespace

std::vector<WinsockProvider> ReadWinsockRegistryCatalogs(const std::string& parameters) {
  std::vector<WinsockProvider> out;
  if (parameters.empty()) return out;
  for (const char* catalog : {"\\Protocol_Catalog9", "\\NameSpace_Catalog5"}) {
    const std::string base = parameters + catalog;
    // A 64-bit system keeps its own catalog in Catalog_Entries64; then
    // Catalog_Entries is the 32-bit programs'.
    const bool wide = win32::RegKey::Exists(HKEY_LOCAL_MACHINE, base + "\\Catalog_Entries64");
    const bool protocols = std::string(catalog) == "\\Protocol_Catalog9";
    for (const auto& [sub, wow32] : {std::pair{"\\Catalog_Entries64", false}, std::pair{"\\Catalog_Entries", wide}}) {
      if (!wide && !wow32 && std::string(sub) == "\\Catalog_Entries64") continue;
      if (protocols)
        ReadProtocolCatalog(base + sub, wow32, out);
      else
        ReadNameSpaceCatalog(base + sub, wow32, out);
    }
  }
  return out;
}

std::vector<std::string> SystemHostsFiles() {
  const std::string system = SystemFolder() + "\\drivers\\etc\\hosts";
  std::vector<std::string> files{system};
  if (const auto key =
          win32::RegKey::Open(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters")) {
    if (const auto folder = key->ReadString("DataBasePath"); folder && !folder->empty()) {
      const std::string other = WithoutTrailingSlash(Expanded(*folder)) + "\\hosts";
      if (Upper(win32::StoredPath(other)) != Upper(win32::StoredPath(system)) && Upper(other) != Upper(system))
        files.push_back(other);
    }
  }
  return files;
}

NetworkSettingsPlaces NetworkSettingsPlaces::OfThisSystem() {
  NetworkSettingsPlaces places;
  places.hostsFiles = SystemHostsFiles();
  places.winHttpProxy = &SystemWinHttpProxy;
  // The enterprise and group-policy stores first: the machine's and the
  // user's root stores show their roots too, which are listed where they
  // are kept.
  places.rootStores = {"LocalMachineGroupPolicy\\ROOT", "LocalMachineEnterprise\\ROOT", "CurrentUserGroupPolicy\\ROOT",
                       "LocalMachine\\ROOT", "LocalMachine\\AuthRoot", "CurrentUser\\ROOT"};
  places.winsockProviders = &SystemWinsockProviders;
  places.winsockCatalogs = kWinsockCatalogsKey;
  return places;
}

std::vector<NetworkSettingRow> ScanNetworkSettings(const ReferenceTables& tables, const NetworkSettingsPlaces& places,
                                                   const Judge* judge) {
  std::vector<NetworkSettingRow> rows;
  for (const std::string& file : places.hostsFiles) AddHostsFile(file, tables.network, rows);
  AddProxyPlace(HKEY_CURRENT_USER, places.internetPolicies, "User policy", true, rows);
  AddProxyPlace(HKEY_LOCAL_MACHINE, places.internetPolicies, "Machine policy", true, rows);
  AddProxyPlace(HKEY_CURRENT_USER, places.internetSettings, "User", false, rows);
  AddProxyPlace(HKEY_LOCAL_MACHINE, places.internetSettings, "Machine", false, rows);
  if (places.winHttpProxy)
    if (const auto p = places.winHttpProxy()) AddWinHttpRows(*p, rows);
  AddDnsPlace(places.tcpip, tables.network, rows);
  AddDnsPlace(places.tcpip6, tables.network, rows);
  for (RootCertificate& root : ReadRootCertificates(places.rootStores)) {
    root.microsoft = SignerGroupOf(root.sha256, tables) == "Microsoft";
    AddRootCertificateRow(root, tables.network, rows);
  }
  if (places.winsockProviders || !places.winsockCatalogs.empty()) {
    const std::vector<WinsockProvider> providers =
        MergeWinsockProviders(places.winsockProviders ? places.winsockProviders() : std::vector<WinsockProvider>{},
                              ReadWinsockRegistryCatalogs(places.winsockCatalogs));
    // Entries without a DLL path (unreadable ones) are listed unjudged.
    std::vector<JudgeRequest> requests;
    std::vector<std::size_t> requestOf(providers.size(), SIZE_MAX);
    for (std::size_t i = 0; i < providers.size(); ++i) {
      if (providers[i].dll.empty()) continue;
      requestOf[i] = requests.size();
      requests.emplace_back(providers[i].dll, Origin::Other, true);
    }
    std::vector<Judgement> judgements;
    if (judge) judgements = judge->AssessAll(requests);
    for (std::size_t i = 0; i < providers.size(); ++i) {
      WinsockJudgement w;
      if (requestOf[i] < judgements.size()) {
        const Judgement& j = judgements[requestOf[i]];
        w.judged = true;
        w.verdictText = VerdictText(j);
        w.distrusted = j.verdict == Verdict::Suspicious || j.verdict == Verdict::Malicious;
        w.microsoft = j.windowsFile || SignerGroupOf(j.signature.rootThumbprint, tables) == "Microsoft";
      }
      AddWinsockRow(providers[i], w, rows);
    }
  }
  return rows;
}

bool CanRepair(const NetworkSettingRow& row) {
  switch (row.repair) {
    case NetworkRepair::None: return false;
    case NetworkRepair::CommentOutHostsLine: return !row.file.empty() && row.line > 0;
    case NetworkRepair::DeleteValues: return !row.registryKey.empty() && !row.valueNames.empty();
    case NetworkRepair::DeleteCertificate: return !row.certStore.empty() && !row.thumbprint.empty();
    case NetworkRepair::RemoveWinsockProvider: return !row.providerId.empty();
  }
  return false;
}

WriteResult RepairNetworkSetting(const NetworkSettingRow& row) {
  WriteResult fail;
  fail.error = ERROR_NOT_SUPPORTED;
  switch (row.repair) {
    case NetworkRepair::None:
      fail.message = "This entry has nothing to repair.";
      return fail;
    case NetworkRepair::CommentOutHostsLine: {
      bool more = false;
      DWORD error = ERROR_SUCCESS;
      const auto bytes = ReadFileStart(row.file, kHostsRewriteLimit, more, error);
      if (!bytes) {
        fail.error = error;
        fail.message = "Could not read " + row.file + ": " + win32::SystemErrorText(error);
        return fail;
      }
      if (more) {
        fail.error = ERROR_FILE_TOO_LARGE;
        fail.message = row.file + " is too large to be changed safely; edit it by hand.";
        return fail;
      }
      const auto fixed = CommentOutHostsLine(*bytes, row.line, row.lineText);
      if (!fixed) {
        fail.error = ERROR_INVALID_DATA;
        fail.message = row.file + " was changed since it was read: refresh the list and try again.";
        return fail;
      }
      return RewriteFile(row.file, *fixed);
    }
    case NetworkRepair::DeleteValues: {
      bool any = false;
      for (const std::string& name : row.valueNames) {
        WriteResult r = DeleteRegistryValuePath(row.registryKey, name);
        if (r.NotFound()) continue;
        if (!r) return r;
        any = true;
      }
      if (!any) {
        fail.error = ERROR_FILE_NOT_FOUND;
        fail.message = "The value is no longer there.";
        return fail;
      }
      return {};
    }
    case NetworkRepair::DeleteCertificate:
      return DeleteCertificate(row.certStore, row.thumbprint);
    case NetworkRepair::RemoveWinsockProvider:
      return RemoveWinsockProvider(row.providerId, row.nameSpace, row.wow32);
  }
  return fail;
}

PageText NetworkSettingsPageText(const Judge& judge) {
  return NetworkSettingsPageTextOf(ScanNetworkSettings(judge.Tables(), NetworkSettingsPlaces::OfThisSystem(), &judge));
}

PageText NetworkSettingsPageTextOf(const std::vector<NetworkSettingRow>& rows) {
  PageText text;
  text.header = NetworkSettingsColumns();
  for (const auto& row : rows) text.rows.push_back(NetworkSettingsRowText(row));
  text.hijack = NetworkSettingsHijackRows(rows);
  return text;
}

}  // namespace wl
