#include "browser/other_browsers_rules.h"

#include <gtest/gtest.h>

namespace wl {
namespace {

TEST(Providers, WellKnownHostsOnlyByTheirWholeName) {
  for (const char* url : {"https://www.google.com/", "http://www.google.co.uk/search?q=x", "https://google.de",
                          "https://www.bing.com/search?q={searchTerms}", "https://duckduckgo.com/?q=%s",
                          "https://search.yahoo.com/", "about:home", "chrome://newtab/", "edge://newtab", "",
                          "https://www.msn.com/de-de", "www.ecosia.org", "https://user@www.google.com:443/x"})
    EXPECT_TRUE(IsWellKnownProvider(url)) << url;
  for (const char* url : {"http://google.com.evil.example/", "http://mygoogle.com/", "http://google.evil/",
                          "http://search.hijack.example/?q={searchTerms}", "http://www.google.com@evil.example/",
                          "file:///C:/start.html", "javascript:alert(1)", "start.example", "http://bing.com.x.ru/"})
    EXPECT_FALSE(IsWellKnownProvider(url)) << url;
  EXPECT_EQ(UrlHost("HTTPS://Www.Example.COM.:8080/a"), "www.example.com");
  EXPECT_TRUE(IsWellKnownSearchName("Google"));
  EXPECT_FALSE(IsWellKnownSearchName("Search Protect"));
}

TEST(Extensions, StoreAddresses) {
  EXPECT_TRUE(IsStoreUpdateUrl("https://clients2.google.com/service/update2/crx"));
  EXPECT_TRUE(IsStoreUpdateUrl("https://edge.microsoft.com/extensionwebstorebase/v1/crx"));
  EXPECT_FALSE(IsStoreUpdateUrl("https://clients2.google.com.evil.example/service/update2/crx"));
  EXPECT_FALSE(IsStoreUpdateUrl("http://updates.example/crx"));
  EXPECT_FALSE(IsStoreUpdateUrl(""));
  EXPECT_TRUE(IsFirefoxStoreSource("https://addons.mozilla.org/firefox/downloads/file/1/a.xpi"));
  EXPECT_FALSE(IsFirefoxStoreSource("https://addons.example/a.xpi"));
}

TEST(Policies, TheChangingOnesAreFlagged) {
  EXPECT_EQ(ClassifyPolicy(false, "ExtensionInstallForcelist\\1", "abc;https://x/crx"), PolicyClass::ForcedExtension);
  EXPECT_EQ(ClassifyPolicy(false, "HomepageLocation", "http://x"), PolicyClass::Flagged);
  EXPECT_EQ(ClassifyPolicy(false, "RestoreOnStartupURLs\\1", "http://x"), PolicyClass::Flagged);
  EXPECT_EQ(ClassifyPolicy(false, "DefaultSearchProviderSearchURL", "http://x"), PolicyClass::Flagged);
  EXPECT_EQ(ClassifyPolicy(false, "ProxyServer", "1.2.3.4:8080"), PolicyClass::Flagged);
  EXPECT_EQ(ClassifyPolicy(false, "ExtensionInstallSources\\1", "http://x/*"), PolicyClass::Flagged);
  EXPECT_EQ(ClassifyPolicy(false, "ExtensionSettings", R"({"a":{"installation_mode":"force_installed"}})"),
            PolicyClass::ForcedExtension);
  EXPECT_EQ(ClassifyPolicy(false, "MetricsReportingEnabled", "0"), PolicyClass::Plain);
  EXPECT_EQ(ClassifyPolicy(true, "Extensions\\Install\\1", "https://x/a.xpi"), PolicyClass::ForcedExtension);
  EXPECT_EQ(ClassifyPolicy(true, "Homepage\\URL", "http://x"), PolicyClass::Flagged);
  EXPECT_EQ(ClassifyPolicy(true, "DisableTelemetry", "1"), PolicyClass::Plain);
}

TEST(ShortcutArguments, WebAddressesAndUnexpectedSwitches) {
  EXPECT_FALSE(CheckShortcutArguments("").Distrustful());
  EXPECT_FALSE(CheckShortcutArguments("--profile-directory=\"Profile 1\"").Distrustful());
  EXPECT_FALSE(CheckShortcutArguments("-P work -no-remote").Distrustful());

  auto c = CheckShortcutArguments("--profile-directory=Default http://start.hijack.example/");
  EXPECT_TRUE(c.webAddress);
  EXPECT_EQ(c.kept, "--profile-directory=Default");
  c = CheckShortcutArguments("\"www.hijack.example\"");
  EXPECT_TRUE(c.webAddress);
  EXPECT_EQ(c.kept, "");
  c = CheckShortcutArguments("hijack.xyz");
  EXPECT_TRUE(c.webAddress);
  c = CheckShortcutArguments("--load-extension=C:\\Users\\x\\ext --profile-directory=\"Profile 1\"");
  EXPECT_FALSE(c.webAddress);
  ASSERT_EQ(c.unexpected.size(), 1u);
  EXPECT_EQ(c.unexpected[0], "--load-extension=C:\\Users\\x\\ext");
  EXPECT_EQ(c.kept, "\"--profile-directory=Profile 1\"");
  EXPECT_EQ(SplitCommandArguments(c.kept), (std::vector<std::string>{"--profile-directory=Profile 1"}));
  // A quote inside a kept argument survives a round trip.
  c = CheckShortcutArguments(R"(-P "a \"b\" c\\")");
  EXPECT_EQ(SplitCommandArguments(c.kept), (std::vector<std::string>{"-P", R"(a "b" c\)"}));
  EXPECT_TRUE(CheckShortcutArguments("-P http://x.example/").webAddress);
}

TEST(Rows, ChromiumProfileSettingsAndExtensions) {
  BrowserRow base;
  base.browser = "Google Chrome";
  base.profile = "Default";
  base.location = "C:\\p\\Preferences";
  ChromiumPreferences prefs;
  prefs.homepage = "http://start.hijack.example/";
  prefs.startupUrls = {"https://www.google.com/"};
  prefs.searchName = "Google";
  prefs.searchUrl = "{google:baseURL}search?q={searchTerms}";
  std::vector<BrowserRow> rows;
  AddChromiumPreferenceRows(prefs, base, rows);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_TRUE(rows[0].flagged);
  EXPECT_EQ(rows[0].verdict, kDistrustfulSetting);
  EXPECT_FALSE(rows[1].flagged);
  // Chromium writes its own providers as templates, not addresses.
  EXPECT_FALSE(rows[2].flagged);
  EXPECT_EQ(rows[2].repair, BrowserRepair::None);

  ExtensionManifest m;
  m.name = "Store Ext";
  m.updateUrl = "https://clients2.google.com/service/update2/crx";
  EXPECT_FALSE(ChromiumExtensionRow(base, "a", &m, nullptr).flagged);
  m.overrides.push_back({"new-tab page", "tab.html"});
  EXPECT_FALSE(ChromiumExtensionRow(base, "a", &m, nullptr).flagged);
  m.overrides.push_back({"search provider", "http://s.hijack.example/?q="});
  EXPECT_TRUE(ChromiumExtensionRow(base, "a", &m, nullptr).flagged);
  ChromiumExtensionState unpacked;
  unpacked.location = 4;
  EXPECT_TRUE(ChromiumExtensionRow(base, "b", nullptr, &unpacked).flagged);
  EXPECT_EQ(ChromiumExtensionRow(base, "b", nullptr, &unpacked).name, "b");
  ChromiumExtensionState component;
  component.location = 5;
  EXPECT_FALSE(ChromiumExtensionRow(base, "c", nullptr, &component).flagged);
}

TEST(Rows, FirefoxPrefsAndTheHijackList) {
  BrowserRow base;
  base.browser = "Firefox";
  base.profile = "default";
  base.location = "C:\\f\\prefs.js";
  PrefsFile f = ReadPrefsJs(
      "user_pref(\"browser.startup.homepage\", \"https://www.google.com/|http://start.hijack.example/\");\n"
      "user_pref(\"browser.startup.page\", 1);\n"
      "user_pref(\"browser.search.defaultenginename\", \"Google\");\n"
      "user_pref(\"network.proxy.autoconfig_url\", \"http://pac.example/p.pac\");\n"
      "user_pref(\"app.update.auto\", false);\n");
  std::vector<BrowserRow> rows;
  AddFirefoxPrefRows(f, base, rows);
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_TRUE(rows[0].flagged);
  EXPECT_EQ(rows[0].location, "C:\\f\\prefs.js (line 1)");
  EXPECT_FALSE(rows[1].flagged);
  EXPECT_FALSE(rows[2].flagged);
  EXPECT_TRUE(rows[3].flagged);

  const auto hijack = OtherBrowsersHijackRows(rows);
  ASSERT_EQ(hijack.size(), 2u);
  EXPECT_EQ(hijack[0].description, "Browser Setting");
  EXPECT_EQ(hijack[0].itemName,
            "Firefox (default): browser.startup.homepage = https://www.google.com/|http://start.hijack.example/");
  EXPECT_EQ(hijack[1].index, 3);

  ReadOutcome damaged;
  damaged.error = "the file is empty.";
  const BrowserRow d = DamagedFileRow(base, "prefs.js", damaged);
  EXPECT_EQ(d.kind, kKindDamagedFile);
  EXPECT_EQ(d.value, "The file could not be read in full: the file is empty.");
  EXPECT_FALSE(d.flagged);
}

}  // namespace
}  // namespace wl
