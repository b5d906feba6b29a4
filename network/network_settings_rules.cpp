#include "network/network_settings_rules.h"

#include <algorithm>
#include <cctype>

namespace wl {
namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string LowerText(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = Lower(c);
  return out;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

// Text as the lists show it: bytes that are not UTF-8 become "?", control
// bytes a blank; long texts are cut.
std::string Shown(std::string_view text, std::size_t limit = 300) {
  std::string out;
  for (std::size_t i = 0; i < text.size() && out.size() < limit;) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c == 0x7F) {
      out += ' ';
      ++i;
      continue;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
      ++i;
      continue;
    }
    std::size_t n = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
    bool ok = n != 0 && i + n <= text.size();
    for (std::size_t k = 1; ok && k < n; ++k) ok = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
    if (!ok) {
      out += '?';
      ++i;
      continue;
    }
    out.append(text.substr(i, n));
    i += n;
  }
  if (out.size() >= limit) out += "\xE2\x80\xA6";
  return out;
}

std::optional<uint32_t> ParseDecimal(std::string_view s, uint32_t max) {
  if (s.empty() || s.size() > 10) return std::nullopt;
  uint64_t v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + static_cast<uint64_t>(c - '0');
  }
  if (v > max) return std::nullopt;
  return static_cast<uint32_t>(v);
}

std::optional<IpAddress> ParseV4(std::string_view s) {
  IpAddress ip;
  for (int part = 0; part < 4; ++part) {
    const auto dot = s.find('.');
    if ((part < 3) != (dot != std::string_view::npos)) return std::nullopt;
    const auto v = ParseDecimal(s.substr(0, dot), 255);
    if (!v) return std::nullopt;
    ip.bytes[static_cast<std::size_t>(part)] = static_cast<uint8_t>(*v);
    if (dot == std::string_view::npos) break;
    s.remove_prefix(dot + 1);
  }
  return ip;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = Lower(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::optional<IpAddress> ParseV6(std::string_view s) {
  std::vector<uint16_t> head, tail;
  bool gap = false;
  std::vector<uint16_t>* cur = &head;
  if (s.starts_with("::")) {
    gap = true;
    cur = &tail;
    s.remove_prefix(2);
  } else if (s.starts_with(':')) {
    return std::nullopt;
  }
  std::optional<IpAddress> v4tail;
  while (!s.empty()) {
    const auto colon = s.find(':');
    const std::string_view group = s.substr(0, colon);
    if (colon == std::string_view::npos && group.find('.') != std::string_view::npos) {
      v4tail = ParseV4(group);
      if (!v4tail) return std::nullopt;
      s = {};
      break;
    }
    if (group.empty() || group.size() > 4) return std::nullopt;
    uint32_t v = 0;
    for (char c : group) {
      const int d = HexDigit(c);
      if (d < 0) return std::nullopt;
      v = v * 16 + static_cast<uint32_t>(d);
    }
    cur->push_back(static_cast<uint16_t>(v));
    if (colon == std::string_view::npos) {
      s = {};
      break;
    }
    s.remove_prefix(colon + 1);
    if (s.starts_with(':')) {
      if (gap) return std::nullopt;
      gap = true;
      cur = &tail;
      s.remove_prefix(1);
    } else if (s.empty()) {
      return std::nullopt;  // a trailing single colon
    }
  }
  const std::size_t groups = head.size() + tail.size() + (v4tail ? 2 : 0);
  if (groups > 8 || (!gap && groups != 8) || (gap && groups == 8)) return std::nullopt;
  IpAddress ip;
  ip.v6 = true;
  std::size_t at = 0;
  auto put = [&ip, &at](uint16_t g) {
    ip.bytes[at++] = static_cast<uint8_t>(g >> 8);
    ip.bytes[at++] = static_cast<uint8_t>(g & 0xFF);
  };
  for (uint16_t g : head) put(g);
  at = 16 - 2 * tail.size() - (v4tail ? 4 : 0);
  for (uint16_t g : tail) put(g);
  if (v4tail)
    for (int k = 0; k < 4; ++k) ip.bytes[at++] = v4tail->bytes[static_cast<std::size_t>(k)];
  return ip;
}

std::string_view Trimmed(std::string_view s) {
  while (!s.empty() && (IsBlank(s.front()) || s.front() == '\r' || s.front() == '\n')) s.remove_prefix(1);
  while (!s.empty() && (IsBlank(s.back()) || s.back() == '\r' || s.back() == '\n')) s.remove_suffix(1);
  return s;
}

// Whether a host name (or a proxy host) is this machine.
bool IsLocalHostName(std::string_view host) {
  const std::string h = LowerText(host);
  if (h == "localhost" || h == "localhost.localdomain" || h == "ip6-localhost" || h == "ip6-loopback" ||
      h == "<local>" || h.ends_with(".localhost"))
    return true;
  const AddressClass c = ClassifyAddress(h);
  return c == AddressClass::Loopback;
}

// Where the line after the one ending at `end` starts: CR LF, CR and LF
// each end a line.
std::size_t NextLine(std::string_view bytes, std::size_t end) {
  if (end >= bytes.size()) return bytes.size();
  if (bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n') return end + 2;
  return end + 1;
}

NetworkSettingRow NoteRow(const std::string& kind, const std::string& name, const std::string& location,
                          const std::string& verdict) {
  NetworkSettingRow row;
  row.kind = kind;
  row.name = name;
  row.location = location;
  row.verdict = verdict;
  row.problem = true;
  return row;
}

}  // namespace

std::optional<IpAddress> ParseIpAddress(std::string_view text) {
  if (text.size() >= 2 && text.front() == '[' && text.back() == ']') text = text.substr(1, text.size() - 2);
  if (text.empty() || text.size() > 64) return std::nullopt;
  if (text.find(':') == std::string_view::npos) return ParseV4(text);
  // A zone ("%12", "%eth0") names the interface; the address is before it.
  if (const auto pct = text.find('%'); pct != std::string_view::npos) {
    if (pct + 1 >= text.size()) return std::nullopt;
    text = text.substr(0, pct);
  }
  return ParseV6(text);
}

AddressClass ClassifyAddress(std::string_view text) {
  const auto ip = ParseIpAddress(text);
  if (!ip) return AddressClass::Invalid;
  const auto& b = ip->bytes;
  if (!ip->v6) {
    if (b[0] == 0 && b[1] == 0 && b[2] == 0 && b[3] == 0) return AddressClass::Unspecified;
    if (b[0] == 127) return AddressClass::Loopback;
    if (b[0] == 10 || (b[0] == 172 && (b[1] & 0xF0) == 16) || (b[0] == 192 && b[1] == 168) ||
        (b[0] == 100 && (b[1] & 0xC0) == 64) || (b[0] == 169 && b[1] == 254))
      return AddressClass::Private;
    return AddressClass::Public;
  }
  bool zeroFirst10 = true;
  for (int k = 0; k < 10; ++k) zeroFirst10 = zeroFirst10 && b[static_cast<std::size_t>(k)] == 0;
  // An IPv4 address written as IPv6 (::ffff:a.b.c.d) is judged as IPv4.
  if (zeroFirst10 && b[10] == 0xFF && b[11] == 0xFF) {
    return ClassifyAddress(std::to_string(b[12]) + "." + std::to_string(b[13]) + "." + std::to_string(b[14]) + "." +
                           std::to_string(b[15]));
  }
  bool zero = true;
  for (int k = 0; k < 15; ++k) zero = zero && b[static_cast<std::size_t>(k)] == 0;
  if (zero && b[15] == 0) return AddressClass::Unspecified;
  if (zero && b[15] == 1) return AddressClass::Loopback;
  if ((b[0] & 0xFE) == 0xFC || (b[0] == 0xFE && (b[1] & 0xC0) == 0x80)) return AddressClass::Private;
  return AddressClass::Public;
}

HostsFile ParseHostsFile(std::string_view bytes, bool truncated) {
  HostsFile out;
  out.truncated = truncated;
  if (bytes.size() >= 2 && ((bytes[0] == '\xFF' && bytes[1] == '\xFE') || (bytes[0] == '\xFE' && bytes[1] == '\xFF'))) {
    out.utf16 = true;
    return out;
  }
  if (bytes.starts_with("\xEF\xBB\xBF")) {
    out.bom = true;
    bytes.remove_prefix(3);
  }
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    std::size_t end = pos;
    while (end < bytes.size() && bytes[end] != '\r' && bytes[end] != '\n') ++end;
    // The last line of a file read only in part may be cut: dropped.
    if (truncated && end == bytes.size()) break;
    const std::string_view line = bytes.substr(pos, end - pos);
    ++out.lines;
    pos = NextLine(bytes, end);
    std::string_view content = line;
    if (const auto hash = content.find('#'); hash != std::string_view::npos) content = content.substr(0, hash);
    bool control = false;
    for (char c : content) {
      const auto u = static_cast<unsigned char>(c);
      if ((u < 0x20 && c != '\t' && !IsBlank(c)) || u == 0x7F) control = true;
    }
    for (char c : line)
      if (c == '\0') out.binary = true;
    content = Trimmed(content);
    if (content.empty()) continue;
    if (control) {
      out.binary = true;
      ++out.unreadable;
      continue;
    }
    // The fields as places in the line; the line is kept once, and each
    // mapping looks into that one copy.
    std::vector<std::pair<std::size_t, std::size_t>> fields;
    const std::size_t contentAt = static_cast<std::size_t>(content.data() - line.data());
    std::size_t i = 0;
    while (i < content.size()) {
      while (i < content.size() && IsBlank(content[i])) ++i;
      const std::size_t start = i;
      while (i < content.size() && !IsBlank(content[i])) ++i;
      if (i > start) fields.emplace_back(contentAt + start, i - start);
    }
    if (fields.size() < 2) {
      ++out.unreadable;
      continue;
    }
    const SharedText kept{std::string(line)};
    const std::string_view text = kept;
    const std::string_view address = text.substr(fields[0].first, fields[0].second);
    for (std::size_t f = 1; f < fields.size(); ++f)
      out.mappings.push_back({out.lines, address, text.substr(fields[f].first, fields[f].second), kept});
  }
  return out;
}

std::optional<std::string> CommentOutHostsLine(std::string_view bytes, std::size_t line, std::string_view lineText) {
  if (line == 0) return std::nullopt;
  std::size_t pos = bytes.starts_with("\xEF\xBB\xBF") ? 3 : 0;
  std::size_t number = 0;
  while (pos < bytes.size()) {
    std::size_t end = pos;
    while (end < bytes.size() && bytes[end] != '\r' && bytes[end] != '\n') ++end;
    if (++number == line) {
      if (bytes.substr(pos, end - pos) != lineText) return std::nullopt;
      std::string out;
      out.reserve(bytes.size() + 2);
      out.append(bytes.substr(0, pos));
      out += "# ";
      out.append(bytes.substr(pos));
      return out;
    }
    pos = NextLine(bytes, end);
  }
  return std::nullopt;
}

std::string WellKnownDomainOf(std::string_view name, const StringTable& network) {
  std::string n = LowerText(Trimmed(name));
  while (!n.empty() && n.back() == '.') n.pop_back();
  // The name itself, then each parent domain ("a.b.example.com",
  // "b.example.com", "example.com").
  std::string_view rest = n;
  while (!rest.empty()) {
    if (const std::string* line = network.LastLineWithKey("host:" + std::string(rest)))
      return std::string(StringTable::ValueOf(*line));
    const auto dot = rest.find('.');
    if (dot == std::string_view::npos) break;
    rest.remove_prefix(dot + 1);
  }
  return {};
}

std::string PublicResolverOf(std::string_view address, const StringTable& network) {
  const auto ip = ParseIpAddress(Trimmed(address));
  if (!ip) return {};
  // The table's keys are in the shortest form.
  if (const std::string* line = network.LastLineWithKey("dns:" + NumericText(*ip)))
    return std::string(StringTable::ValueOf(*line));
  return {};
}

std::string PublicRootOf(std::string_view sha256, const StringTable& network) {
  std::string key = "root:";
  for (char c : Trimmed(sha256)) key += (c >= 'a' && c <= 'f') ? static_cast<char>(c - 'a' + 'A') : c;
  if (const std::string* line = network.LastLineWithKey(key)) return std::string(StringTable::ValueOf(*line));
  return {};
}

void AddRootCertificateRow(const RootCertificate& root, const StringTable& network,
                           std::vector<NetworkSettingRow>& rows) {
  NetworkSettingRow row;
  row.kind = "Root Certificate";
  row.name = Shown(root.subject.empty() ? std::string("(no name)") : root.subject);
  row.value = root.sha1;
  row.location = root.store;
  row.repair = NetworkRepair::DeleteCertificate;
  row.certStore = root.store;
  row.thumbprint = root.sha1;
  if (root.microsoft) {
    row.verdict = "Microsoft's root";
  } else if (const std::string known = PublicRootOf(root.sha256, network); !known.empty()) {
    row.verdict = "A public root (" + known + ")";
  } else {
    row.flagged = true;
    row.verdict = "Not a public root: whoever holds its key can pass off any site as genuine";
  }
  // Stores a domain fills: a company's own root is normal there, and what is
  // deleted may come back with the next policy refresh.
  if (root.store.starts_with("LocalMachineGroupPolicy\\") || root.store.starts_with("CurrentUserGroupPolicy\\"))
    row.verdict += " (set by group policy: a policy refresh puts it back unless the policy changes)";
  else if (root.store.starts_with("LocalMachineEnterprise\\"))
    row.verdict += " (the enterprise store: the domain may put it back)";
  rows.push_back(std::move(row));
}

void AddWinsockRow(const WinsockProvider& provider, const WinsockJudgement& judgement,
                   std::vector<NetworkSettingRow>& rows) {
  NetworkSettingRow row;
  row.kind = provider.catalog == "Namespace" ? "Winsock Namespace" : "Winsock Provider";
  row.name = Shown(provider.name);
  row.value = Shown(provider.dll);
  row.location = provider.catalog + " catalog " + provider.id + (provider.layered ? " (layered)" : "") +
                 (provider.wow32 ? " (32-bit)" : "");
  if (provider.registryOnly) row.location += " (only in the registry: " + provider.registryKey + ")";
  row.verdict = judgement.judged ? judgement.verdictText : "Not judged";
  if (judgement.judged && judgement.distrusted) {
    row.flagged = true;
  } else if (provider.layered && judgement.judged && !judgement.microsoft) {
    row.flagged = true;
    row.verdict = "A layered provider not signed by Microsoft: it sees every connection. " + row.verdict;
  }
  if (provider.enabled == false) row.verdict = "Disabled. " + row.verdict;
  if (provider.registryOnly)
    row.verdict = "The system's setup routines do not list it. " + row.verdict;
  if (!provider.problem.empty()) {
    row.problem = true;
    row.verdict = provider.problem + ". " + row.verdict;
  }
  if (row.flagged && !provider.providerId.empty()) {
    row.repair = NetworkRepair::RemoveWinsockProvider;
    row.providerId = provider.providerId;
    row.nameSpace = provider.catalog == "Namespace";
    row.wow32 = provider.wow32;
  }
  rows.push_back(std::move(row));
}

std::vector<WinsockProvider> MergeWinsockProviders(std::vector<WinsockProvider> listed,
                                                   const std::vector<WinsockProvider>& registry) {
  auto same = [](const WinsockProvider& a, const WinsockProvider& b) {
    if (a.catalog != b.catalog || a.wow32 != b.wow32 || a.providerId.empty()) return false;
    if (LowerText(a.providerId) != LowerText(b.providerId)) return false;
    return a.catalog == "Namespace" || a.catalogEntryId == b.catalogEntryId;
  };
  const std::size_t fromInterfaces = listed.size();
  for (const WinsockProvider& r : registry) {
    bool known = false;
    for (std::size_t i = 0; i < fromInterfaces && !known; ++i) {
      if (!same(listed[i], r)) continue;
      known = true;
      // The registry says more of it: where it is kept, whether it is on.
      if (listed[i].registryKey.empty()) listed[i].registryKey = r.registryKey;
      if (!listed[i].enabled) listed[i].enabled = r.enabled;
    }
    if (known) continue;
    WinsockProvider extra = r;
    // An entry of the 32-bit catalog is not one the setup routines of this
    // program's catalog would list.
    extra.registryOnly = !r.wow32;
    listed.push_back(std::move(extra));
  }
  return listed;
}

void AddHostsRows(const HostsFile& hosts, const std::string& path, const StringTable& network,
                  std::vector<NetworkSettingRow>& rows) {
  if (hosts.utf16)
    rows.push_back(NoteRow("Note", "Hosts file", path,
                           "The file is in UTF-16, which the resolver does not read; it was not read either."));
  if (hosts.truncated)
    rows.push_back(NoteRow("Note", "Hosts file", path,
                           "The file is larger than " + std::to_string(kHostsReadLimit >> 20) +
                               " MB: only its first part was read."));
  if (hosts.binary)
    rows.push_back(NoteRow("Note", "Hosts file", path, "The file holds binary bytes; lines with them were skipped."));
  if (hosts.unreadable)
    rows.push_back(NoteRow("Note", "Hosts file", path,
                           std::to_string(hosts.unreadable) + " line(s) are neither a comment nor \"address name\"."));
  for (const HostsMapping& m : hosts.mappings) {
    NetworkSettingRow row;
    row.kind = "Hosts";
    row.name = Shown(m.name);
    row.value = Shown(m.address, 80);
    row.location = path + ", line " + std::to_string(m.line);
    row.file = path;
    row.line = m.line;
    row.lineText = m.lineText;
    row.repair = NetworkRepair::CommentOutHostsLine;
    const std::string known = WellKnownDomainOf(m.name, network);
    const AddressClass c = ClassifyAddress(m.address);
    if (!known.empty() && !IsLocalHostName(m.name)) {
      row.flagged = true;
      row.verdict = (c == AddressClass::Loopback || c == AddressClass::Unspecified)
                        ? "A well-known site (" + known + ") is blocked"
                        : "A well-known site (" + known + ") is redirected";
    } else if (c == AddressClass::Invalid) {
      row.verdict = "Not an address: the resolver skips the line";
    } else if (c == AddressClass::Loopback) {
      row.verdict = IsLocalHostName(m.name) ? "This computer" : "Blocked (sent to this computer)";
    } else if (c == AddressClass::Unspecified) {
      row.verdict = "Blocked";
    } else {
      row.flagged = true;
      row.verdict = c == AddressClass::Private ? "Redirected to a local network address"
                                               : "Redirected to an address on the Internet";
    }
    rows.push_back(std::move(row));
  }
}

bool ProxyIsLocal(std::string_view proxyServer) {
  bool any = false;
  std::string_view rest = proxyServer;
  while (!rest.empty()) {
    const auto sep = rest.find_first_of("; ");
    std::string_view item = Trimmed(rest.substr(0, sep));
    rest = sep == std::string_view::npos ? std::string_view{} : rest.substr(sep + 1);
    if (item.empty()) continue;
    if (const auto eq = item.find('='); eq != std::string_view::npos) item = item.substr(eq + 1);
    if (const auto scheme = item.find("://"); scheme != std::string_view::npos) item = item.substr(scheme + 3);
    if (const auto slash = item.find('/'); slash != std::string_view::npos) item = item.substr(0, slash);
    std::string_view host = item;
    if (host.starts_with('[')) {
      const auto close = host.find(']');
      host = close == std::string_view::npos ? host : host.substr(0, close + 1);
    } else if (host.find(':') == host.rfind(':')) {
      host = host.substr(0, host.find(':'));  // "host:port"; a bare IPv6 address keeps its colons
    }
    if (host.empty()) continue;
    any = true;
    if (!IsLocalHostName(host)) return false;
  }
  return any;
}

void AddProxyRows(const ProxyValues& v, std::vector<NetworkSettingRow>& rows) {
  const std::string prefix = v.place + ": ";
  auto base = [&](const std::string& kind, const std::string& name, const std::string& value) {
    NetworkSettingRow row;
    row.kind = kind;
    row.name = prefix + name;
    row.value = Shown(value);
    row.location = v.registryKey;
    row.registryKey = v.registryKey;
    return row;
  };
  if (v.autoConfigUrl && !Trimmed(*v.autoConfigUrl).empty()) {
    NetworkSettingRow row = base("Proxy Script", "AutoConfigURL", *v.autoConfigUrl);
    row.flagged = true;
    row.verdict = v.policy ? "A proxy script set by policy: every address may be sent through it"
                           : "A proxy script: every address may be sent through it";
    row.repair = NetworkRepair::DeleteValues;
    row.valueNames = {"AutoConfigURL"};
    rows.push_back(std::move(row));
  }
  const bool enabled = v.proxyEnable && *v.proxyEnable != 0;
  if (v.proxyServer && !Trimmed(*v.proxyServer).empty()) {
    NetworkSettingRow row = base("Proxy", "ProxyServer", *v.proxyServer);
    row.repair = NetworkRepair::DeleteValues;
    row.valueNames = {"ProxyServer", "ProxyEnable"};
    if (!enabled) {
      row.verdict = "Not in use (ProxyEnable is off)";
    } else if (ProxyIsLocal(*v.proxyServer)) {
      row.verdict = "On this computer";
    } else if (v.policy) {
      row.verdict = "Set by policy";
    } else {
      row.flagged = true;
      row.verdict = "Web traffic goes through another computer";
    }
    rows.push_back(std::move(row));
  } else if (v.proxyEnable) {
    NetworkSettingRow row = base("Proxy", "ProxyEnable", std::to_string(*v.proxyEnable));
    row.verdict = enabled ? "On, but no proxy is named" : "Off";
    rows.push_back(std::move(row));
  }
  if (v.proxyOverride && !v.proxyOverride->empty()) {
    NetworkSettingRow row = base("Proxy", "ProxyOverride", *v.proxyOverride);
    row.verdict = "Addresses that bypass the proxy";
    rows.push_back(std::move(row));
  }
  if (v.autoDetect) {
    NetworkSettingRow row = base("Proxy", "AutoDetect", std::to_string(*v.autoDetect));
    row.verdict = *v.autoDetect ? "The proxy is detected on the network" : "Off";
    rows.push_back(std::move(row));
  }
}

void AddWinHttpRows(const WinHttpProxy& p, std::vector<NetworkSettingRow>& rows) {
  if (Trimmed(p.proxy).empty()) return;
  NetworkSettingRow row;
  row.kind = "WinHTTP Proxy";
  row.name = "Machine: WinHTTP proxy";
  row.value = Shown(p.proxy);
  if (!p.bypass.empty()) row.value += " (bypass: " + Shown(p.bypass, 120) + ")";
  row.location = p.registryKey.empty() ? "WinHTTP" : p.registryKey + "\\" + p.valueName;
  if (ProxyIsLocal(p.proxy)) {
    row.verdict = "On this computer";
  } else {
    row.flagged = true;
    row.verdict = "System services reach the Internet through another computer";
  }
  if (!p.registryKey.empty()) {
    row.repair = NetworkRepair::DeleteValues;
    row.registryKey = p.registryKey;
    row.valueNames = {p.valueName};
  }
  rows.push_back(std::move(row));
}

std::vector<std::string> SplitNameServers(std::string_view text) {
  std::vector<std::string> out;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && (text[i] == ',' || text[i] == ';' || IsBlank(text[i]) || text[i] == '\0')) ++i;
    const std::size_t start = i;
    while (i < text.size() && !(text[i] == ',' || text[i] == ';' || IsBlank(text[i]) || text[i] == '\0')) ++i;
    if (i > start) out.emplace_back(text.substr(start, i - start));
  }
  return out;
}

void AddDnsRows(const std::string& name, const std::string& registryKey, const std::string& valueName,
                std::string_view servers, bool dhcp, const StringTable& network,
                std::vector<NetworkSettingRow>& rows) {
  const std::vector<std::string> list = SplitNameServers(servers);
  if (list.empty()) return;
  NetworkSettingRow row;
  row.kind = dhcp ? "DHCP DNS Server" : "DNS Server";
  row.name = Shown(name);
  row.location = registryKey + "\\" + valueName;
  std::string unknown;
  for (const std::string& s : list) {
    if (!row.value.empty()) row.value += ", ";
    row.value += Shown(s, 80);
    if (dhcp) continue;
    const AddressClass c = ClassifyAddress(s);
    if (c == AddressClass::Loopback || c == AddressClass::Private || !PublicResolverOf(s, network).empty()) continue;
    if (!unknown.empty()) unknown += ", ";
    unknown += Shown(s, 80);
  }
  if (dhcp) {
    row.verdict = "Given by the network (DHCP)";
  } else if (!unknown.empty()) {
    row.flagged = true;
    row.verdict = "Set by hand to a server that is not a known public resolver: " + unknown;
    row.repair = NetworkRepair::DeleteValues;
    row.registryKey = registryKey;
    row.valueNames = {valueName};
  } else {
    row.verdict = "Set by hand: known public resolvers or local network";
    row.repair = NetworkRepair::DeleteValues;
    row.registryKey = registryKey;
    row.valueNames = {valueName};
  }
  rows.push_back(std::move(row));
}

TextRow NetworkSettingsColumns() { return {"Kind", "Name", "Value", "Stored In", "Verdict"}; }

TextRow NetworkSettingsRowText(const NetworkSettingRow& row) {
  return {row.kind, row.name, row.value, row.location, row.verdict};
}

std::vector<HijackRow> NetworkSettingsHijackRows(const std::vector<NetworkSettingRow>& rows) {
  std::vector<HijackRow> out;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const NetworkSettingRow& r = rows[i];
    if (!r.flagged) continue;
    HijackRow h;
    h.itemName = r.kind + ": " + r.name + (r.value.empty() ? "" : " = " + r.value);
    if (h.itemName.size() > 300) h.itemName = Shown(h.itemName, 300);
    h.description = kNetworkSettingCategory;
    h.index = static_cast<int>(i);
    // Names the entry the same from scan to scan: where it is kept and what.
    if (r.repair == NetworkRepair::CommentOutHostsLine)
      h.entryKey = r.file + "|" + Shown(r.lineText) + "|" + r.name;
    else if (r.repair == NetworkRepair::DeleteCertificate)
      h.entryKey = r.certStore + "|" + r.thumbprint + "|" + r.name;
    else if (r.kind.starts_with("Winsock"))
      h.entryKey = r.location + "|" + r.value;
    else
      h.entryKey = r.location + "|" + r.kind + "|" + r.name + "|" + r.value;
    out.push_back(std::move(h));
  }
  return out;
}

}  // namespace wl
