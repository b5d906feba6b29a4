// Browser profile files (Preferences, Local State, manifests, message
// catalogues, extensions.json, policies.json) are outside bytes: read
// arbitrary ones with every reader and turn what they give into rows.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "browser/other_browsers_readers.h"
#include "browser/other_browsers_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  wl::BrowserRow base;
  base.browser = "Fuzz";
  std::vector<wl::BrowserRow> rows;

  const auto prefs = wl::ReadChromiumPreferences(bytes);
  wl::AddChromiumPreferenceRows(prefs, base, rows);
  for (const auto& state : prefs.extensions) rows.push_back(wl::ChromiumExtensionRow(base, state.id, nullptr, &state));
  (void)wl::ReadChromiumLocalState(bytes);
  const auto manifest = wl::ReadExtensionManifest(bytes);
  rows.push_back(wl::ChromiumExtensionRow(base, "id", &manifest, nullptr));
  (void)wl::ReadManifestMessage(bytes, "appName");
  wl::AddFirefoxAddonRows(wl::ReadFirefoxExtensions(bytes), base, rows);
  wl::AddFirefoxPolicyFileRows(wl::ReadFirefoxPolicies(bytes), base, rows);
  rows.push_back(wl::DamagedFileRow(base, "f", prefs.outcome));

  // A file that did not parse gives no data; every text stays within its limit.
  if (!prefs.outcome.ok() && (prefs.homepage || !prefs.startupUrls.empty() || !prefs.extensions.empty())) std::abort();
  for (const auto& row : rows)
    if (row.name.size() > 4 * wl::kValueTextLimit + 64 && row.kind != wl::kKindExtension) std::abort();
  (void)wl::OtherBrowsersHijackRows(rows);
  return 0;
}
