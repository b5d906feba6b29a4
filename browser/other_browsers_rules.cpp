#include "browser/other_browsers_rules.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "core/ascii.h"

namespace wl {
namespace {

std::string TrimBlanks(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return std::string(s.substr(b, e - b));
}

// host equals domain or ends in "." + domain.
bool HostIn(std::string_view host, std::string_view domain) {
  if (host == domain) return true;
  return host.size() > domain.size() && host.ends_with(domain) && host[host.size() - domain.size() - 1] == '.';
}

// "google" followed by one of the country forms its search runs under:
// .com, .xx, .co.xx, .com.xx.
bool IsCountryForm(std::string_view host, std::string_view name) {
  // Find "name." at the start or after a dot.
  std::size_t at = std::string_view::npos;
  for (std::size_t p = host.find(name); p != std::string_view::npos; p = host.find(name, p + 1)) {
    if ((p == 0 || host[p - 1] == '.') && p + name.size() < host.size() && host[p + name.size()] == '.') {
      at = p;
      break;
    }
  }
  if (at == std::string_view::npos) return false;
  const std::string_view rest = host.substr(at + name.size() + 1);
  auto isCc = [](std::string_view s) {
    return s.size() == 2 && std::isalpha(static_cast<unsigned char>(s[0])) && std::isalpha(static_cast<unsigned char>(s[1]));
  };
  if (rest == "com" || isCc(rest)) return true;
  if ((rest.starts_with("co.") && isCc(rest.substr(3))) || (rest.starts_with("com.") && isCc(rest.substr(4))))
    return true;
  return false;
}

constexpr std::array<std::string_view, 30> kProviderDomains = {
    "google.com", "bing.com", "msn.com", "microsoft.com", "live.com", "office.com", "duckduckgo.com",
    "yahoo.com", "yahoo.co.jp", "ecosia.org", "startpage.com", "qwant.com", "search.brave.com", "brave.com",
    "mozilla.org", "firefox.com", "mozilla.com", "baidu.com", "naver.com", "seznam.cz", "ask.com",
    "wikipedia.org", "amazon.com", "ebay.com", "aol.com", "yandex.ru", "yandex.com", "ya.ru",
    "opera.com", "vivaldi.com"};

constexpr std::array<std::string_view, 20> kSearchNames = {
    "google", "bing", "duckduckgo", "yahoo!", "yahoo", "ecosia", "startpage", "qwant", "brave", "wikipedia (en)",
    "wikipedia", "amazon.com", "amazon", "ebay", "baidu", "yandex", "naver", "seznam", "you.com", "perplexity"};

constexpr std::array<std::string_view, 14> kTopLevelDomains = {
    ".com", ".net", ".org", ".info", ".biz", ".ru", ".cn", ".xyz", ".top", ".io", ".co", ".de", ".uk", ".online"};

std::string Joined(const std::vector<std::string>& list, std::size_t max = 12) {
  std::string out;
  for (std::size_t i = 0; i < list.size() && i < max; ++i) {
    if (i) out += ", ";
    out += list[i];
  }
  if (list.size() > max) out += ", \xE2\x80\xA6";
  return out;
}

// One argument written so that SplitCommandArguments gives it back.
std::string QuoteArgument(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
  std::string out = "\"";
  std::size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"') {
      out.append(backslashes * 2 + 1, '\\');
      out += '"';
    } else {
      out.append(backslashes, '\\');
      out += c;
    }
    backslashes = 0;
  }
  out.append(backslashes * 2, '\\');
  return out + "\"";
}

BrowserRow FromBase(const BrowserRow& base, const char* kind, std::string name, std::string value) {
  BrowserRow row;
  row.browser = base.browser;
  row.profile = base.profile;
  row.location = base.location;
  row.filePath = base.filePath;
  row.settingsPage = base.settingsPage;
  row.program = base.program;
  row.kind = kind;
  row.name = std::move(name);
  row.value = std::move(value);
  return row;
}

}  // namespace

void SetVerdict(BrowserRow& row, bool distrustful) {
  row.flagged = distrustful;
  row.verdict = distrustful ? kDistrustfulSetting : kNormalSetting;
}

std::string UrlHost(std::string_view url) {
  std::string_view s = url;
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  const std::size_t scheme = s.find("://");
  if (scheme != std::string_view::npos) {
    const std::string_view name = s.substr(0, scheme);
    if (name.empty() || !std::all_of(name.begin(), name.end(), [](char c) {
          return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
        }))
      return {};
    s.remove_prefix(scheme + 3);
  } else if (!StartsWithNoCase(s, "www.")) {
    return {};
  }
  const std::size_t end = s.find_first_of("/?#\\ ");
  std::string_view authority = s.substr(0, end);
  if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) authority.remove_prefix(at + 1);
  if (const std::size_t colon = authority.rfind(':'); colon != std::string_view::npos && authority.find(']') == std::string_view::npos)
    authority = authority.substr(0, colon);
  std::string host = AsciiLower(authority);
  while (!host.empty() && host.back() == '.') host.pop_back();
  return host;
}

bool IsBrowserInternalPage(std::string_view url) {
  const std::string u = AsciiLower(TrimBlanks(url));
  for (std::string_view p : {"about:", "chrome://", "edge://", "brave://", "opera://", "vivaldi://",
                             "chrome-search://", "resource://", "chrome-native://"})
    if (u.starts_with(p)) return true;
  return false;
}

bool IsWellKnownProvider(std::string_view url) {
  const std::string text = TrimBlanks(url);
  if (text.empty() || IsBrowserInternalPage(text)) return true;
  // The browsers' own providers are stored as templates of the provider's
  // base address.
  if (text.starts_with("{google:baseURL}")) return true;
  const std::string host = UrlHost(text);
  if (host.empty()) return false;
  if (IsCountryForm(host, "google") || IsCountryForm(host, "yahoo") || IsCountryForm(host, "bing") ||
      IsCountryForm(host, "yandex") || IsCountryForm(host, "amazon"))
    return true;
  for (std::string_view d : kProviderDomains)
    if (HostIn(host, d)) return true;
  return false;
}

bool IsWellKnownSearchName(std::string_view name) {
  const std::string n = AsciiLower(TrimBlanks(name));
  if (n.empty() || IsBrowserInternalPage(n)) return true;
  for (std::string_view k : kSearchNames)
    if (n == k) return true;
  return false;
}

bool HoldsWebAddress(std::string_view text) {
  const std::string t = AsciiLower(text);
  for (std::string_view p : {"http://", "https://", "ftp://", "www.", "javascript:", "data:text"})
    if (t.find(p) != std::string::npos) return true;
  // A bare host such as "example.com" or "example.xyz/path".
  for (const std::string& token : SplitCommandArguments(text)) {
    if (token.starts_with("-") || token.starts_with("/")) continue;
    std::string host = AsciiLower(token.substr(0, token.find_first_of("/?#")));
    if (host.find('\\') != std::string::npos || host.find(':') != std::string::npos) continue;  // a path
    for (std::string_view tld : kTopLevelDomains)
      if (host.size() > tld.size() + 1 && host.ends_with(tld)) return true;
  }
  return false;
}

bool IsStoreUpdateUrl(std::string_view url) {
  const std::string host = UrlHost(url);
  if (host.empty()) return false;
  const std::string u = AsciiLower(url);
  return (host == "clients2.google.com" && u.find("/service/update2/crx") != std::string::npos) ||
         (host == "edge.microsoft.com" && u.find("/extensionwebstorebase/") != std::string::npos);
}

bool IsFirefoxStoreSource(std::string_view uri) {
  const std::string host = UrlHost(uri);
  return host == "addons.mozilla.org" || host == "addons.cdn.mozilla.net";
}

PolicyClass ClassifyPolicy(bool firefox, std::string_view path, std::string_view value) {
  const std::string first(path.substr(0, path.find('\\')));
  const bool hasInner = path.find('\\') != std::string_view::npos;
  if (firefox) {
    if (first == "Extensions") {
      return (hasInner && StartsWithNoCase(path.substr(first.size() + 1), "Install")) ? PolicyClass::ForcedExtension
                                                                                      : PolicyClass::Flagged;
    }
    if (first == "ExtensionSettings")
      return (ContainsNoCase(value, "force_installed") ||
              ContainsNoCase(value, "normal_installed"))
                 ? PolicyClass::ForcedExtension
                 : PolicyClass::Flagged;
    for (std::string_view f : {"Homepage", "SearchEngines", "NewTabPage", "Proxy", "InstallAddonsPermission",
                               "FirefoxHome", "OverrideFirstRunPage", "OverridePostUpdatePage"})
      if (first == f) return PolicyClass::Flagged;
    return PolicyClass::Plain;
  }
  if (first == "ExtensionInstallForcelist") return PolicyClass::ForcedExtension;
  if (first == "ExtensionSettings")
    return (ContainsNoCase(value, "force_installed") ||
            ContainsNoCase(value, "normal_installed"))
               ? PolicyClass::ForcedExtension
               : PolicyClass::Flagged;
  for (std::string_view f : {"RestoreOnStartup", "RestoreOnStartupURLs", "HomepageLocation", "HomepageIsNewTabPage",
                             "NewTabPageLocation", "ExtensionInstallSources", "ExtensionAllowedTypes"})
    if (first == f) return PolicyClass::Flagged;
  for (std::string_view prefix : {"DefaultSearchProvider", "Proxy"})
    if (first.starts_with(prefix)) return PolicyClass::Flagged;
  return PolicyClass::Plain;
}

std::vector<std::string> SplitCommandArguments(std::string_view arguments) {
  std::vector<std::string> out;
  std::string current;
  bool inToken = false, quoted = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const char c = arguments[i];
    if (c == '\\') {
      std::size_t n = 0;
      while (i < arguments.size() && arguments[i] == '\\') {
        ++n;
        ++i;
      }
      if (i < arguments.size() && arguments[i] == '"') {
        current.append(n / 2, '\\');
        if (n % 2) current += '"';
        else quoted = !quoted;
      } else {
        current.append(n, '\\');
        --i;
      }
      inToken = true;
    } else if (c == '"') {
      quoted = !quoted;
      inToken = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (inToken) out.push_back(std::move(current));
      current.clear();
      inToken = false;
    } else {
      current += c;
      inToken = true;
    }
  }
  if (inToken) out.push_back(std::move(current));
  return out;
}

ShortcutArgumentCheck CheckShortcutArguments(std::string_view arguments) {
  // Switches browser shortcuts carry by themselves: the profile, an
  // installed web app, a private window.
  static constexpr std::array<std::string_view, 12> kExpected = {
      "--profile-directory", "--app-id", "--app-launch-source", "--new-window", "--incognito", "--inprivate",
      "-private-window", "-private", "-p", "-profile", "-no-remote", "--no-first-run"};
  // Of these the next argument is the switch's value.
  static constexpr std::array<std::string_view, 2> kWithValue = {"-p", "-profile"};
  ShortcutArgumentCheck check;
  const std::vector<std::string> tokens = SplitCommandArguments(arguments);
  std::vector<std::string> kept;
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    const std::string& token = tokens[i];
    const std::string lower = AsciiLower(token);
    const std::string name = lower.substr(0, lower.find('='));
    const bool isSwitch = token.starts_with("-") || (token.starts_with("/") && token.size() > 1 && token.find('/', 1) == std::string::npos);
    if (isSwitch && std::find(kExpected.begin(), kExpected.end(), name) != kExpected.end()) {
      const std::string_view valuePart = lower.find('=') == std::string::npos ? std::string_view() : std::string_view(token).substr(lower.find('=') + 1);
      if (HoldsWebAddress(valuePart)) {
        check.webAddress = true;
        continue;
      }
      kept.push_back(token);
      if (std::find(kWithValue.begin(), kWithValue.end(), name) != kWithValue.end() && i + 1 < tokens.size() &&
          !tokens[i + 1].starts_with("-")) {
        if (HoldsWebAddress(tokens[++i])) check.webAddress = true;
        else kept.push_back(tokens[i]);
      }
      continue;
    }
    if (HoldsWebAddress(token)) {
      check.webAddress = true;
    } else {
      check.unexpected.push_back(token);
    }
  }
  for (const std::string& k : kept) {
    if (!check.kept.empty()) check.kept += ' ';
    check.kept += QuoteArgument(k);
  }
  return check;
}

BrowserRow DamagedFileRow(const BrowserRow& base, const std::string& fileName, const ReadOutcome& outcome) {
  std::string what = outcome.error;
  if (what.empty() && !outcome.problems.empty()) {
    what = "parts were skipped: " + Joined(outcome.problems, 3);
  }
  BrowserRow row = FromBase(base, kKindDamagedFile, fileName, "The file could not be read in full: " + what);
  row.verdict = kUnreadableFile;
  return row;
}

void AddChromiumPreferenceRows(const ChromiumPreferences& prefs, const BrowserRow& base, std::vector<BrowserRow>& out) {
  if (prefs.homepage) {
    BrowserRow row = FromBase(base, kKindSetting, "Home page", *prefs.homepage);
    SetVerdict(row, !IsWellKnownProvider(*prefs.homepage));
    out.push_back(std::move(row));
  }
  if (prefs.restoreOnStartup) {
    std::string text;
    switch (*prefs.restoreOnStartup) {
      case 1: text = "Continue where you left off"; break;
      case 4: text = "Open the start-up pages"; break;
      case 5: text = "Open the new-tab page"; break;
      default: text = std::to_string(*prefs.restoreOnStartup); break;
    }
    BrowserRow row = FromBase(base, kKindSetting, "On start-up", text);
    SetVerdict(row, false);
    out.push_back(std::move(row));
  }
  for (const auto& url : prefs.startupUrls) {
    BrowserRow row = FromBase(base, kKindSetting, "Start-up page", url);
    SetVerdict(row, !IsWellKnownProvider(url));
    out.push_back(std::move(row));
  }
  if (prefs.searchName || prefs.searchUrl) {
    const std::string name = prefs.searchName.value_or("");
    const std::string url = prefs.searchUrl.value_or("");
    BrowserRow row = FromBase(base, kKindSetting, "Search provider",
                              name.empty() ? url : (url.empty() ? name : name + " (" + url + ")"));
    SetVerdict(row, url.empty() ? !IsWellKnownSearchName(name) : !IsWellKnownProvider(url));
    out.push_back(std::move(row));
  }
}

BrowserRow ChromiumExtensionRow(const BrowserRow& base, const std::string& id, const ExtensionManifest* manifest,
                                const ChromiumExtensionState* state) {
  std::string name = manifest ? manifest->name : std::string();
  if (name.empty() && state) name = state->name;
  if (name.empty()) name = id;
  std::string value = id;
  if (manifest && !manifest->version.empty()) value += ", version " + manifest->version;
  if (state && state->disabled) value += ", disabled";
  if (manifest && !manifest->permissions.empty()) value += ", permissions: " + Joined(manifest->permissions);
  bool overrides = false;
  if (manifest) {
    for (const auto& o : manifest->overrides) {
      value += ", sets the " + o.name + " to " + o.value;
      // A new-tab page inside the extension is one of its own files, not a
      // web address; the others name addresses.
      const bool address = o.name != "new-tab page" || HoldsWebAddress(o.value);
      if (address && !IsWellKnownProvider(o.value)) overrides = true;
    }
  }
  const bool builtIn = state && (state->location == 5 || state->location == 10);
  const bool fromStore = (state && state->fromWebstore) || (manifest && IsStoreUpdateUrl(manifest->updateUrl));
  BrowserRow row = FromBase(base, kKindExtension, name, value);
  SetVerdict(row, !builtIn && (!fromStore || overrides));
  return row;
}

void AddFirefoxPrefRows(const PrefsFile& prefs, const BrowserRow& base, std::vector<BrowserRow>& out) {
  for (const auto& p : prefs.prefs) {
    const std::string& n = p.name;
    bool shown = false, flagged = false;
    if (n == "browser.startup.homepage" || n == "browser.newtab.url" || n == "keyword.URL" ||
        n == "browser.search.defaulturl" || n == "browser.search.defaultURL") {
      shown = true;
      // Several home pages are separated by "|".
      std::size_t start = 0;
      while (start <= p.value.size()) {
        std::size_t bar = p.value.find('|', start);
        if (bar == std::string::npos) bar = p.value.size();
        if (!IsWellKnownProvider(p.value.substr(start, bar - start))) flagged = true;
        start = bar + 1;
      }
    } else if (n == "browser.search.defaultenginename" || n == "browser.search.selectedEngine" ||
               n.starts_with("browser.search.order.")) {
      shown = true;
      flagged = !IsWellKnownSearchName(p.value);
    } else if (n.starts_with("browser.search.") && p.isString && p.value.find("://") != std::string::npos) {
      shown = true;
      flagged = !IsWellKnownProvider(p.value);
    } else if (n == "network.proxy.autoconfig_url" || n == "network.proxy.http" || n == "network.proxy.ssl" ||
               n == "network.proxy.socks") {
      shown = true;
      flagged = !p.value.empty();
    } else if (n == "browser.startup.page" || n == "network.proxy.type" || n.starts_with("browser.newtabpage.") ||
               n == "keyword.enabled") {
      shown = true;
    }
    if (!shown) continue;
    BrowserRow row = FromBase(base, kKindSetting, n, p.value);
    row.location = base.location + " (line " + std::to_string(p.line) + ")";
    SetVerdict(row, flagged);
    out.push_back(std::move(row));
  }
}

void AddFirefoxAddonRows(const FirefoxExtensions& addons, const BrowserRow& base, std::vector<BrowserRow>& out) {
  for (const auto& a : addons.addons) {
    // Add-ons that come with the program itself.
    if (a.location == "app-builtin" || a.location == "app-system-defaults" || a.location == "app-system-addons")
      continue;
    if (a.type == "locale" || a.type == "dictionary") continue;
    std::string value = a.id;
    if (!a.version.empty()) value += ", version " + a.version;
    if (!a.type.empty() && a.type != "extension") value += ", " + a.type;
    if (!a.active) value += ", disabled";
    if (!a.location.empty() && a.location != "app-profile") value += ", installed by " + a.location;
    if (!a.sourceUri.empty()) value += ", from " + a.sourceUri;
    if (!a.permissions.empty()) value += ", permissions: " + Joined(a.permissions);
    BrowserRow row = FromBase(base, kKindExtension, a.name.empty() ? a.id : a.name, value);
    SetVerdict(row, !IsFirefoxStoreSource(a.sourceUri));
    out.push_back(std::move(row));
  }
}

void AddFirefoxPolicyFileRows(const FirefoxPolicies& policies, const BrowserRow& base, std::vector<BrowserRow>& out) {
  for (const auto& p : policies.policies) {
    BrowserRow row = FromBase(base, kKindPolicy, p.name, p.value);
    const PolicyClass c = p.forcedExtension ? PolicyClass::ForcedExtension : ClassifyPolicy(true, p.name, p.value);
    SetVerdict(row, c != PolicyClass::Plain);
    out.push_back(std::move(row));
  }
}

TextRow OtherBrowsersColumns() { return {"Browser", "Profile", "Kind", "Name", "Value", "Stored In", "Verdict"}; }

TextRow OtherBrowsersRowText(const BrowserRow& row) {
  return {row.browser, row.profile, row.kind, row.name, row.value, row.location, row.verdict};
}

std::vector<HijackRow> OtherBrowsersHijackRows(const std::vector<BrowserRow>& rows) {
  std::vector<HijackRow> out;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const BrowserRow& r = rows[i];
    if (!r.flagged) continue;
    std::string item = r.browser;
    if (!r.profile.empty()) item += " (" + r.profile + ")";
    item += ": " + r.name;
    if (!r.value.empty()) item += " = " + r.value;
    if (item.size() > 300) {
      std::size_t n = 300;
      while (n > 0 && (static_cast<unsigned char>(item[n]) & 0xC0) == 0x80) --n;
      item = item.substr(0, n) + "\xE2\x80\xA6";
    }
    HijackRow h;
    h.itemName = std::move(item);
    h.description = kBrowserSettingCategory;
    h.index = static_cast<int>(i);
    // Names the entry for a later fix: where it is kept, and which setting.
    h.entryKey = r.location + "|" + r.kind + "|" + r.name;
    out.push_back(std::move(h));
  }
  return out;
}

}  // namespace wl
