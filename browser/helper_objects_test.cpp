#include "browser/helper_objects.h"
#include "win32/registry_write.h"

#include <gtest/gtest.h>

namespace wl {
namespace {

using win32::RegKey;
using win32::RegWriteKey;
using win32::RegView;

// Per process: ctest runs the cases in parallel processes.
const std::string kBase = "Software\\WardenlakeTest\\HelperObjects" + std::to_string(GetCurrentProcessId());

class HelperObjectsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Clean();
    places_.userRoot = HKEY_CURRENT_USER;
    places_.statsKey = kBase + "\\Stats";
    places_.settingsKey = kBase + "\\Settings";
    places_.machineRoot = HKEY_LOCAL_MACHINE;
    places_.classesKey = kBase + "\\Classes\\CLSID";
    places_.extensionsKey = kBase + "\\Extensions";
    places_.distributionUnitsKey = kBase + "\\Distribution Units";
    places_.helperObjectsKey = kBase + "\\Browser Helper Objects";
    tables_.classes = StringTable::FromText("{A1}=SBad helper\n{E4}=GGood program\n");
  }
  void TearDown() override { Clean(); }
  static void Clean() {
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
      for (RegView view : {RegView::Force64, RegView::Force32}) RegWriteKey::DeleteTree(root, kBase, view);
  }

  void Stat(const std::string& id, std::optional<uint32_t> type, bool withIexplore = true) {
    auto key = RegWriteKey::Create(HKEY_CURRENT_USER, places_.statsKey + "\\" + id + (withIexplore ? "\\iexplore" : ""));
    ASSERT_TRUE(key);
    if (type) {
      ASSERT_EQ(key->WriteDword("Type", *type), ERROR_SUCCESS);
    }
  }
  void Class(const std::string& id, const std::string& name, const std::string& server,
             RegView view = RegView::Force64) {
    auto key = RegWriteKey::Create(HKEY_LOCAL_MACHINE, places_.classesKey + "\\" + id, KEY_READ | KEY_WRITE, view);
    ASSERT_TRUE(key);
    ASSERT_EQ(key->WriteString("", name), ERROR_SUCCESS);
    ASSERT_EQ(RegWriteKey::Create(key->get(), "InprocServer32")->WriteString("", server), ERROR_SUCCESS);
  }
  void Extension(const std::string& id, const std::string& text, const std::string& exec,
                 RegView view = RegView::Force64) {
    auto key = RegWriteKey::Create(HKEY_LOCAL_MACHINE, places_.extensionsKey + "\\" + id, KEY_READ | KEY_WRITE, view);
    ASSERT_TRUE(key);
    ASSERT_EQ(key->WriteString("ButtonText", text), ERROR_SUCCESS);
    ASSERT_EQ(key->WriteString("Exec", exec), ERROR_SUCCESS);
  }
  void ListEntry(const std::string& listKey, const std::string& name, RegView view = RegView::Force64) {
    ASSERT_TRUE(RegWriteKey::Create(HKEY_LOCAL_MACHINE, listKey + "\\" + name, KEY_READ | KEY_WRITE, view));
  }
  static const HelperObjectRow* Find(const HelperObjectScanResult& r, const std::string& id, bool wow32 = false) {
    for (const auto& row : r.rows)
      if (row.clsid == id && row.wow32 == wow32) return &row;
    return nullptr;
  }

  HelperObjectPlaces places_;
  ReferenceTables tables_;
};

TEST_F(HelperObjectsTest, StatisticsTypesVerdictsAndDamagedEntriesPassedOver) {
  // Damaged entries sort first (the registry may list them in any order).
  Stat("{0 no iexplore}", 1, false);
  Stat("{0 no type}", std::nullopt);
  ASSERT_EQ(RegWriteKey::Create(HKEY_CURRENT_USER, places_.statsKey + "\\{0 string}\\iexplore")->WriteString("Type", "1"),
            ERROR_SUCCESS);
  Stat("{A1}", 1);
  Class("{A1}", "Control One", "C:\\one.dll");
  Stat("{A3}", 3);
  Class("{A3}", "Helper Three", "C:\\Wow\\three.dll", RegView::Force32);
  Stat("{E4}", 4);
  Extension("{E4}", "Four", "C:\\four.exe");
  Stat("{E4 empty}", 4);
  Extension("{E4 empty}", "", "C:\\x.exe");
  Stat("{A7}", 7);
  Class("{A7}", "Seven", "C:\\seven.dll");
  Stat("{A1 unnamed}", 1);
  Class("{A1 unnamed}", "", "C:\\x.dll");
  // Fallback places are not read while the statistics give rows.
  ListEntry(places_.helperObjectsKey, "{H}");
  Class("{H}", "Fallback", "C:\\h.dll");

  const auto r = ScanHelperObjects(tables_, places_);
  ASSERT_EQ(r.rows.size(), 3u);
  const auto* one = Find(r, "{A1}");
  ASSERT_TRUE(one);
  EXPECT_EQ(one->itemName, "Control One");
  EXPECT_EQ(one->itemType, "IE ActiveX Control");
  EXPECT_EQ(one->filePath, "C:\\one.dll");
  EXPECT_EQ(one->analysis, LookupClass("{A1}", tables_));
  EXPECT_NE(one->analysis, "(Unknown)");
  EXPECT_EQ(one->image, 3);
  const auto* three = Find(r, "{A3}", true);
  ASSERT_TRUE(three);
  EXPECT_EQ(three->itemType, "IE Assistant ActiveX");
  EXPECT_EQ(three->analysis, "(Unknown)");  // Class.db does not know it
  const auto* four = Find(r, "{E4}");
  ASSERT_TRUE(four);
  EXPECT_EQ(four->itemName, "Four");
  EXPECT_EQ(four->itemType, "IE Extension Program");
  EXPECT_EQ(four->filePath, "C:\\four.exe");
  EXPECT_EQ(four->image, 8);
  EXPECT_TRUE(four->extensionProgram);

  EXPECT_EQ(r.skipped.size(), 3u);
  ASSERT_EQ(r.hijack.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(r.hijack[i].itemName, r.rows[i].itemName);
    EXPECT_EQ(r.hijack[i].description, "Browser Help Object");
    EXPECT_EQ(r.hijack[i].IndexText(), std::to_string(i));
  }
}

TEST_F(HelperObjectsTest, FallbackOnlyWhenStatisticsGiveNoRow) {
  Stat("{A7}", 7);  // an entry, but no row
  ListEntry(places_.distributionUnitsKey, "{D}");
  Class("{D}", "Downloaded", "C:\\d.ocx");
  ListEntry(places_.distributionUnitsKey, "NotAClass");
  Class("NotAClass", "Skipped", "C:\\n.dll");
  ListEntry(places_.helperObjectsKey, "{H}", RegView::Force32);
  Class("{H}", "Wow Helper", "C:\\h.dll", RegView::Force32);
  ListEntry(places_.helperObjectsKey, "{No class}");

  const auto r = ScanHelperObjects(tables_, places_);
  ASSERT_EQ(r.rows.size(), 2u);
  EXPECT_EQ(r.rows[0].clsid, "{D}");
  EXPECT_EQ(r.rows[0].itemType, "IE ActiveX Control");
  EXPECT_EQ(r.rows[0].source, HelperObjectSource::DownloadedControl);
  EXPECT_EQ(r.rows[1].clsid, "{H}");
  EXPECT_TRUE(r.rows[1].wow32);
  EXPECT_EQ(r.rows[1].itemType, "IE Assistant ActiveX");
  EXPECT_EQ(r.rows[1].filePath, "C:\\h.dll");
  EXPECT_EQ(r.hijack.size(), 2u);
}

TEST_F(HelperObjectsTest, DisableWritesFlagsAndVersionEnableDeletesTheKey) {
  EXPECT_FALSE(ReadComponentDisabled("{A1}", places_));
  ASSERT_TRUE(SetComponentDisabled("{A1}", true, places_));
  auto key = RegKey::Open(HKEY_CURRENT_USER, places_.settingsKey + "\\{A1}");
  ASSERT_TRUE(key);
  EXPECT_EQ(key->Read("Flags")->type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(key->ReadDword("Flags"), 1u);
  EXPECT_EQ(key->ReadString("Version"), "*");
  EXPECT_TRUE(ReadComponentDisabled("{A1}", places_));

  ASSERT_TRUE(RegWriteKey::Create(HKEY_CURRENT_USER, places_.settingsKey + "\\{A1}\\Below"));
  ASSERT_TRUE(SetComponentDisabled("{A1}", false, places_));
  EXPECT_FALSE(RegKey::Exists(HKEY_CURRENT_USER, places_.settingsKey + "\\{A1}"));
  EXPECT_FALSE(ReadComponentDisabled("{A1}", places_));
  EXPECT_TRUE(SetComponentDisabled("{A1}", false, places_));  // nothing to enable

  // "Flags" 1 with another "Version" is not disabled.
  ASSERT_EQ(RegWriteKey::Create(HKEY_CURRENT_USER, places_.settingsKey + "\\{V}")->WriteDword("Flags", 1), 0);
  ASSERT_EQ(RegWriteKey::Open(HKEY_CURRENT_USER, places_.settingsKey + "\\{V}", KEY_WRITE)->WriteString("Version", "1.0"),
            0);
  EXPECT_FALSE(ReadComponentDisabled("{V}", places_));
  EXPECT_FALSE(SetComponentDisabled("a\\b", true, places_));
}

TEST_F(HelperObjectsTest, RemoveDeletesTheLoadingEntryInEveryView) {
  ListEntry(places_.helperObjectsKey, "{H}");
  ListEntry(places_.helperObjectsKey, "{H}", RegView::Force32);
  Class("{H}", "Helper", "C:\\h.dll");
  Extension("{E4}", "Four", "C:\\four.exe", RegView::Force32);
  Stat("{E4}", 4);
  Stat("{H}", 3);
  Stat("{C}", 1);
  Class("{C}", "Control", "C:\\c.ocx");
  const auto r = ScanHelperObjects(tables_, places_);
  ASSERT_EQ(r.rows.size(), 3u);

  const auto* control = Find(r, "{C}");
  ASSERT_TRUE(control);
  EXPECT_FALSE(CanRemoveHelperObject(*control, places_));
  EXPECT_FALSE(RemoveHelperObject(*control, places_));

  const auto* helper = Find(r, "{H}");
  ASSERT_TRUE(CanRemoveHelperObject(*helper, places_));
  ASSERT_TRUE(RemoveHelperObject(*helper, places_));
  for (RegView view : {RegView::Force64, RegView::Force32})
    EXPECT_FALSE(RegKey::Exists(HKEY_LOCAL_MACHINE, places_.helperObjectsKey + "\\{H}", view));
  EXPECT_TRUE(RegKey::Exists(HKEY_LOCAL_MACHINE, places_.classesKey + "\\{H}"));  // the class stays

  const auto* program = Find(r, "{E4}", true);
  ASSERT_TRUE(program);
  ScopedWriteInterceptor deny([](const WriteRequest&) { return static_cast<uint32_t>(ERROR_ACCESS_DENIED); });
  const WriteResult refused = RemoveHelperObject(*program, places_);
  EXPECT_FALSE(refused);
  EXPECT_FALSE(refused.NotFound());
  EXPECT_TRUE(RegKey::Exists(HKEY_LOCAL_MACHINE, places_.extensionsKey + "\\{E4}", RegView::Force32));
}

}  // namespace
}  // namespace wl
