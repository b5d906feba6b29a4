#!/bin/bash
# Plants browser settings, add-ons and policies of the kinds the "Other
# Browsers" page lists into a Wine prefix (for a look at the page), or
# removes them again:
#   plant_other_browsers.sh PREFIX [remove]
set -euo pipefail
PREFIX="$1"
export WINEPREFIX="$PREFIX" WINEDEBUG=-all
USERDIR="$(ls -d "$PREFIX"/drive_c/users/* | grep -v -i public | head -1)"
LOCAL="$USERDIR/AppData/Local"
ROAMING="$USERDIR/AppData/Roaming"
KEYS=("HKLM\\Software\\Policies\\Google\\Chrome" "HKCU\\Software\\Policies\\Mozilla\\Firefox"
  "HKLM\\Software\\Wow6432Node\\Google\\Chrome\\Extensions\\pppppppppppppppppppppppppppppppp")

if [ "${2:-}" = remove ]; then
  rm -rf "$LOCAL/Google/Chrome" "$LOCAL/Microsoft/Edge" "$ROAMING/Mozilla/Firefox"
  for k in "${KEYS[@]}"; do wine reg delete "$k" /f >/dev/null 2>&1 || true; done
  exit 0
fi

UD="$LOCAL/Google/Chrome/User Data"
mkdir -p "$UD/Default/Extensions/kkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkk/1.0_0/_locales/en" "$UD/Profile 1"
cat >"$UD/Local State" <<'J'
{"profile": {"info_cache": {"Default": {"name": "Anna"}, "Profile 1": {"name": "Work"}}}}
J
cat >"$UD/Default/Preferences" <<'J'
{"homepage": "http://start.hijack.example/", "session": {"restore_on_startup": 4,
 "startup_urls": ["http://startup.hijack.example/", "https://www.google.com/"]},
 "default_search_provider_data": {"template_url_data": {"short_name": "Hijack Search",
 "url": "http://search.hijack.example/?q={searchTerms}"}}}
J
cat >"$UD/Default/Secure Preferences" <<'J'
{"extensions": {"settings": {"kkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkk": {"location": 3, "from_webstore": false}}}}
J
cat >"$UD/Default/Extensions/kkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkk/1.0_0/manifest.json" <<'J'
{"name": "__MSG_extName__", "version": "1.0", "default_locale": "en", "permissions": ["tabs", "<all_urls>"]}
J
cat >"$UD/Default/Extensions/kkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkk/1.0_0/_locales/en/messages.json" <<'J'
{"extName": {"message": "Coupon Helper"}}
J
cat >"$UD/Profile 1/Preferences" <<'J'
{"homepage": "https://www.google.com/", "default_search_provider_data": {"template_url_data": {"short_name": "Google", "url": "{google:baseURL}search?q={searchTerms}"}}}
J
mkdir -p "$LOCAL/Microsoft/Edge/User Data/Default"
printf '{"homepage": "http://a.example/", "session": {"startup_urls": ["http://b' >"$LOCAL/Microsoft/Edge/User Data/Default/Preferences"

FX="$ROAMING/Mozilla/Firefox"
mkdir -p "$FX/Profiles/ab12.default-release"
printf '[Profile0]\r\nName=default-release\r\nIsRelative=1\r\nPath=Profiles/ab12.default-release\r\nDefault=1\r\n' >"$FX/profiles.ini"
cat >"$FX/Profiles/ab12.default-release/prefs.js" <<'J'
// Mozilla User Preferences
user_pref("browser.startup.homepage", "http://fx-start.hijack.example/");
user_pref("browser.startup.page", 1);
user_pref("network.proxy.autoconfig_url", "http://pac.hijack.example/proxy.pac");
J
cat >"$FX/Profiles/ab12.default-release/user.js" <<'J'
user_pref("browser.search.defaultenginename", "Search Protect");
J
cat >"$FX/Profiles/ab12.default-release/extensions.json" <<'J'
{"addons": [{"id": "store@x", "type": "extension", "version": "2", "location": "app-profile", "active": true,
 "sourceURI": "https://addons.mozilla.org/firefox/downloads/file/1/s.xpi", "defaultLocale": {"name": "Store One"}},
 {"id": "side@x", "type": "extension", "version": "1", "location": "app-profile", "active": true,
 "sourceURI": "file:///C:/Users/Public/side.xpi", "defaultLocale": {"name": "Side Loaded"}}]}
J

wine reg add "${KEYS[0]}" /v HomepageLocation /d "http://start.hijack.example/" /f >/dev/null
wine reg add "${KEYS[0]}" /v MetricsReportingEnabled /t REG_DWORD /d 0 /f >/dev/null
wine reg add "${KEYS[0]}\\ExtensionInstallForcelist" /v 1 /d "abcdefghijklmnopabcdefghijklmnop;http://crx.hijack.example/update" /f >/dev/null
wine reg add "${KEYS[1]}\\Homepage" /v URL /d "http://fx.hijack.example/" /f >/dev/null
wine reg add "${KEYS[2]}" /v update_url /d "http://crx.hijack.example/u" /f >/dev/null
