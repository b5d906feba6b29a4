#include "browser/other_browsers_readers.h"

#include <gtest/gtest.h>

#include <string>

namespace wl {
namespace {

TEST(ChromiumPreferences, ReadsHomeStartupSearchAndExtensionStates) {
  const auto p = ReadChromiumPreferences(R"({
    "homepage": "http://start.hijack.example/", "homepage_is_newtabpage": false,
    "session": {"restore_on_startup": 4, "startup_urls": ["http://a.example/", "https://www.google.com/"]},
    "default_search_provider_data": {"template_url_data": {"short_name": "Find", "url": "http://find.example/?q={searchTerms}"}},
    "extensions": {"settings": {
      "aaaa": {"location": 1, "from_webstore": true, "state": 1, "path": "aaaa\\1.0_0"},
      "bbbb": {"location": 4, "from_webstore": false, "path": "C:\\ext", "disable_reasons": 1},
      "cccc": {"location": 5, "manifest": {"name": "Built-in"}}}}})");
  ASSERT_TRUE(p.outcome.ok()) << p.outcome.error;
  EXPECT_TRUE(p.outcome.problems.empty());
  EXPECT_EQ(p.homepage, "http://start.hijack.example/");
  EXPECT_EQ(p.homepageIsNewTab, false);
  EXPECT_EQ(p.restoreOnStartup, 4);
  ASSERT_EQ(p.startupUrls.size(), 2u);
  EXPECT_EQ(p.searchName, "Find");
  EXPECT_EQ(p.searchUrl, "http://find.example/?q={searchTerms}");
  ASSERT_EQ(p.extensions.size(), 3u);
  EXPECT_TRUE(p.extensions[0].fromWebstore);
  EXPECT_TRUE(p.extensions[1].disabled);
  EXPECT_EQ(p.extensions[1].path, "C:\\ext");
  EXPECT_EQ(p.extensions[2].name, "Built-in");
}

TEST(ChromiumPreferences, OlderSearchProviderAndWrongTypesAreProblemsNotFailures) {
  const auto p = ReadChromiumPreferences(R"({"homepage": 42, "session": {"startup_urls": "x", "restore_on_startup": "4"},
    "default_search_provider": {"name": "Old", "search_url": "http://old.example/"},
    "extensions": {"settings": {"dddd": 7, "eeee": {"location": "one"}}}})");
  ASSERT_TRUE(p.outcome.ok());
  EXPECT_FALSE(p.homepage);
  EXPECT_FALSE(p.restoreOnStartup);
  EXPECT_EQ(p.searchUrl, "http://old.example/");
  ASSERT_EQ(p.extensions.size(), 1u);  // the entry that is not an object is skipped
  EXPECT_EQ(p.extensions[0].location, 0);
  ASSERT_GE(p.outcome.problems.size(), 4u);
  EXPECT_EQ(p.outcome.problems[0], "\"homepage\" is not a text.");
}

TEST(ChromiumPreferences, DamagedFilesSayWhy) {
  EXPECT_EQ(ReadChromiumPreferences("").outcome.error, "the file is empty.");
  const std::string truncated = R"({"homepage": "http://a.example/", "session": {"startup_urls": ["http://b)";
  EXPECT_EQ(ReadChromiumPreferences(truncated).outcome.error, "the file ends before its contents do (it may be cut off).");
  EXPECT_NE(ReadChromiumPreferences("{\"a\": tru}").outcome.error.find("not valid JSON"), std::string::npos);
  EXPECT_EQ(ReadChromiumPreferences("[1,2]").outcome.error, "the file does not hold a JSON object.");
  // Deep nesting is refused before parsing; brackets inside texts do not count.
  EXPECT_EQ(ReadChromiumPreferences(std::string(100000, '[') + std::string(100000, ']')).outcome.error,
            "the file is nested too deeply to be read.");
  EXPECT_TRUE(ReadChromiumPreferences("{\"homepage\": \"" + std::string(5000, '[') + "\"}").outcome.ok());
  // Long texts are cut.
  const auto longHome = ReadChromiumPreferences("{\"homepage\": \"" + std::string(5000, 'a') + "\"}");
  EXPECT_LE(longHome.homepage->size(), kValueTextLimit + 3);
}

TEST(ChromiumLocalState, ProfileNames) {
  const auto s = ReadChromiumLocalState(R"({"profile": {"info_cache": {"Default": {"name": "Person 1"}, "Profile 1": {"name": "Work"}, "Bad": 3}}})");
  ASSERT_EQ(s.profileNames.size(), 2u);
  EXPECT_EQ(s.profileNames[1].name, "Profile 1");
  EXPECT_EQ(s.profileNames[1].value, "Work");
}

TEST(ExtensionManifest, NamePermissionsOverridesAndMessages) {
  const auto m = ReadExtensionManifest(R"({"name": "__MSG_appName__", "version": "2.1", "default_locale": "en",
    "update_url": "https://clients2.google.com/service/update2/crx",
    "permissions": ["tabs", 5, "storage"], "host_permissions": ["<all_urls>"],
    "chrome_settings_overrides": {"homepage": "http://home.example/", "search_provider": {"search_url": "http://s.example/?q={searchTerms}"}},
    "chrome_url_overrides": {"newtab": "tab.html"}})");
  ASSERT_TRUE(m.outcome.ok());
  EXPECT_EQ(ManifestMessageKey(m.name), "appName");
  EXPECT_EQ(ManifestMessageKey("Plain"), "");
  EXPECT_EQ(m.permissions, (std::vector<std::string>{"tabs", "storage", "<all_urls>"}));
  ASSERT_EQ(m.overrides.size(), 3u);
  EXPECT_EQ(m.overrides[2].name, "new-tab page");
  EXPECT_EQ(ReadManifestMessage(R"({"APPNAME": {"message": "Coupon Finder"}})", "appName"), "Coupon Finder");
  EXPECT_EQ(ReadManifestMessage(R"({"appName": {"message": 3}})", "appName"), "");
  EXPECT_EQ(ReadManifestMessage("{", "appName"), "");
}

TEST(FirefoxFiles, AddonsAndPolicies) {
  const auto a = ReadFirefoxExtensions(R"({"schemaVersion": 36, "addons": [
    {"id": "good@x", "type": "extension", "version": "1", "location": "app-profile", "active": true,
     "sourceURI": "https://addons.mozilla.org/firefox/downloads/file/1/good.xpi", "signedState": 2,
     "defaultLocale": {"name": "Good"}, "userPermissions": {"permissions": ["tabs"], "origins": ["<all_urls>"]}},
    "junk", {"id": 5}]})");
  ASSERT_TRUE(a.outcome.ok());
  ASSERT_EQ(a.addons.size(), 2u);
  EXPECT_EQ(a.addons[0].name, "Good");
  EXPECT_EQ(a.addons[0].signedState, 2);
  EXPECT_EQ(a.addons[0].permissions.size(), 2u);
  EXPECT_EQ(a.addons[1].id, "");
  EXPECT_EQ(a.outcome.problems.size(), 2u);

  const auto p = ReadFirefoxPolicies(R"({"policies": {"Homepage": {"URL": "http://h.example/", "Locked": true},
    "Extensions": {"Install": ["https://x.example/a.xpi", "C:\\b.xpi"], "Uninstall": ["c@x"]},
    "ExtensionSettings": {"d@x": {"installation_mode": "force_installed", "install_url": "https://x.example/d.xpi"},
                          "*": {"installation_mode": "allowed"}},
    "DisableTelemetry": true}})");
  ASSERT_TRUE(p.outcome.ok());
  ASSERT_EQ(p.policies.size(), 7u);
  int forced = 0;
  for (const auto& e : p.policies) forced += e.forcedExtension ? 1 : 0;
  EXPECT_EQ(forced, 3);
  EXPECT_EQ(ReadFirefoxPolicies(R"({"policies": []})").outcome.problems.size(), 1u);
}

TEST(PrefsJs, TokenisesStatementsNotText) {
  const auto f = ReadPrefsJs(
      "// Mozilla User Preferences\n"
      "/* user_pref(\"browser.startup.homepage\", \"http://commented.example/\"); */\n"
      "# user_pref(\"x.hash\", 1);\n"
      "user_pref(\"browser.startup.homepage\", \"http://a.example/|https://b.example/\");\n"
      "user_pref('single', 'it\\'s \\\"q\\\" \\u00e4\\x41\\n');\n"
      "  pref(\"n.neg\",  -12 ) ;\n"
      "user_pref(\"b.true\", true);\n"
      "user_pref(\"text.with.call\", \"user_pref(\\\"fake\\\", 1);\");\n"
      "sticky_pref(\"s\", false, sticky);\n"
      "user_pref(\"emoji\", \"\\ud83d\\ude00\");\n");
  EXPECT_TRUE(f.outcome.problems.empty()) << f.outcome.problems[0];
  ASSERT_EQ(f.prefs.size(), 7u);
  EXPECT_EQ(f.prefs[0].name, "browser.startup.homepage");
  EXPECT_EQ(f.prefs[0].line, 4);
  EXPECT_TRUE(f.prefs[0].isString);
  EXPECT_EQ(f.prefs[1].value, "it's \"q\" \xC3\xA4" "A\n");
  EXPECT_EQ(f.prefs[2].function, "pref");
  EXPECT_EQ(f.prefs[2].value, "-12");
  EXPECT_FALSE(f.prefs[2].isString);
  EXPECT_EQ(f.prefs[4].value, "user_pref(\"fake\", 1);");
  EXPECT_EQ(f.prefs[5].function, "sticky_pref");
  EXPECT_EQ(f.prefs[6].value, "\xF0\x9F\x98\x80");
}

TEST(PrefsJs, BadStatementsAreProblemsAndReadingGoesOn) {
  const auto f = ReadPrefsJs(
      "user_pref(\"a\", \"unclosed);\n"
      "user_pref(\"b\", bogus);\n"
      "window.alert(1);\n"
      "user_pref(\"c\", 1)\n"
      "user_pref(\"d\", \"ok\");\n"
      "user_pref(\"e\", \"\\x4\");\n"
      "user_pref(\"f\", 2, locked, strange);\n");
  ASSERT_EQ(f.prefs.size(), 1u);
  EXPECT_EQ(f.prefs[0].name, "d");
  ASSERT_EQ(f.outcome.problems.size(), 6u);
  EXPECT_EQ(f.outcome.problems[0], "line 1: a text is not closed");
  EXPECT_EQ(f.outcome.problems[2], "line 3: unknown statement \"window\"");
  EXPECT_TRUE(ReadPrefsJs("").prefs.empty());
  EXPECT_TRUE(ReadPrefsJs("user_pref(\"x\", \"\\").outcome.problems.size() == 1);
}

TEST(ProfilesIni, ProfilesWithPaths) {
  const auto p = ReadProfilesIni(
      "\xEF\xBB\xBF[Install308046B0AF4A39CB]\r\nDefault=Profiles/zzz.default-release\r\n\r\n"
      "[Profile1]\r\nName=default\r\nIsRelative=1\r\nPath=Profiles/abc.default\r\n"
      "[Profile0]\nName=Work\nIsRelative=0\nPath=D:\\Fx\\work\nDefault=1\n"
      "[General]\nStartWithLastProfile=1\n[Profile2]\nName=NoPath\n");
  ASSERT_EQ(p.size(), 2u);
  EXPECT_EQ(p[0].path, "Profiles/abc.default");
  EXPECT_TRUE(p[0].isRelative);
  EXPECT_FALSE(p[1].isRelative);
  EXPECT_TRUE(p[1].isDefault);
}

}  // namespace
}  // namespace wl
