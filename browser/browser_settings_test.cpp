#include "browser/browser_settings.h"

#include <gtest/gtest.h>

#include "win32/registry.h"
#include "win32/registry_write.h"

namespace wl {
namespace {

using win32::RegKey;
using win32::RegWriteKey;

// Per process: ctest runs the cases in parallel processes.
const std::string kBase = "Software\\WardenlakeTest\\BrowserSettings" + std::to_string(GetCurrentProcessId());

class BrowserSettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Clean();
    places_.userMain = kBase + "\\User\\Main";
    places_.userSearch = kBase + "\\User\\Search";
    places_.machineMain = kBase + "\\Machine\\Main";
    places_.machineSearch = kBase + "\\Machine\\Search";
  }
  void TearDown() override { Clean(); }
  static void Clean() {
    RegWriteKey::DeleteTree(HKEY_CURRENT_USER, kBase);
    RegWriteKey::DeleteTree(HKEY_LOCAL_MACHINE, kBase);
    RegWriteKey::DeleteTree(HKEY_LOCAL_MACHINE, kBase, win32::RegView::Force32);
  }
  std::optional<std::string> Value(IeSettingsKey key, const std::string& name) const {
    auto k = RegKey::Open(places_.RootOf(key), places_.PathOf(key));
    return k ? k->ReadString(name) : std::nullopt;
  }
  void Set(IeSettingsKey key, const std::string& name, const std::string& value) {
    ASSERT_EQ(RegWriteKey::Create(places_.RootOf(key), places_.PathOf(key))->WriteString(name, value), ERROR_SUCCESS);
  }
  static std::string& Field(SettingsTexts& t, SettingsField f) { return t[SettingsFieldIndex(f)]; }

  BrowserSettingsPlaces places_;
};

TEST_F(BrowserSettingsTest, LoadFallsBackToCustomizeSearchAndSaveFillsNineValues) {
  EXPECT_EQ(LoadBrowserSettings(places_), SettingsTexts{});  // nothing there: all empty, nothing created
  EXPECT_FALSE(RegKey::Exists(HKEY_CURRENT_USER, places_.userMain));
  Set(IeSettingsKey::UserMain, "Start Page", "http://start.example/");
  Set(IeSettingsKey::UserMain, "Window Title", "Hijacked");
  Set(IeSettingsKey::UserSearch, "CustomizeSearch", "http://search.example/");
  Set(IeSettingsKey::MachineMain, "Wizard_Version", "8.0");
  SettingsTexts t = LoadBrowserSettings(places_);
  EXPECT_EQ(Field(t, SettingsField::HomePage), "http://start.example/");
  EXPECT_EQ(Field(t, SettingsField::CaptionText), "Hijacked");
  EXPECT_EQ(Field(t, SettingsField::SearchPage), "http://search.example/");
  EXPECT_EQ(Field(t, SettingsField::IeVersion), "8.0");

  Field(t, SettingsField::CaptionText).clear();  // "Clear": written as an empty string, not deleted
  ASSERT_TRUE(SaveBrowserSettings(t, places_).ok());
  EXPECT_EQ(Value(IeSettingsKey::UserMain, "Window Title"), "");
  int search = 0;
  for (const auto& v : SettingsSaveOrder())
    if (v.field == SettingsField::SearchPage) {
      EXPECT_EQ(Value(v.key, v.valueName), "http://search.example/") << v.valueName;
      ++search;
    }
  EXPECT_EQ(search, 9);
  EXPECT_EQ(Value(IeSettingsKey::MachineMain, "Start Page"), "http://start.example/");
}

TEST_F(BrowserSettingsTest, RefusedMachineWriteStopsTheSaveAndKeepsTheUserValues) {
  SettingsTexts t;
  Field(t, SettingsField::HomePage) = "about:blank";
  Field(t, SettingsField::SearchPage) = "http://s.example/";
  ScopedWriteInterceptor deny([](const WriteRequest& r) {
    return r.target.starts_with("HKEY_LOCAL_MACHINE") ? static_cast<uint32_t>(ERROR_ACCESS_DENIED) : 0u;
  });
  const SettingsSaveResult r = SaveBrowserSettings(t, places_);
  EXPECT_FALSE(r.ok());
  EXPECT_EQ(r.valueName, "Wizard_Version");
  EXPECT_EQ(r.write.error, static_cast<uint32_t>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(Value(IeSettingsKey::UserMain, "Start Page"), "about:blank");
  EXPECT_EQ(Value(IeSettingsKey::UserSearch, "SearchAssistant"), "http://s.example/");
  EXPECT_FALSE(RegKey::Exists(HKEY_LOCAL_MACHINE, places_.machineMain));
}

// The machine's keys have a 32-bit view of their own (Wow6432Node): a load
// reads the view asked for, a save writes the default view and the 32-bit
// view where it holds the value, and creates nothing there.
TEST_F(BrowserSettingsTest, MachineValuesAreReadAndWrittenInBothViews) {
  const std::string path = places_.machineMain;
  auto in64 = RegWriteKey::Create(HKEY_LOCAL_MACHINE, path, KEY_READ | KEY_WRITE, win32::RegView::Force64);
  auto in32 = RegWriteKey::Create(HKEY_LOCAL_MACHINE, path, KEY_READ | KEY_WRITE, win32::RegView::Force32);
  ASSERT_TRUE(in64 && in32);
  ASSERT_EQ(in64->WriteString("Wizard_Version", "8.0"), ERROR_SUCCESS);
  ASSERT_EQ(in32->WriteString("Wizard_Version", "7.0"), ERROR_SUCCESS);
  ASSERT_EQ(in64->WriteString("Default_Page_URL", "http://64.example/"), ERROR_SUCCESS);
  ASSERT_EQ(in32->WriteString("Default_Search_URL", "http://32.example/"), ERROR_SUCCESS);

  SettingsTexts t = LoadBrowserSettings(places_);
  const SettingsTexts t32 = LoadBrowserSettings(places_, win32::RegView::Force32);
  EXPECT_EQ(Field(t, SettingsField::IeVersion), "8.0");
  EXPECT_EQ(t32[SettingsFieldIndex(SettingsField::IeVersion)], "7.0");
  EXPECT_EQ(Field(t, SettingsField::DefaultPage), "http://64.example/");
  EXPECT_EQ(t32[SettingsFieldIndex(SettingsField::DefaultPage)], "");
  EXPECT_EQ(Field(t, SettingsField::DefaultSearchPage), "");
  EXPECT_EQ(t32[SettingsFieldIndex(SettingsField::DefaultSearchPage)], "http://32.example/");
  EXPECT_TRUE(IsMachineField(SettingsField::IeVersion));
  EXPECT_FALSE(IsMachineField(SettingsField::HomePage));

  Field(t, SettingsField::IeVersion) = "9.0";
  Field(t, SettingsField::DefaultPage) = "http://new.example/";
  Field(t, SettingsField::DefaultSearchPage) = "http://search.example/";
  ASSERT_TRUE(SaveBrowserSettings(t, places_).ok());
  EXPECT_EQ(in64->ReadString("Wizard_Version"), "9.0");
  EXPECT_EQ(in32->ReadString("Wizard_Version"), "9.0");
  EXPECT_EQ(in64->ReadString("Default_Page_URL"), "http://new.example/");
  EXPECT_FALSE(in32->HasValue("Default_Page_URL"));  // not there before: not made
  EXPECT_EQ(in32->ReadString("Default_Search_URL"), "http://search.example/");
  EXPECT_EQ(in64->ReadString("Default_Search_URL"), "http://search.example/");
  EXPECT_FALSE(in32->HasValue("Start Page"));
}

}  // namespace
}  // namespace wl
