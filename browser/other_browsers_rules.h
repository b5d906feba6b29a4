// The rows of the "Other Browsers" page and the rules that give them their
// verdicts: which web addresses belong to well-known providers, which
// policies change the start, search and new-tab pages or force add-ons,
// which extensions come from outside the browsers' stores and which shortcut
// arguments do not belong there.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "browser/other_browsers_readers.h"
#include "core/hijack_list.h"
#include "core/table_text.h"

namespace wl {

inline constexpr const char* kDistrustfulSetting = "Distrustful setting";
inline constexpr const char* kNormalSetting = "Normal";
inline constexpr const char* kUnreadableFile = "Could not be read";
// The category of the page's rows in the hijack report.
inline constexpr const char* kBrowserSettingCategory = "Browser Setting";

// The "Kind" column.
inline constexpr const char* kKindPolicy = "Policy";
inline constexpr const char* kKindExternalExtension = "External Extension";
inline constexpr const char* kKindExtension = "Extension";
inline constexpr const char* kKindSetting = "Setting";
inline constexpr const char* kKindShortcut = "Shortcut";
inline constexpr const char* kKindDamagedFile = "Damaged File";

enum class BrowserRegView { Default, Force64, Force32 };

// What the page's repair does with a row.
enum class BrowserRepair {
  None,                          // nothing to repair here (profile files: the browser's own reset does it)
  DeleteRegistryValue,           // a policy value, a forced-extension entry, a Firefox external extension
  DeleteRegistryKey,             // a Chromium external extension's key
  ResetShortcutArguments,        // keep only the expected switches of a browser shortcut
};

struct BrowserRow {
  std::string browser;   // "Google Chrome", "Microsoft Edge", "Firefox" …
  std::string profile;   // the profile's name; empty for what holds for the whole browser
  std::string kind;      // one of the kinds above
  std::string name;
  std::string value;
  std::string location;  // registry path text or file path
  std::string verdict;   // kDistrustfulSetting, kNormalSetting or kUnreadableFile
  bool flagged = false;

  BrowserRepair repair = BrowserRepair::None;
  std::string root;        // "HKEY_LOCAL_MACHINE" / "HKEY_CURRENT_USER" of a registry repair
  std::string keyPath;     // the key below root as the chosen view sees it
  std::string valueName;   // the value to delete
  BrowserRegView view = BrowserRegView::Default;
  std::string filePath;    // the shortcut, or the profile file the row comes from
  std::string newArguments;  // the arguments a shortcut is reset to
  std::string settingsPage;  // the browser's own settings page ("chrome://settings" …); empty when none
  std::string program;       // the browser's program file, when known
  int scanIndex = -1;        // its place in the scan's rows, which its hijack row names
};

void SetVerdict(BrowserRow& row, bool distrustful);

// ---- addresses and names ------------------------------------------------------

// The host of a web address, lower-case, without port or user; empty when
// the text is not one ("www.x.com/…" without a scheme counts).
std::string UrlHost(std::string_view url);
// A browser's own page: about:, chrome://, edge://, brave://, opera://,
// vivaldi://, chrome-search://, resource://, moz-extension is not one.
bool IsBrowserInternalPage(std::string_view url);
// A home, start-up, new-tab or search address of a well-known provider (or
// a browser's own page, or empty).
bool IsWellKnownProvider(std::string_view url);
// A search engine's name that a browser ships with.
bool IsWellKnownSearchName(std::string_view name);
// The text holds a web address (with a scheme, or "www." …, or a bare
// host with a known top-level domain).
bool HoldsWebAddress(std::string_view text);

// ---- extensions -----------------------------------------------------------------

// An update address of a browser's extension store.
bool IsStoreUpdateUrl(std::string_view url);
// A Firefox add-on's source on the add-on site.
bool IsFirefoxStoreSource(std::string_view uri);

// ---- policies -------------------------------------------------------------------

enum class PolicyClass { Plain, Flagged, ForcedExtension };
// path: the policy below the browser's policy key, inner keys joined by "\"
// ("HomepageLocation", "ExtensionInstallForcelist\1", "Homepage\URL");
// value: its data as text.
PolicyClass ClassifyPolicy(bool firefox, std::string_view path, std::string_view value);

// ---- shortcuts ------------------------------------------------------------------

// Splits a command line's arguments the way programs receive them (blanks
// separate, double quotes group, backslashes before a quote escape it).
std::vector<std::string> SplitCommandArguments(std::string_view arguments);
struct ShortcutArgumentCheck {
  bool webAddress = false;          // an argument is a web address
  std::vector<std::string> unexpected;  // switches a browser shortcut does not need
  std::string kept;                 // the arguments with only the expected switches
  bool Distrustful() const { return webAddress || !unexpected.empty(); }
};
ShortcutArgumentCheck CheckShortcutArguments(std::string_view arguments);

// ---- rows from profile files ----------------------------------------------------

// A row for a file that could not be read (or read only in part): base gives
// browser, profile and location.
BrowserRow DamagedFileRow(const BrowserRow& base, const std::string& fileName, const ReadOutcome& outcome);
// Home page, start-up pages and search provider of a Chromium profile.
void AddChromiumPreferenceRows(const ChromiumPreferences& prefs, const BrowserRow& base, std::vector<BrowserRow>& out);
// One Chromium extension: what its folder's manifest says and what the
// profile records about it (either may be missing).
BrowserRow ChromiumExtensionRow(const BrowserRow& base, const std::string& id, const ExtensionManifest* manifest,
                                const ChromiumExtensionState* state);
// Home, new-tab, search and proxy preferences of a prefs.js or user.js.
void AddFirefoxPrefRows(const PrefsFile& prefs, const BrowserRow& base, std::vector<BrowserRow>& out);
// The add-ons of extensions.json that the user or other programs installed.
void AddFirefoxAddonRows(const FirefoxExtensions& addons, const BrowserRow& base, std::vector<BrowserRow>& out);
// The policies of a policies.json.
void AddFirefoxPolicyFileRows(const FirefoxPolicies& policies, const BrowserRow& base, std::vector<BrowserRow>& out);

// ---- what the page and the scanners show ----------------------------------------

TextRow OtherBrowsersColumns();
TextRow OtherBrowsersRowText(const BrowserRow& row);
// The flagged rows as rows of the hijack report ("Browser Setting"), with
// their place in rows as index.
std::vector<HijackRow> OtherBrowsersHijackRows(const std::vector<BrowserRow>& rows);

}  // namespace wl
