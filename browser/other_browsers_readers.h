// Readers of the files where current browsers keep their settings and
// add-ons: Chromium's "Preferences" / "Secure Preferences" / "Local State",
// extension manifests and their message catalogues, Firefox's
// "extensions.json", "policies.json", "prefs.js" / "user.js" and
// "profiles.ini". All take the file's bytes (the caller limits how many it
// reads) and never throw: a file that is not what it should be gives an
// error text, a part of the wrong type a problem text, and the rest is still
// read.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wl {

// How many bytes of a profile file are read at most (Preferences,
// extensions.json, prefs.js …), and of a small file (a manifest, a message
// catalogue, policies.json, profiles.ini). Larger files are not read.
inline constexpr std::size_t kProfileFileLimit = 8u << 20;
inline constexpr std::size_t kSmallFileLimit = 1u << 20;
// Deeper nesting than this is refused before the JSON is parsed.
inline constexpr int kJsonDepthLimit = 128;
// Value texts longer than this are cut (with "…").
inline constexpr std::size_t kValueTextLimit = 1024;

// What every reader tells besides its data.
struct ReadOutcome {
  std::string error;                  // the file as a whole could not be read; empty when it could
  std::vector<std::string> problems;  // parts of an unexpected type, skipped
  bool ok() const { return error.empty(); }
};

// One setting as name and value text.
struct NamedValue {
  std::string name;
  std::string value;
};

// ---- Chromium ---------------------------------------------------------------

struct ChromiumExtensionState {
  std::string id;
  int location = 0;           // where it came from (1 the store or the user, 2/3/6/7 outside installers, 5/10 the browser's own)
  bool fromWebstore = false;  // installed from the browser's store
  bool disabled = false;
  std::string path;           // the extension's folder as recorded
  std::string name;           // from the recorded manifest, when there is one
};

struct ChromiumPreferences {
  ReadOutcome outcome;
  std::optional<std::string> homepage;
  std::optional<bool> homepageIsNewTab;
  std::optional<int> restoreOnStartup;  // 1 restore the last session, 4 open the start-up pages, 5 new tab
  std::vector<std::string> startupUrls;
  std::optional<std::string> searchName;  // the default search provider
  std::optional<std::string> searchUrl;
  std::vector<ChromiumExtensionState> extensions;
};
ChromiumPreferences ReadChromiumPreferences(std::string_view bytes);

// "Local State": profile folder name -> the name the user gave the profile.
struct ChromiumLocalState {
  ReadOutcome outcome;
  std::vector<NamedValue> profileNames;
};
ChromiumLocalState ReadChromiumLocalState(std::string_view bytes);

struct ExtensionManifest {
  ReadOutcome outcome;
  std::string name;  // may be a "__MSG_key__" reference (see LocalizedName)
  std::string version;
  std::string defaultLocale;
  std::string updateUrl;
  std::vector<std::string> permissions;  // permissions and host permissions
  // Settings the extension takes over: "home page", "search provider",
  // "start-up pages", "new-tab page" with the address it sets.
  std::vector<NamedValue> overrides;
};
ExtensionManifest ReadExtensionManifest(std::string_view bytes);
// The message key of a "__MSG_key__" name, else empty.
std::string ManifestMessageKey(std::string_view name);
// The "message" of key in a "_locales/…/messages.json" catalogue (keys
// compared without regard to case), else empty.
std::string ReadManifestMessage(std::string_view catalogue, std::string_view key);

// ---- Firefox ----------------------------------------------------------------

struct FirefoxAddon {
  std::string id;
  std::string name;
  std::string version;
  std::string type;      // "extension", "theme" …
  std::string location;  // "app-profile", "app-system-defaults", "winreg-app-global" …
  std::string sourceUri;
  bool active = false;
  std::optional<int> signedState;
  std::vector<std::string> permissions;
};
struct FirefoxExtensions {
  ReadOutcome outcome;
  std::vector<FirefoxAddon> addons;
};
FirefoxExtensions ReadFirefoxExtensions(std::string_view bytes);

struct FirefoxPolicy {
  std::string name;   // the policy, with its inner key for entries of a list ("Extensions\Install")
  std::string value;  // its value as text
  bool forcedExtension = false;
};
struct FirefoxPolicies {
  ReadOutcome outcome;
  std::vector<FirefoxPolicy> policies;
};
FirefoxPolicies ReadFirefoxPolicies(std::string_view bytes);

// One statement of a prefs.js or user.js file.
struct PrefStatement {
  std::string function;  // "user_pref", "pref", "sticky_pref", "lockPref"
  std::string name;
  std::string value;     // strings unescaped; numbers and true/false as written
  bool isString = false;
  int line = 0;
};
struct PrefsFile {
  ReadOutcome outcome;
  std::vector<PrefStatement> prefs;
};
// Tokenises the statements; a statement it cannot read is a problem
// ("line N: …") and reading goes on after its ";" or line end.
PrefsFile ReadPrefsJs(std::string_view bytes);

struct FirefoxProfileEntry {
  std::string name;
  std::string path;  // as written ("Profiles/abc.default")
  bool isRelative = true;
  bool isDefault = false;
};
std::vector<FirefoxProfileEntry> ReadProfilesIni(std::string_view bytes);

}  // namespace wl
