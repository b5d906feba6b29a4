// The "Network Settings" page's portable part: the hosts file's reader, the
// classes of addresses, the verdict rules for hosts mappings, proxies and DNS
// servers, and the rows as the lists and the console print them. No system
// calls: tested natively and fuzzed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "core/hijack_list.h"
#include "core/table_text.h"
#include "network/port_rows.h"
#include "refdb/reference_tables.h"

namespace wl {

// ---- addresses ----------------------------------------------------------

// A numeric IPv4 ("1.2.3.4", four decimal parts) or IPv6 address ("::1",
// "fe80::1%12", "[::1]", "::ffff:1.2.3.4"); nullopt for anything else.
std::optional<IpAddress> ParseIpAddress(std::string_view text);

enum class AddressClass {
  Invalid,      // not a numeric address
  Unspecified,  // 0.0.0.0, :: (the name goes nowhere)
  Loopback,     // 127.0.0.0/8, ::1
  Private,      // 10/8, 172.16/12, 192.168/16, 100.64/10, 169.254/16, fc00::/7, fe80::/10
  Public,
};
AddressClass ClassifyAddress(std::string_view text);

// ---- the hosts file -----------------------------------------------------

// The first part of a hosts file that is read; what lies beyond is reported.
inline constexpr std::size_t kHostsReadLimit = 4u << 20;
// A repair rewrites files up to this size; larger ones are left alone.
inline constexpr std::size_t kHostsRewriteLimit = 64u << 20;

// A text held once and shared by everything that names it: a hosts line
// with a million names is kept once, not once per name (nor per row).
class SharedText {
 public:
  SharedText() = default;
  SharedText(std::string text) : text_(std::make_shared<const std::string>(std::move(text))) {}  // NOLINT: a text
  SharedText(const char* text) : SharedText(std::string(text)) {}                                // NOLINT: a text
  const std::string& str() const {
    static const std::string none;
    return text_ ? *text_ : none;
  }
  operator std::string_view() const { return str(); }  // NOLINT: reads as the text it holds
  bool empty() const { return str().empty(); }
  bool operator==(std::string_view other) const { return str() == other; }
  friend std::ostream& operator<<(std::ostream& out, const SharedText& text) { return out << text.str(); }

 private:
  std::shared_ptr<const std::string> text_;
};

// One name of a hosts line. address and name look into lineText, which the
// mappings of the line share: memory stays linear in the file's size.
struct HostsMapping {
  std::size_t line = 0;      // 1-based line number
  std::string_view address;  // as written
  std::string_view name;     // one name per mapping
  SharedText lineText;       // the whole line as written (no line end), for a later repair
};

struct HostsFile {
  std::vector<HostsMapping> mappings;
  std::size_t lines = 0;
  bool bom = false;            // a UTF-8 byte order mark at the start
  bool utf16 = false;          // a UTF-16 byte order mark: not read (the resolver does not read it either)
  bool binary = false;         // NUL bytes or other control bytes outside line ends and tabs
  bool truncated = false;      // only the first part was handed in; a cut last line is dropped
  std::size_t unreadable = 0;  // lines that are neither comments nor "address name…"
};

// Reads a hosts file's bytes: CR, LF and CR LF line ends (mixed too), tabs
// and blanks between fields, "#" comments (whole-line or after the names),
// several names per line. truncated: bytes are only the first part of a
// larger file.
HostsFile ParseHostsFile(std::string_view bytes, bool truncated = false);

// The file's bytes with line `line` (1-based) commented out ("# " put in
// front), everything else byte for byte as it was. nullopt when the line is
// not there or no longer reads lineText (the file changed since the scan).
std::optional<std::string> CommentOutHostsLine(std::string_view bytes, std::size_t line, std::string_view lineText);

// ---- reference data ------------------------------------------------------
// Network.db lines: "host:<domain>=<what it is>" (well-known domains: search
// engines, webmail, banks, security vendors, updates) and
// "dns:<address>=<resolver>" (well-known public DNS resolvers).

// The well-known domain name is (or is below), with what it is; empty when
// none. Case-insensitive; a trailing dot is ignored.
std::string WellKnownDomainOf(std::string_view name, const StringTable& network);
// The public resolver the address is, or empty.
std::string PublicResolverOf(std::string_view address, const StringTable& network);
// The public root ("root:<SHA-256>" lines, built from the public root
// programs' list) the thumbprint is, or empty. Any case.
std::string PublicRootOf(std::string_view sha256, const StringTable& network);

// ---- rows -----------------------------------------------------------------

inline constexpr const char* kNetworkSettingCategory = "Network Setting";

enum class NetworkRepair {
  None,
  CommentOutHostsLine,  // file, line, lineText
  DeleteValues,         // registryKey, valueNames
  DeleteCertificate,    // certStore, thumbprint
  RemoveWinsockProvider,  // providerId, nameSpace, wow32
};

struct NetworkSettingRow {
  std::string kind;      // "Hosts", "Proxy", "Proxy Script", "WinHTTP Proxy", "DNS Server", "DHCP DNS Server", "Note"
  std::string name;      // the host name, the value name, the interface
  std::string value;     // the address, the value's data
  std::string location;  // "C:\…\hosts, line 3", a registry key
  std::string verdict;   // why it is (not) flagged
  bool flagged = false;
  bool problem = false;  // a file or value that could not be read as it should

  NetworkRepair repair = NetworkRepair::None;
  std::string file;  // CommentOutHostsLine
  bool readOnlyFile = false;  // the file has the read-only attribute (kept through the change)
  std::size_t line = 0;
  SharedText lineText;      // shared with the line's other rows
  std::string registryKey;  // DeleteValues: "HKEY_CURRENT_USER\…"
  std::vector<std::string> valueNames;
  std::string certStore;    // DeleteCertificate: "LocalMachine\ROOT" …
  std::string thumbprint;   // its SHA-1, upper-case hex
  std::string providerId;   // RemoveWinsockProvider: "{GUID}"
  bool nameSpace = false;   // a namespace provider (else a protocol provider)
  bool wow32 = false;       // of the 32-bit catalog of a 64-bit system
};

// One row per mapping of a parsed hosts file (plus notes for what could not
// be read), judged.
void AddHostsRows(const HostsFile& hosts, const std::string& path, const StringTable& network,
                  std::vector<NetworkSettingRow>& rows);

// The WinINet proxy values of one place ("user", "machine", "user policy",
// "machine policy"); a value not there is nullopt.
struct ProxyValues {
  std::string place;        // shown in the Name column's prefix
  std::string registryKey;  // "HKEY_CURRENT_USER\Software\…\Internet Settings"
  bool policy = false;
  std::optional<uint32_t> proxyEnable, autoDetect;
  std::optional<std::string> proxyServer, proxyOverride, autoConfigUrl;
};
void AddProxyRows(const ProxyValues& values, std::vector<NetworkSettingRow>& rows);

// The machine's WinHTTP proxy ("netsh winhttp"): the proxy list and bypass
// as the system gives them; registryKey/valueName name where it is kept.
struct WinHttpProxy {
  std::string proxy, bypass;
  std::string registryKey, valueName;
};
void AddWinHttpRows(const WinHttpProxy& proxy, std::vector<NetworkSettingRow>& rows);

// Whether every proxy in a ProxyServer text ("host:port",
// "http=host:port;https=host:port", "socks=…") is on this machine.
bool ProxyIsLocal(std::string_view proxyServer);

// The addresses of a NameServer value (comma, blank or semicolon separated).
std::vector<std::string> SplitNameServers(std::string_view text);

// A NameServer value set by hand (dhcp false) or given by DHCP (listed, never
// flagged). name: the interface or "All interfaces".
void AddDnsRows(const std::string& name, const std::string& registryKey, const std::string& valueName,
                std::string_view servers, bool dhcp, const StringTable& network,
                std::vector<NetworkSettingRow>& rows);

// A trusted root certificate of a system store: trusted when it is a public
// root (Network.db) or Microsoft's (microsoft: Signer.db says so), flagged
// otherwise.
struct RootCertificate {
  std::string store;     // "LocalMachine\ROOT", "LocalMachineGroupPolicy\ROOT" … (the location, then the store)
  std::string subject;   // its simple display name
  std::string sha1;      // thumbprint, upper-case hex
  std::string sha256;    // upper-case hex
  bool microsoft = false;
};
void AddRootCertificateRow(const RootCertificate& root, const StringTable& network,
                           std::vector<NetworkSettingRow>& rows);

// A Winsock catalog entry: a transport provider (base or layered) or a
// namespace provider, and what the judge said of its DLL.
struct WinsockProvider {
  std::string catalog;  // "Protocol" or "Namespace"
  std::string name;     // as the catalog names it
  std::string dll;      // its DLL's path, environment variables expanded
  std::string id;       // provider GUID "{…}" (and catalog entry id for protocols)
  bool layered = false; // a layered protocol provider (sits between programs and the network)
  // Which entry it is: the provider's GUID and, for a protocol, its catalog
  // entry id; the catalog of 32-bit programs on a 64-bit system.
  std::string providerId{};
  uint32_t catalogEntryId = 0;
  bool wow32 = false;
  // Read from the registry's catalog (registryKey) and not listed by the
  // setup routines of this program's catalog.
  bool registryOnly = false;
  std::string registryKey{};
  std::optional<bool> enabled{};  // a namespace provider's Enabled value, when read
  std::string problem{};          // why its entry could not be read as it should
};
struct WinsockJudgement {
  std::string verdictText;  // the judge's text for the lists
  bool distrusted = false;  // suspicious or malicious
  bool microsoft = false;   // signed under Microsoft's roots, or one of Windows' own files
  bool judged = false;
};
// Flagged: a layered provider whose DLL is not Microsoft's, and any provider
// the judge distrusts. A flagged provider with a GUID can be removed.
void AddWinsockRow(const WinsockProvider& provider, const WinsockJudgement& judgement,
                   std::vector<NetworkSettingRow>& rows);

// The providers the setup routines list (this program's catalogs), then the
// registry's entries they do not list: the same entry (a protocol's GUID and
// catalog entry id, a namespace's GUID) of the same catalog is listed once.
// Entries of the 32-bit catalog are each listed.
std::vector<WinsockProvider> MergeWinsockProviders(std::vector<WinsockProvider> listed,
                                                   const std::vector<WinsockProvider>& registry);

// Columns and text as the console prints them; the hijack report's rows.
TextRow NetworkSettingsColumns();
TextRow NetworkSettingsRowText(const NetworkSettingRow& row);
std::vector<HijackRow> NetworkSettingsHijackRows(const std::vector<NetworkSettingRow>& rows);

}  // namespace wl
