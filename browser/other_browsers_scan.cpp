#include "browser/other_browsers_scan.h"

#include <windows.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <algorithm>
#include <map>
#include <set>

#include "core/ascii.h"
#include "core/path_text.h"
#include "sysroutines/shortcuts.h"
#include "sysroutines/system_info.h"
#include "sysroutines/text_routines.h"
#include "win32/file_path.h"
#include "win32/handles.h"
#include "win32/registry.h"
#include "win32/unicode.h"

namespace wl {
namespace {

using win32::RegKey;
using win32::RegView;

struct ChromiumBrowser {
  const char* name;
  const char* userData;       // below the local application data folder
  const char* policyKey;      // below the policies key; empty: none
  const char* extensionsKey;  // below SOFTWARE; empty: none
  const char* program;
  const char* settingsPage;
};

constexpr ChromiumBrowser kChromiumBrowsers[] = {
    {"Google Chrome", "Google\\Chrome\\User Data", "Google\\Chrome", "Google\\Chrome\\Extensions", "chrome.exe",
     "chrome://settings"},
    {"Google Chrome Beta", "Google\\Chrome Beta\\User Data", "", "", "chrome.exe", "chrome://settings"},
    {"Google Chrome Dev", "Google\\Chrome Dev\\User Data", "", "", "chrome.exe", "chrome://settings"},
    {"Google Chrome Canary", "Google\\Chrome SxS\\User Data", "", "", "chrome.exe", "chrome://settings"},
    {"Microsoft Edge", "Microsoft\\Edge\\User Data", "Microsoft\\Edge", "Microsoft\\Edge\\Extensions", "msedge.exe",
     "edge://settings"},
    {"Microsoft Edge Beta", "Microsoft\\Edge Beta\\User Data", "", "", "msedge.exe", "edge://settings"},
    {"Microsoft Edge Dev", "Microsoft\\Edge Dev\\User Data", "", "", "msedge.exe", "edge://settings"},
    {"Microsoft Edge Canary", "Microsoft\\Edge SxS\\User Data", "", "", "msedge.exe", "edge://settings"},
    {"Brave", "BraveSoftware\\Brave-Browser\\User Data", "BraveSoftware\\Brave",
     "BraveSoftware\\Brave-Browser\\Extensions", "brave.exe", "brave://settings"},
    {"Chromium", "Chromium\\User Data", "Chromium", "Chromium\\Extensions", "chrome.exe", "chrome://settings"},
    {"Vivaldi", "Vivaldi\\User Data", "", "", "vivaldi.exe", "vivaldi://settings"},
    {"Yandex Browser", "Yandex\\YandexBrowser\\User Data", "YandexBrowser", "", "browser.exe", "browser://settings"},
};

constexpr const char* kFirefox = "Firefox";
constexpr const char* kFirefoxPolicyKey = "Mozilla\\Firefox";
constexpr const char* kFirefoxExtensionsKey = "Mozilla\\Firefox\\Extensions";
constexpr const char* kFirefoxSettingsPage = "about:preferences";

// Browser programs a shortcut may start, with the browser's name.
struct ShortcutProgram {
  const char* program;
  const char* browser;
  const char* settingsPage;
};
constexpr ShortcutProgram kShortcutPrograms[] = {
    {"chrome.exe", "Google Chrome", "chrome://settings"}, {"msedge.exe", "Microsoft Edge", "edge://settings"},
    {"brave.exe", "Brave", "brave://settings"},           {"firefox.exe", kFirefox, kFirefoxSettingsPage},
    {"vivaldi.exe", "Vivaldi", "vivaldi://settings"},     {"opera.exe", "Opera", "opera://settings"},
    {"launcher.exe", "Opera", "opera://settings"},
};

// How far and how much the scan walks.
constexpr int kPolicyDepth = 4;
constexpr std::size_t kPolicyValues = 2000;
constexpr std::size_t kProfilesPerBrowser = 100;
constexpr std::size_t kExtensionsPerProfile = 500;
constexpr int kShortcutDepth = 4;
constexpr std::size_t kShortcutFiles = 3000;

std::string Join(const std::string& a, std::string_view b) {
  if (a.empty()) return std::string(b);
  if (a.back() == '\\') return a + std::string(b);
  return a + "\\" + std::string(b);
}

// The entries of a folder: sub-folders (folders true) or files.
std::vector<std::string> ListFolder(const std::string& folder, bool folders) {
  std::vector<std::string> out;
  WIN32_FIND_DATAW data;
  win32::UniqueFind find(FindFirstFileW(win32::ApiPath(Join(folder, "*")).c_str(), &data));
  if (!find) return out;
  do {
    const std::wstring name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    const bool isFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    // Junctions and links are not followed: they may loop.
    if (isFolder && (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) continue;
    if (isFolder == folders) out.push_back(win32::Narrow(name));
  } while (FindNextFileW(find.get(), &data) && out.size() < 10000);
  std::sort(out.begin(), out.end());
  return out;
}

BrowserRegView ToRowView(RegView v) {
  return v == RegView::Force32 ? BrowserRegView::Force32 : v == RegView::Force64 ? BrowserRegView::Force64
                                                                                   : BrowserRegView::Default;
}

std::string KeyText(const char* root, const std::string& path, RegView view) {
  std::string text = std::string(root) + "\\" + path;
  if (view == RegView::Force32) text += " (32-bit)";
  return text;
}

// Rows already listed from the 64-bit view: the same value seen again
// through the 32-bit view (a key both views share) is not listed twice.
class SeenValues {
 public:
  bool Add(const std::string& root, const std::string& key, const std::string& name, const std::string& value) {
    return seen_.insert(AsciiLower(root + "\n" + key + "\n" + name) + "\n" + value).second;
  }

 private:
  std::set<std::string> seen_;
};

// ---- policies ---------------------------------------------------------------------

void WalkPolicyKey(const RegKey& key, const char* root, const std::string& keyPath, const std::string& relative,
                   int depth, bool firefox, const std::string& browser, RegView view, SeenValues& seen,
                   std::vector<BrowserRow>& out, std::size_t& count) {
  for (const auto& value : key.Values()) {
    if (count >= kPolicyValues) return;
    const std::string text = win32::RegValueText(value);
    if (!seen.Add(root, keyPath, value.name, text)) continue;
    ++count;
    BrowserRow row;
    row.browser = browser;
    row.kind = kKindPolicy;
    row.name = relative.empty() ? value.name : relative + "\\" + value.name;
    if (value.name.empty()) row.name = relative.empty() ? "(Default)" : relative;
    row.value = text;
    row.location = KeyText(root, keyPath, view);
    const PolicyClass c = ClassifyPolicy(firefox, row.name, text);
    SetVerdict(row, c != PolicyClass::Plain);
    row.repair = BrowserRepair::DeleteRegistryValue;
    row.root = root;
    row.keyPath = keyPath;
    row.valueName = value.name;
    row.view = ToRowView(view);
    row.settingsPage = firefox ? "about:policies" : "";
    out.push_back(std::move(row));
  }
  if (depth >= kPolicyDepth) return;
  for (const auto& sub : key.SubKeyNames()) {
    auto child = RegKey::Open(key.get(), sub, KEY_READ, view);
    if (!child) continue;
    WalkPolicyKey(*child, root, keyPath + "\\" + sub, relative.empty() ? sub : relative + "\\" + sub, depth + 1,
                  firefox, browser, view, seen, out, count);
  }
}

void ScanPolicies(const OtherBrowsersPlaces& places, std::vector<BrowserRow>& out) {
  struct Target {
    std::string browser, key, settings;
    bool firefox;
  };
  std::vector<Target> targets;
  for (const auto& b : kChromiumBrowsers)
    if (*b.policyKey) targets.push_back({b.name, b.policyKey, std::string(b.settingsPage).substr(0, std::string(b.settingsPage).find("settings")) + "policy", false});
  targets.push_back({kFirefox, kFirefoxPolicyKey, "about:policies", true});
  for (const auto& t : targets) {
    SeenValues seen;
    std::size_t count = 0;
    for (const auto& [root, hkey] : {std::pair{"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
                                     std::pair{"HKEY_CURRENT_USER", HKEY_CURRENT_USER}}) {
      for (RegView view : {RegView::Force64, RegView::Force32}) {
        const std::string path = Join(places.policiesKey, t.key);
        auto key = RegKey::Open(hkey, path, KEY_READ, view);
        if (!key) continue;
        const std::size_t first = out.size();
        WalkPolicyKey(*key, root, path, "", 0, t.firefox, t.browser, view, seen, out, count);
        for (std::size_t i = first; i < out.size(); ++i) out[i].settingsPage = t.settings;
      }
    }
  }
}

// ---- external extensions ---------------------------------------------------------

void ScanExternalExtensions(const OtherBrowsersPlaces& places, std::vector<BrowserRow>& out) {
  for (const auto& [root, hkey] : {std::pair{"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
                                   std::pair{"HKEY_CURRENT_USER", HKEY_CURRENT_USER}}) {
    for (const auto& b : kChromiumBrowsers) {
      if (!*b.extensionsKey) continue;
      SeenValues seen;
      for (RegView view : {RegView::Force64, RegView::Force32}) {
        const std::string path = Join(places.softwareKey, b.extensionsKey);
        auto key = RegKey::Open(hkey, path, KEY_READ, view);
        if (!key) continue;
        for (const auto& id : key->SubKeyNames()) {
          auto entry = RegKey::Open(key->get(), id, KEY_READ, view);
          if (!entry) continue;
          const std::string updateUrl = entry->ReadString("update_url").value_or("");
          const std::string file = entry->ReadString("path").value_or("");
          const std::string version = entry->ReadString("version").value_or("");
          std::string value;
          if (!updateUrl.empty()) value = "update from " + updateUrl;
          if (!file.empty()) value += (value.empty() ? "" : ", ") + std::string("package ") + file;
          if (!version.empty()) value += ", version " + version;
          if (!seen.Add(root, path, id, value)) continue;
          BrowserRow row;
          row.browser = b.name;
          row.kind = kKindExternalExtension;
          row.name = id;
          row.value = value;
          row.location = KeyText(root, path + "\\" + id, view);
          // A package file, or updates from anywhere but the store.
          SetVerdict(row, !file.empty() || !IsStoreUpdateUrl(updateUrl));
          row.repair = BrowserRepair::DeleteRegistryKey;
          row.root = root;
          row.keyPath = path + "\\" + id;
          row.view = ToRowView(view);
          row.settingsPage = std::string(b.settingsPage).substr(0, std::string(b.settingsPage).find("settings")) + "extensions";
          out.push_back(std::move(row));
        }
      }
    }
    SeenValues seen;
    for (RegView view : {RegView::Force64, RegView::Force32}) {
      const std::string path = Join(places.softwareKey, kFirefoxExtensionsKey);
      auto key = RegKey::Open(hkey, path, KEY_READ, view);
      if (!key) continue;
      for (const auto& value : key->Values()) {
        const std::string text = win32::RegValueText(value);
        if (!seen.Add(root, path, value.name, text)) continue;
        BrowserRow row;
        row.browser = kFirefox;
        row.kind = kKindExternalExtension;
        row.name = value.name;
        row.value = text;
        row.location = KeyText(root, path, view);
        SetVerdict(row, true);  // an add-on from a folder, never from the add-on site
        row.repair = BrowserRepair::DeleteRegistryValue;
        row.root = root;
        row.keyPath = path;
        row.valueName = value.name;
        row.view = ToRowView(view);
        row.settingsPage = "about:addons";
        out.push_back(std::move(row));
      }
    }
  }
}

// ---- Chromium profiles ----------------------------------------------------------

std::optional<std::string> ReadFileAs(const std::string& path, std::size_t limit, const BrowserRow& base,
                                      std::vector<BrowserRow>& out) {
  std::string error;
  auto bytes = ReadWholeFile(path, limit, error);
  if (!bytes && !error.empty()) {
    BrowserRow where = base;
    where.location = path;
    ReadOutcome outcome;
    outcome.error = error;
    out.push_back(DamagedFileRow(where, std::string(FileNameOf(path)), outcome));
  }
  return bytes;
}

// The damaged-file row for what a reader said, when it said anything.
void ReportOutcome(const ReadOutcome& outcome, const std::string& path, const BrowserRow& base,
                   std::vector<BrowserRow>& out) {
  if (outcome.ok() && outcome.problems.empty()) return;
  BrowserRow where = base;
  where.location = path;
  out.push_back(DamagedFileRow(where, std::string(FileNameOf(path)), outcome));
}

// The newest version folder of an extension (the last by name is good
// enough: browsers keep one, sometimes two during an update).
std::string ExtensionVersionFolder(const std::string& idFolder) {
  const auto versions = ListFolder(idFolder, true);
  for (auto it = versions.rbegin(); it != versions.rend(); ++it)
    if (win32::FileExists(Join(Join(idFolder, *it), "manifest.json"))) return Join(idFolder, *it);
  return {};
}

std::optional<ExtensionManifest> ReadManifestIn(const std::string& folder, const BrowserRow& base,
                                                std::vector<BrowserRow>& out) {
  const std::string path = Join(folder, "manifest.json");
  auto bytes = ReadFileAs(path, kSmallFileLimit, base, out);
  if (!bytes) return std::nullopt;
  ExtensionManifest manifest = ReadExtensionManifest(*bytes);
  ReportOutcome(manifest.outcome, path, base, out);
  if (!manifest.outcome.ok()) return std::nullopt;
  const std::string key = ManifestMessageKey(manifest.name);
  if (!key.empty()) {
    std::string locale = manifest.defaultLocale.empty() ? "en" : manifest.defaultLocale;
    if (locale.find_first_of("\\/.:") != std::string::npos) locale = "en";
    std::string error;
    if (auto catalogue = ReadWholeFile(Join(folder, "_locales\\" + locale + "\\messages.json"), kSmallFileLimit, error)) {
      const std::string name = ReadManifestMessage(*catalogue, key);
      if (!name.empty()) manifest.name = name;
    }
  }
  return manifest;
}

void ScanChromiumProfile(const ChromiumBrowser& b, const std::string& profileFolder, const std::string& profileName,
                         std::vector<BrowserRow>& out) {
  BrowserRow base;
  base.browser = b.name;
  base.profile = profileName;
  base.settingsPage = b.settingsPage;

  std::map<std::string, ChromiumExtensionState> states;
  for (const char* file : {"Preferences", "Secure Preferences"}) {
    const std::string path = Join(profileFolder, file);
    if (!win32::FileExists(path)) continue;
    base.location = path;
    base.filePath = path;
    auto bytes = ReadFileAs(path, kProfileFileLimit, base, out);
    if (!bytes) continue;
    const ChromiumPreferences prefs = ReadChromiumPreferences(*bytes);
    ReportOutcome(prefs.outcome, path, base, out);
    AddChromiumPreferenceRows(prefs, base, out);
    for (const auto& s : prefs.extensions) {
      auto& state = states[s.id];
      if (state.id.empty()) state = s;
    }
  }

  // Extensions: those in the profile's folder, then those the profile
  // records elsewhere (unpacked ones load from any folder).
  base.settingsPage = std::string(b.settingsPage).substr(0, std::string(b.settingsPage).find("settings")) + "extensions";
  const std::string extensionsFolder = Join(profileFolder, "Extensions");
  std::set<std::string> listed;
  for (const auto& id : ListFolder(extensionsFolder, true)) {
    if (listed.size() >= kExtensionsPerProfile) break;
    const std::string version = ExtensionVersionFolder(Join(extensionsFolder, id));
    if (version.empty()) continue;
    base.location = Join(version, "manifest.json");
    base.filePath = base.location;
    auto manifest = ReadManifestIn(version, base, out);
    auto state = states.find(id);
    out.push_back(ChromiumExtensionRow(base, id, manifest ? &*manifest : nullptr,
                                       state == states.end() ? nullptr : &state->second));
    listed.insert(id);
  }
  for (const auto& [id, state] : states) {
    if (listed.count(id) || state.location == 5 || state.location == 10) continue;
    if (listed.size() >= kExtensionsPerProfile) break;
    std::optional<ExtensionManifest> manifest;
    base.location = state.path.empty() ? Join(profileFolder, "Secure Preferences") : state.path;
    base.filePath = base.location;
    // An unpacked extension records its full folder; packed ones a folder
    // below "Extensions" that is gone (they are listed above when present).
    if (IsFullPath(state.path) && win32::FileExists(Join(state.path, "manifest.json")))
      manifest = ReadManifestIn(state.path, base, out);
    else if (state.location == 1 && state.fromWebstore)
      continue;  // a store extension whose files are gone: the browser removes it itself
    out.push_back(ChromiumExtensionRow(base, id, manifest ? &*manifest : nullptr, &state));
    listed.insert(id);
  }
}

void ScanChromiumBrowsers(const OtherBrowsersPlaces& places, std::vector<BrowserRow>& out) {
  if (places.localAppData.empty()) return;
  for (const auto& b : kChromiumBrowsers) {
    const std::string userData = Join(places.localAppData, b.userData);
    if (!win32::DirectoryExists(userData)) continue;
    std::map<std::string, std::string> names;
    const std::string localState = Join(userData, "Local State");
    if (win32::FileExists(localState)) {
      BrowserRow base;
      base.browser = b.name;
      base.location = localState;
      if (auto bytes = ReadFileAs(localState, kProfileFileLimit, base, out)) {
        const auto state = ReadChromiumLocalState(*bytes);
        ReportOutcome(state.outcome, localState, base, out);
        for (const auto& n : state.profileNames) names[n.name] = n.value;
      }
    }
    std::size_t profiles = 0;
    for (const auto& folder : ListFolder(userData, true)) {
      if (folder == "System Profile" || folder == "Guest Profile") continue;
      const std::string profileFolder = Join(userData, folder);
      if (!win32::FileExists(Join(profileFolder, "Preferences"))) continue;
      if (++profiles > kProfilesPerBrowser) break;
      auto named = names.find(folder);
      const std::string profileName =
          (named == names.end() || named->second.empty() || named->second == folder) ? folder
                                                                                     : named->second + " (" + folder + ")";
      ScanChromiumProfile(b, profileFolder, profileName, out);
    }
  }
}

// ---- Firefox ------------------------------------------------------------------------

void ScanFirefoxProfiles(const OtherBrowsersPlaces& places, std::vector<BrowserRow>& out) {
  if (places.roamingAppData.empty()) return;
  const std::string firefoxFolder = Join(places.roamingAppData, "Mozilla\\Firefox");
  const std::string ini = Join(firefoxFolder, "profiles.ini");
  if (!win32::FileExists(ini)) return;
  BrowserRow base;
  base.browser = kFirefox;
  base.settingsPage = kFirefoxSettingsPage;
  base.location = ini;
  auto iniBytes = ReadFileAs(ini, kSmallFileLimit, base, out);
  if (!iniBytes) return;
  std::size_t profiles = 0;
  for (const auto& p : ReadProfilesIni(*iniBytes)) {
    if (++profiles > kProfilesPerBrowser) break;
    std::string path = p.path;
    std::replace(path.begin(), path.end(), '/', '\\');
    if (p.isRelative) {
      // A relative path stays below the Firefox folder.
      if (path.find("..") != std::string::npos) continue;
      path = Join(firefoxFolder, path);
    }
    if (!win32::DirectoryExists(path)) continue;
    base.profile = p.name.empty() ? std::string(FileNameOf(path)) : p.name;
    for (const char* file : {"prefs.js", "user.js"}) {
      const std::string filePath = Join(path, file);
      if (!win32::FileExists(filePath)) continue;
      base.location = filePath;
      base.filePath = filePath;
      auto bytes = ReadFileAs(filePath, kProfileFileLimit, base, out);
      if (!bytes) continue;
      const PrefsFile prefs = ReadPrefsJs(*bytes);
      ReportOutcome(prefs.outcome, filePath, base, out);
      AddFirefoxPrefRows(prefs, base, out);
    }
    const std::string extensions = Join(path, "extensions.json");
    if (win32::FileExists(extensions)) {
      BrowserRow addonBase = base;
      addonBase.location = extensions;
      addonBase.filePath = extensions;
      addonBase.settingsPage = "about:addons";
      if (auto bytes = ReadFileAs(extensions, kProfileFileLimit, addonBase, out)) {
        const FirefoxExtensions addons = ReadFirefoxExtensions(*bytes);
        ReportOutcome(addons.outcome, extensions, addonBase, out);
        AddFirefoxAddonRows(addons, addonBase, out);
      }
    }
  }
}

void ScanFirefoxPolicyFiles(const OtherBrowsersPlaces& places, std::vector<BrowserRow>& out) {
  std::set<std::string> done;
  for (const auto& folder : places.firefoxProgramFolders) {
    if (folder.empty() || !done.insert(AsciiLower(folder)).second) continue;
    const std::string path = Join(folder, "distribution\\policies.json");
    if (!win32::FileExists(path)) continue;
    BrowserRow base;
    base.browser = kFirefox;
    base.location = path;
    base.filePath = path;
    base.settingsPage = "about:policies";
    if (win32::FileExists(Join(folder, "firefox.exe"))) base.program = Join(folder, "firefox.exe");
    auto bytes = ReadFileAs(path, kSmallFileLimit, base, out);
    if (!bytes) continue;
    const FirefoxPolicies policies = ReadFirefoxPolicies(*bytes);
    ReportOutcome(policies.outcome, path, base, out);
    AddFirefoxPolicyFileRows(policies, base, out);
  }
}

// ---- shortcuts ----------------------------------------------------------------------

const ShortcutProgram* ShortcutProgramOf(const std::string& target) {
  const std::string name = AsciiLower(FileNameOf(target));
  for (const auto& p : kShortcutPrograms)
    if (name == p.program) return &p;
  return nullptr;
}

void ScanShortcutFolder(const std::string& folder, int depth, std::size_t& files, std::vector<BrowserRow>& out) {
  for (const auto& name : ListFolder(folder, false)) {
    if (++files > kShortcutFiles) return;
    if (name.size() < 5 || AsciiLower(name.substr(name.size() - 4)) != ".lnk") continue;
    const std::string path = Join(folder, name);
    const ShortcutTarget link = ResolveShortcut(path);
    if (!link.loaded) continue;
    const ShortcutProgram* program = ShortcutProgramOf(link.target);
    if (!program) continue;
    BrowserRow row;
    row.browser = program->browser;
    row.kind = kKindShortcut;
    row.name = name.substr(0, name.size() - 4);
    row.value = link.arguments;
    row.location = path;
    row.filePath = path;
    row.program = link.target;
    row.settingsPage = program->settingsPage;
    const ShortcutArgumentCheck check = CheckShortcutArguments(link.arguments);
    SetVerdict(row, check.Distrustful());
    if (check.Distrustful()) {
      row.repair = BrowserRepair::ResetShortcutArguments;
      row.newArguments = check.kept;
    }
    out.push_back(std::move(row));
  }
  if (depth >= kShortcutDepth) return;
  for (const auto& sub : ListFolder(folder, true)) {
    if (files > kShortcutFiles) return;
    ScanShortcutFolder(Join(folder, sub), depth + 1, files, out);
  }
}

void ScanShortcuts(const OtherBrowsersPlaces& places, std::vector<BrowserRow>& out) {
  std::set<std::string> done;
  std::size_t files = 0;
  for (const auto& folder : places.shortcutFolders) {
    if (folder.empty() || !done.insert(AsciiLower(folder)).second || !win32::DirectoryExists(folder)) continue;
    ScanShortcutFolder(folder, 0, files, out);
  }
}

void FillPrograms(std::vector<BrowserRow>& rows) {
  // The browser's program, for opening its settings page: App Paths first.
  std::map<std::string, std::string> programs;
  for (auto& row : rows) {
    if (!row.program.empty()) continue;
    const std::string name = BrowserProgramName(row.browser);
    if (name.empty()) continue;
    auto it = programs.find(name);
    if (it == programs.end()) {
      std::string found;
      const std::string key = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + name;
      for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        for (RegView view : {RegView::Force64, RegView::Force32}) {
          if (!found.empty()) break;
          if (auto k = RegKey::Open(root, key, KEY_READ, view)) {
            std::string p = k->ReadString("").value_or("");
            if (p.size() > 2 && p.front() == '"' && p.back() == '"') p = p.substr(1, p.size() - 2);
            if (win32::FileExists(p)) found = p;
          }
        }
      }
      it = programs.emplace(name, found).first;
    }
    row.program = it->second;
  }
}

}  // namespace

std::optional<std::string> ReadWholeFile(std::string_view path, std::size_t limit, std::string& error) {
  error.clear();
  win32::UniqueHfile file(CreateFileW(win32::ApiPath(path).c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    const DWORD code = GetLastError();
    if (code != ERROR_FILE_NOT_FOUND && code != ERROR_PATH_NOT_FOUND) error = "the file could not be opened.";
    return std::nullopt;
  }
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart < 0) {
    error = "the size of the file could not be read.";
    return std::nullopt;
  }
  if (static_cast<unsigned long long>(size.QuadPart) > limit) {
    error = "the file is larger than " +
            (limit >= (1u << 20) ? std::to_string(limit >> 20) + " MB" : std::to_string(limit) + " bytes") +
            " and was not read.";
    return std::nullopt;
  }
  std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
  std::size_t done = 0;
  while (done < bytes.size()) {
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
    if (!ReadFile(file.get(), bytes.data() + done, want, &got, nullptr)) {
      error = "the file could not be read.";
      return std::nullopt;
    }
    if (got == 0) break;  // it became shorter meanwhile
    done += got;
  }
  bytes.resize(done);
  return bytes;
}

bool IsProgramRunning(std::string_view programName) {
  win32::UniqueSnapshot snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return false;
  const std::wstring wanted = win32::Widen(programName);
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry))
    if (_wcsicmp(entry.szExeFile, wanted.c_str()) == 0) return true;
  return false;
}

std::string BrowserProgramName(std::string_view browser) {
  if (browser == kFirefox) return "firefox.exe";
  for (const auto& b : kChromiumBrowsers)
    if (browser == b.name) return b.program;
  for (const auto& p : kShortcutPrograms)
    if (browser == p.browser) return p.program;
  return {};
}

OtherBrowsersPlaces OtherBrowsersPlaces::System() {
  OtherBrowsersPlaces places;
  places.localAppData = GetSpecialFolderPath(nullptr, CSIDL_LOCAL_APPDATA);
  places.roamingAppData = GetSpecialFolderPath(nullptr, CSIDL_APPDATA);
  for (int csidl : {CSIDL_PROGRAM_FILES, CSIDL_PROGRAM_FILESX86}) {
    const std::string folder = GetSpecialFolderPath(nullptr, csidl);
    if (!folder.empty()) places.firefoxProgramFolders.push_back(Join(folder, "Mozilla Firefox"));
  }
  for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
    for (RegView view : {RegView::Force64, RegView::Force32}) {
      if (auto k = RegKey::Open(root, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\firefox.exe", KEY_READ,
                                view)) {
        std::string folder = k->ReadString("Path").value_or("");
        while (!folder.empty() && (folder.back() == '\\' || folder.back() == ';')) folder.pop_back();
        if (!folder.empty()) places.firefoxProgramFolders.push_back(folder);
      }
    }
  }
  for (int csidl : {CSIDL_DESKTOPDIRECTORY, CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_STARTMENU, CSIDL_COMMON_STARTMENU}) {
    const std::string folder = GetSpecialFolderPath(nullptr, csidl);
    if (!folder.empty()) places.shortcutFolders.push_back(folder);
  }
  if (!places.roamingAppData.empty()) {
    places.shortcutFolders.push_back(
        Join(places.roamingAppData, "Microsoft\\Internet Explorer\\Quick Launch\\User Pinned\\TaskBar"));
    places.shortcutFolders.push_back(Join(places.roamingAppData, "Microsoft\\Internet Explorer\\Quick Launch"));
  }
  return places;
}

std::vector<BrowserRow> ScanOtherBrowsers(const OtherBrowsersPlaces& places) {
  std::vector<BrowserRow> rows;
  // One part that fails (out of memory on a hostile file …) leaves a row
  // that says so; the other parts are still read.
  const auto part = [&rows](const char* what, auto&& scan) {
    try {
      scan();
    } catch (const std::exception& e) {
      BrowserRow row;
      row.kind = kKindDamagedFile;
      row.name = what;
      row.value = std::string("The scan of this part stopped: ") + e.what();
      row.verdict = kUnreadableFile;
      rows.push_back(std::move(row));
    }
  };
  part("Chromium profiles", [&] { ScanChromiumBrowsers(places, rows); });
  part("Firefox profiles", [&] { ScanFirefoxProfiles(places, rows); });
  part("Policies", [&] { ScanPolicies(places, rows); });
  part("policies.json", [&] { ScanFirefoxPolicyFiles(places, rows); });
  part("External extensions", [&] { ScanExternalExtensions(places, rows); });
  part("Shortcuts", [&] { ScanShortcuts(places, rows); });
  part("Programs", [&] { FillPrograms(rows); });
  return rows;
}

std::vector<BrowserRow> ScanOtherBrowsers() { return ScanOtherBrowsers(OtherBrowsersPlaces::System()); }

std::vector<HijackRow> OtherBrowsersHijackScan() { return OtherBrowsersHijackRows(ScanOtherBrowsers()); }

}  // namespace wl
