// prefs.js / user.js, profiles.ini and shortcut arguments are outside bytes:
// tokenise arbitrary ones.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "browser/other_browsers_readers.h"
#include "browser/other_browsers_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const wl::PrefsFile prefs = wl::ReadPrefsJs(bytes);
  for (const auto& p : prefs.prefs) {
    if (p.line < 1) std::abort();
    if (p.name.size() > wl::kValueTextLimit + 3 || p.value.size() > wl::kValueTextLimit + 3) std::abort();
  }
  if (prefs.outcome.problems.size() > 20) std::abort();
  wl::BrowserRow base;
  std::vector<wl::BrowserRow> rows;
  wl::AddFirefoxPrefRows(prefs, base, rows);
  (void)wl::ReadProfilesIni(bytes);

  const wl::ShortcutArgumentCheck check = wl::CheckShortcutArguments(bytes);
  // What a reset keeps is itself clean.
  if (wl::CheckShortcutArguments(check.kept).Distrustful()) std::abort();
  (void)wl::IsWellKnownProvider(bytes);
  (void)wl::HoldsWebAddress(bytes);
  return 0;
}
