// The scan and the repairs over real files, folders, shortcuts and registry
// keys. Each test gets folders and keys of its own (ctest runs tests in
// parallel processes), given to the scan as its places.
#include "browser/other_browsers_scan.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>

#include "browser/other_browsers_actions.h"
#include "sysroutines/shortcuts.h"
#include "sysroutines/system_write.h"
#include "sysroutines/test_files.h"
#include "tests/support/test_support.h"
#include "win32/registry.h"
#include "win32/registry_write.h"

namespace wl {
namespace {

using win32::RegKey;
using win32::RegWriteKey;
using win32::RegView;

class OtherBrowsersScanTest : public ::testing::Test {
 protected:
  OtherBrowsersScanTest() {
    static std::atomic<int> counter{0};
    keyRoot_ = "SOFTWARE\\WlBrowsersTest" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(counter++);
    places_.localAppData = Folder("local");
    places_.roamingAppData = Folder("roaming");
    places_.firefoxProgramFolders = {Folder("Mozilla Firefox")};
    places_.shortcutFolders = {Folder("desktop")};
    places_.policiesKey = keyRoot_ + "\\Policies";
    places_.softwareKey = keyRoot_;
  }
  ~OtherBrowsersScanTest() override {
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
      for (RegView view : {RegView::Force64, RegView::Force32}) RegWriteKey::DeleteTree(root, keyRoot_, view);
  }

  std::string Folder(const std::string& name) {
    const std::string path = dir_.Path().string() + "\\" + name;
    std::filesystem::create_directories(dir_.Path() / name);
    return path;
  }
  // Writes a file below the scratch folder, making its folders.
  std::string Put(const std::string& relative, const std::string& bytes) {
    std::filesystem::path p = dir_.Path() / std::filesystem::u8path(relative);
    std::filesystem::create_directories(p.parent_path());
    test::WriteBytes(p.string(), bytes);
    return p.string();
  }
  void Value(HKEY root, const std::string& key, const std::string& name, const std::string& data,
             RegView view = RegView::Force64) {
    ASSERT_TRUE(WriteRegString(root, keyRoot_ + "\\" + key, name, data, REG_SZ, view));
  }
  static const BrowserRow* Find(const std::vector<BrowserRow>& rows, const std::string& browser,
                                const std::string& name, const std::string& profile = "*") {
    for (const auto& r : rows)
      if (r.browser == browser && r.name == name && (profile == "*" || r.profile == profile)) return &r;
    return nullptr;
  }
  static int Count(const std::vector<BrowserRow>& rows, const std::string& name) {
    int n = 0;
    for (const auto& r : rows) n += r.name == name ? 1 : 0;
    return n;
  }

  test::ScratchDir dir_{"wlbrowsers"};
  std::string keyRoot_;
  OtherBrowsersPlaces places_;
};

TEST_F(OtherBrowsersScanTest, PoliciesOfBothRootsAndViewsAndTheirRepair) {
  Value(HKEY_LOCAL_MACHINE, "Policies\\Google\\Chrome", "HomepageLocation", "http://start.hijack.example/");
  Value(HKEY_LOCAL_MACHINE, "Policies\\Google\\Chrome\\ExtensionInstallForcelist", "1",
        "abcdefghijklmnopabcdefghijklmnop;http://crx.hijack.example/update");
  Value(HKEY_LOCAL_MACHINE, "Policies\\Microsoft\\Edge", "NewTabPageLocation", "http://tab.hijack.example/",
        RegView::Force32);
  ASSERT_TRUE(WriteRegDword(HKEY_CURRENT_USER, keyRoot_ + "\\Policies\\Google\\Chrome", "MetricsReportingEnabled", 0));
  Value(HKEY_CURRENT_USER, "Policies\\Mozilla\\Firefox\\Homepage", "URL", "http://fx.hijack.example/");

  auto rows = ScanOtherBrowsers(places_);
  const BrowserRow* home = Find(rows, "Google Chrome", "HomepageLocation");
  ASSERT_TRUE(home);
  EXPECT_EQ(home->kind, "Policy");
  EXPECT_EQ(home->verdict, "Distrustful setting");
  EXPECT_EQ(home->location, "HKEY_LOCAL_MACHINE\\" + keyRoot_ + "\\Policies\\Google\\Chrome");
  EXPECT_EQ(home->settingsPage, "chrome://policy");
  const BrowserRow* forced = Find(rows, "Google Chrome", "ExtensionInstallForcelist\\1");
  ASSERT_TRUE(forced);
  EXPECT_TRUE(forced->flagged);
  const BrowserRow* edge = Find(rows, "Microsoft Edge", "NewTabPageLocation");
  ASSERT_TRUE(edge);
  EXPECT_EQ(edge->view, BrowserRegView::Force32);
  EXPECT_TRUE(edge->location.ends_with(" (32-bit)"));
  const BrowserRow* metrics = Find(rows, "Google Chrome", "MetricsReportingEnabled");
  ASSERT_TRUE(metrics);
  EXPECT_FALSE(metrics->flagged);
  EXPECT_EQ(metrics->value, "0");
  // A key both views share is listed once.
  EXPECT_EQ(Count(rows, "MetricsReportingEnabled"), 1);
  ASSERT_TRUE(Find(rows, "Firefox", "Homepage\\URL"));
  EXPECT_TRUE(Find(rows, "Firefox", "Homepage\\URL")->flagged);

  // The flagged ones go to the hijack report.
  const auto hijack = OtherBrowsersHijackRows(rows);
  EXPECT_EQ(hijack.size(), 4u);

  // Repairs: the forced entry and the 32-bit Edge value go; the rest stays.
  const BrowserRow edgeRow = *edge;
  ASSERT_TRUE(RepairBrowserRow(*forced));
  ASSERT_TRUE(RepairBrowserRow(edgeRow));
  rows = ScanOtherBrowsers(places_);
  EXPECT_FALSE(Find(rows, "Google Chrome", "ExtensionInstallForcelist\\1"));
  EXPECT_FALSE(Find(rows, "Microsoft Edge", "NewTabPageLocation"));
  EXPECT_TRUE(Find(rows, "Google Chrome", "HomepageLocation"));
  // Deleting it again says it is gone.
  EXPECT_TRUE(RepairBrowserRow(edgeRow).NotFound());
}

TEST_F(OtherBrowsersScanTest, ChromiumUserDataWithTwoProfilesAndAnExtension) {
  const std::string userData = "local/Google/Chrome/User Data/";
  Put(userData + "Local State", R"({"profile": {"info_cache": {"Default": {"name": "Anna"}, "Profile 1": {"name": "Work"}}}})");
  Put(userData + "Default/Preferences", R"({"homepage": "http://start.hijack.example/",
      "session": {"restore_on_startup": 4, "startup_urls": ["http://startup.hijack.example/"]},
      "default_search_provider_data": {"template_url_data": {"short_name": "Hijack Search",
        "url": "http://search.hijack.example/?q={searchTerms}"}}})");
  Put(userData + "Default/Secure Preferences", R"({"extensions": {"settings": {
      "kkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkk": {"location": 3, "from_webstore": false},
      "cccccccccccccccccccccccccccccccc": {"location": 5, "path": "C:\\Program Files\\x"}}}})");
  Put(userData + "Default/Extensions/kkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkk/1.0_0/manifest.json",
      R"({"name": "__MSG_extName__", "version": "1.0", "default_locale": "en", "permissions": ["tabs", "<all_urls>"]})");
  Put(userData + "Default/Extensions/kkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkk/1.0_0/_locales/en/messages.json",
      R"({"extName": {"message": "Coupon Helper"}})");
  Put(userData + "Profile 1/Preferences", R"({"homepage": "https://www.google.com/"})");
  Put(userData + "System Profile/Preferences", R"({"homepage": "http://never.listed.example/"})");

  const auto rows = ScanOtherBrowsers(places_);
  const BrowserRow* home = Find(rows, "Google Chrome", "Home page", "Anna (Default)");
  ASSERT_TRUE(home);
  EXPECT_TRUE(home->flagged);
  EXPECT_EQ(home->repair, BrowserRepair::None);
  EXPECT_EQ(home->settingsPage, "chrome://settings");
  EXPECT_TRUE(home->location.ends_with("Default\\Preferences"));
  ASSERT_TRUE(Find(rows, "Google Chrome", "Start-up page", "Anna (Default)"));
  const BrowserRow* search = Find(rows, "Google Chrome", "Search provider", "Anna (Default)");
  ASSERT_TRUE(search);
  EXPECT_EQ(search->value, "Hijack Search (http://search.hijack.example/?q={searchTerms})");
  EXPECT_TRUE(search->flagged);
  const BrowserRow* work = Find(rows, "Google Chrome", "Home page", "Work (Profile 1)");
  ASSERT_TRUE(work);
  EXPECT_FALSE(work->flagged);
  const BrowserRow* ext = Find(rows, "Google Chrome", "Coupon Helper");
  ASSERT_TRUE(ext);
  EXPECT_EQ(ext->kind, "Extension");
  EXPECT_EQ(ext->value, "kkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkk, version 1.0, permissions: tabs, <all_urls>");
  EXPECT_TRUE(ext->flagged);  // neither from the store nor with a store update address
  EXPECT_EQ(ext->settingsPage, "chrome://extensions");
  // The browser's own component is not listed; nor is the system profile.
  EXPECT_EQ(Count(rows, "cccccccccccccccccccccccccccccccc"), 0);
  for (const auto& r : rows) EXPECT_EQ(r.value.find("never.listed"), std::string::npos);
  for (const auto& r : rows) EXPECT_NE(r.kind, "Damaged File") << r.location << ": " << r.value;
}

TEST_F(OtherBrowsersScanTest, FirefoxProfileFilesAndPoliciesJson) {
  Put("roaming/Mozilla/Firefox/profiles.ini",
      "[Profile0]\r\nName=default-release\r\nIsRelative=1\r\nPath=Profiles/ab12.default-release\r\nDefault=1\r\n");
  const std::string profile = "roaming/Mozilla/Firefox/Profiles/ab12.default-release/";
  Put(profile + "prefs.js",
      "// Mozilla User Preferences\n"
      "user_pref(\"browser.startup.homepage\", \"http://fx-start.hijack.example/\");\n"
      "user_pref(\"app.update.lastUpdateTime\", 1);\n");
  Put(profile + "user.js", "/* user_pref(\"browser.startup.homepage\", \"http://commented.example\"); */\n"
                           "user_pref(\"browser.search.defaultenginename\", \"Search Protect\");\n");
  Put(profile + "extensions.json", R"({"addons": [
      {"id": "store@x", "type": "extension", "version": "2", "location": "app-profile", "active": true,
       "sourceURI": "https://addons.mozilla.org/firefox/downloads/file/1/s.xpi", "defaultLocale": {"name": "Store One"}},
      {"id": "side@x", "type": "extension", "version": "1", "location": "app-profile", "active": true,
       "sourceURI": "file:///C:/Users/Public/side.xpi", "defaultLocale": {"name": "Side Loaded"}},
      {"id": "builtin@mozilla.org", "type": "extension", "location": "app-builtin", "defaultLocale": {"name": "Builtin"}}]})");
  Put("Mozilla Firefox/distribution/policies.json",
      R"({"policies": {"Extensions": {"Install": ["https://crx.hijack.example/p.xpi"]}, "DisableTelemetry": true}})");

  const auto rows = ScanOtherBrowsers(places_);
  const BrowserRow* home = Find(rows, "Firefox", "browser.startup.homepage", "default-release");
  ASSERT_TRUE(home);
  EXPECT_EQ(home->value, "http://fx-start.hijack.example/");
  EXPECT_TRUE(home->flagged);
  EXPECT_TRUE(home->location.ends_with("prefs.js (line 2)"));
  EXPECT_EQ(Count(rows, "browser.startup.homepage"), 1);  // the commented one in user.js is not a statement
  const BrowserRow* engine = Find(rows, "Firefox", "browser.search.defaultenginename");
  ASSERT_TRUE(engine);
  EXPECT_TRUE(engine->flagged);
  EXPECT_TRUE(engine->location.find("user.js") != std::string::npos);
  ASSERT_TRUE(Find(rows, "Firefox", "Store One"));
  EXPECT_FALSE(Find(rows, "Firefox", "Store One")->flagged);
  ASSERT_TRUE(Find(rows, "Firefox", "Side Loaded"));
  EXPECT_TRUE(Find(rows, "Firefox", "Side Loaded")->flagged);
  EXPECT_FALSE(Find(rows, "Firefox", "Builtin"));
  const BrowserRow* install = Find(rows, "Firefox", "Extensions\\Install");
  ASSERT_TRUE(install);
  EXPECT_EQ(install->kind, "Policy");
  EXPECT_TRUE(install->flagged);
  EXPECT_EQ(install->repair, BrowserRepair::None);  // a file beside the program is not edited
  ASSERT_TRUE(Find(rows, "Firefox", "DisableTelemetry"));
  EXPECT_FALSE(Find(rows, "Firefox", "DisableTelemetry")->flagged);
}

TEST_F(OtherBrowsersScanTest, DamagedFilesGiveARowAndTheScanGoesOn) {
  const std::string userData = "local/Microsoft/Edge/User Data/";
  Put(userData + "Default/Preferences", R"({"homepage": "http://a.example/", "session": {"startup_urls": ["http://b)");
  // Just over the limit: not read at all.
  std::string big = "{\"homepage\": \"http://big.example/\", \"pad\": \"";
  big += std::string(kProfileFileLimit, 'x');
  big += "\"}";
  Put(userData + "Profile 1/Preferences", big);
  Put(userData + "Profile 2/Preferences", R"({"homepage": ["not", "a", "text"], "session": {"restore_on_startup": 5}})");
  Put(userData + "Profile 3/Preferences", R"({"homepage": "http://fine.hijack.example/"})");
  Put(userData + "Profile 3/Extensions/eeeeeeeeeeeeeeeeeeeeeeeeeeeeeeee/1.0/manifest.json", "{\"name\": ");
  Put("roaming/Mozilla/Firefox/profiles.ini", "[Profile0]\nName=p\nPath=Profiles/p\n");
  Put("roaming/Mozilla/Firefox/Profiles/p/extensions.json", R"({"addons": {"id": "x"}})");

  const auto rows = ScanOtherBrowsers(places_);
  auto damaged = [&](const std::string& profile) -> const BrowserRow* {
    for (const auto& r : rows)
      if (r.kind == "Damaged File" && r.profile == profile) return &r;
    return nullptr;
  };
  ASSERT_TRUE(damaged("Default"));
  EXPECT_EQ(damaged("Default")->value,
            "The file could not be read in full: the file ends before its contents do (it may be cut off).");
  EXPECT_EQ(damaged("Default")->verdict, "Could not be read");
  ASSERT_TRUE(damaged("Profile 1"));
  EXPECT_EQ(damaged("Profile 1")->value, "The file could not be read in full: the file is larger than 8 MB and was not read.");
  ASSERT_TRUE(damaged("Profile 2"));
  EXPECT_EQ(damaged("Profile 2")->value, "The file could not be read in full: parts were skipped: \"homepage\" is not a text.");
  ASSERT_TRUE(Find(rows, "Microsoft Edge", "On start-up", "Profile 2"));
  // The damaged manifest is a row of its own, and the extension is still listed by its id.
  ASSERT_TRUE(damaged("Profile 3"));
  EXPECT_EQ(damaged("Profile 3")->name, "manifest.json");
  EXPECT_TRUE(Find(rows, "Microsoft Edge", "eeeeeeeeeeeeeeeeeeeeeeeeeeeeeeee", "Profile 3"));
  ASSERT_TRUE(Find(rows, "Microsoft Edge", "Home page", "Profile 3"));
  ASSERT_TRUE(damaged("p"));
  EXPECT_EQ(damaged("p")->value, "The file could not be read in full: parts were skipped: \"addons\" is not a list.");
  // Damaged files are not hijacks.
  for (const auto& h : OtherBrowsersHijackRows(rows)) EXPECT_EQ(h.itemName.find("could not be read"), std::string::npos);
}

TEST_F(OtherBrowsersScanTest, ShortcutsWithAWebAddressAreResetToTheirExpectedSwitches) {
  const std::string chrome = Put("app/chrome.exe", "MZ");
  const std::string desktop = places_.shortcutFolders[0];
  test::SaveShortcut(desktop + "\\Google Chrome.lnk", chrome, "--profile-directory=Default");
  test::SaveShortcut(desktop + "\\Chrome Start.lnk", chrome,
                     "--profile-directory=\"Profile 1\" http://start.hijack.example/");
  std::filesystem::create_directories(std::filesystem::path(desktop) / "sub");
  test::SaveShortcut(desktop + "\\sub\\Chrome Ext.lnk", chrome, "--load-extension=C:\\Users\\Public\\e");
  test::SaveShortcut(desktop + "\\Notes.lnk", Put("app/notes.exe", "MZ"), "http://not.a.browser.example/");

  auto rows = ScanOtherBrowsers(places_);
  const BrowserRow* plain = Find(rows, "Google Chrome", "Google Chrome");
  ASSERT_TRUE(plain);
  EXPECT_EQ(plain->kind, "Shortcut");
  EXPECT_FALSE(plain->flagged);
  EXPECT_EQ(plain->repair, BrowserRepair::None);
  const BrowserRow* start = Find(rows, "Google Chrome", "Chrome Start");
  ASSERT_TRUE(start);
  EXPECT_TRUE(start->flagged);
  EXPECT_EQ(start->program, chrome);
  EXPECT_EQ(start->newArguments, "\"--profile-directory=Profile 1\"");
  ASSERT_TRUE(Find(rows, "Google Chrome", "Chrome Ext"));
  EXPECT_TRUE(Find(rows, "Google Chrome", "Chrome Ext")->flagged);
  for (const auto& r : rows) EXPECT_NE(r.name, "Notes");

  // A refused write changes nothing and says so.
  {
    ScopedWriteInterceptor deny([](const WriteRequest& r) {
      return r.kind == WriteKind::WriteShortcut ? static_cast<uint32_t>(ERROR_ACCESS_DENIED) : 0u;
    });
    const WriteResult refused = RepairBrowserRow(*start);
    EXPECT_EQ(refused.error, static_cast<uint32_t>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(refused.message.rfind("Could not change the shortcut ", 0), 0u);
  }
  EXPECT_EQ(ResolveShortcut(start->filePath).arguments, "--profile-directory=\"Profile 1\" http://start.hijack.example/");

  ASSERT_TRUE(RepairBrowserRow(*start));
  const ShortcutTarget after = ResolveShortcut(start->filePath);
  EXPECT_EQ(after.arguments, "\"--profile-directory=Profile 1\"");
  EXPECT_EQ(after.target, chrome);
  rows = ScanOtherBrowsers(places_);
  ASSERT_TRUE(Find(rows, "Google Chrome", "Chrome Start"));
  EXPECT_FALSE(Find(rows, "Google Chrome", "Chrome Start")->flagged);

  // A shortcut that is not there.
  EXPECT_TRUE(WriteShortcutArguments(desktop + "\\Gone.lnk", "").NotFound());
}

TEST_F(OtherBrowsersScanTest, ExternalExtensionsAndTheirRemoval) {
  const std::string id = "pppppppppppppppppppppppppppppppp";
  Value(HKEY_LOCAL_MACHINE, "Google\\Chrome\\Extensions\\" + id, "update_url", "http://crx.hijack.example/u",
        RegView::Force32);
  Value(HKEY_CURRENT_USER, "Google\\Chrome\\Extensions\\ssssssssssssssssssssssssssssssss", "update_url",
        "https://clients2.google.com/service/update2/crx");
  Value(HKEY_LOCAL_MACHINE, "Mozilla\\Firefox\\Extensions", "side@x", "C:\\Users\\Public\\side.xpi");

  auto rows = ScanOtherBrowsers(places_);
  const BrowserRow* bad = Find(rows, "Google Chrome", id);
  ASSERT_TRUE(bad);
  EXPECT_EQ(bad->kind, "External Extension");
  EXPECT_TRUE(bad->flagged);
  EXPECT_EQ(bad->repair, BrowserRepair::DeleteRegistryKey);
  ASSERT_TRUE(Find(rows, "Google Chrome", "ssssssssssssssssssssssssssssssss"));
  EXPECT_FALSE(Find(rows, "Google Chrome", "ssssssssssssssssssssssssssssssss")->flagged);
  const BrowserRow* fx = Find(rows, "Firefox", "side@x");
  ASSERT_TRUE(fx);
  EXPECT_TRUE(fx->flagged);

  ASSERT_TRUE(RepairBrowserRow(*bad));
  ASSERT_TRUE(RepairBrowserRow(*fx));
  EXPECT_FALSE(RegKey::Exists(HKEY_LOCAL_MACHINE, keyRoot_ + "\\Google\\Chrome\\Extensions\\" + id, RegView::Force32));
  EXPECT_TRUE(RegKey::Exists(HKEY_LOCAL_MACHINE, keyRoot_ + "\\Mozilla\\Firefox\\Extensions", RegView::Force64));
  rows = ScanOtherBrowsers(places_);
  EXPECT_FALSE(Find(rows, "Google Chrome", id));
  EXPECT_FALSE(Find(rows, "Firefox", "side@x"));
  EXPECT_TRUE(Find(rows, "Google Chrome", "ssssssssssssssssssssssssssssssss"));
}

TEST_F(OtherBrowsersScanTest, ProfileRowsAreNotRepairedAndFilesAreReadWithALimit) {
  BrowserRow row;
  row.kind = "Setting";
  const WriteResult r = RepairBrowserRow(row);
  EXPECT_EQ(r.error, static_cast<uint32_t>(ERROR_NOT_SUPPORTED));
  EXPECT_NE(r.message.find("settings page"), std::string::npos);

  const std::string file = Put("limit.bin", std::string(1000, 'a'));
  std::string error;
  EXPECT_EQ(ReadWholeFile(file, 1000, error)->size(), 1000u);
  EXPECT_FALSE(ReadWholeFile(file, 999, error));
  EXPECT_EQ(error, "the file is larger than 999 bytes and was not read.");
  EXPECT_FALSE(ReadWholeFile(file + ".gone", 1000, error));
  EXPECT_EQ(error, "");

  // The check whether a browser runs looks at real processes.
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  EXPECT_TRUE(IsProgramRunning(std::filesystem::path(self).filename().string()));
  EXPECT_FALSE(IsProgramRunning("wl-no-such-browser.exe"));
  EXPECT_EQ(BrowserProgramName("Microsoft Edge"), "msedge.exe");
}

}  // namespace
}  // namespace wl
