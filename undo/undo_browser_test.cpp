// The browser pages' and the immunization dialogs' changes, undone: the keys
// they touch are dumped before, the changes run inside a change set, the set
// is restored, and the dump must be the same.
#include <windows.h>

#include <gtest/gtest.h>

#include "browser/browser_settings.h"
#include "browser/helper_objects.h"
#include "browser/ie_sweeper.h"
#include "browser/testing/toolbar_server.h"
#include "immunize/immunity.h"
#include "undo/testing/undo_fixture.h"
#include "win32/registry_write.h"

namespace wl::undo {
namespace {

using namespace test_support;
using win32::RegKey;
using win32::RegWriteKey;
using win32::RegView;

const std::string kBase = "Software\\WardenlakeTest\\UndoBrowser" + std::to_string(GetCurrentProcessId());

struct State {
  RegTreeCopy user, machine64, machine32;
  bool operator==(const State&) const = default;
};

State DumpAll() {
  return {Dump(HKEY_CURRENT_USER, kBase), Dump(HKEY_LOCAL_MACHINE, kBase, RegView::Force64),
          Dump(HKEY_LOCAL_MACHINE, kBase, RegView::Force32)};
}

void Clean() {
  RegWriteKey::DeleteTree(HKEY_CURRENT_USER, kBase);
  for (RegView view : {RegView::Force64, RegView::Force32}) RegWriteKey::DeleteTree(HKEY_LOCAL_MACHINE, kBase, view);
}

RegWriteKey Key(HKEY root, const std::string& path, RegView view = RegView::Force64) {
  auto key = RegWriteKey::Create(root, kBase + "\\" + path, KEY_READ | KEY_WRITE, view);
  EXPECT_TRUE(key) << path;
  return std::move(*key);
}

TEST(UndoBrowser, ExtensionsAndHelperObjectsRemovedAndDisabledComeBack) {
  Clean();
  IeExtensionPlaces ie;
  ie.menuExtKey = kBase + "\\MenuExt";
  ie.toolbarKey = kBase + "\\Toolbar";
  ie.extensionsKey = kBase + "\\Extensions";
  ie.classesRoot = HKEY_LOCAL_MACHINE;
  ie.classesKey = kBase + "\\Classes\\CLSID";
  HelperObjectPlaces bho;
  bho.statsKey = kBase + "\\Stats";
  bho.settingsKey = kBase + "\\Settings";
  bho.classesKey = ie.classesKey;
  bho.extensionsKey = ie.extensionsKey;
  bho.distributionUnitsKey = kBase + "\\Distribution Units";
  bho.helperObjectsKey = kBase + "\\Browser Helper Objects";

  // A menu entry; a toolbar whose server deletes its Toolbar value; a
  // 32-bit toolbar without a class; a tool button with an empty sub-key; a
  // helper object loaded in both views.
  test::ScratchDir dir("wl toolbar");
  const test::ToolbarServer server(dir);
  server.WillDelete(ie.toolbarKey, "{7E1A0001-0000-4000-8000-000000000001}", RegView::Force64);
  RegWriteKey menu = Key(HKEY_CURRENT_USER, "MenuExt\\&Wl Menu \xC3\xA4");
  menu.WriteString("", "res://wl.dll/menu");
  menu.WriteDword("Contexts", 0x22);
  Key(HKEY_LOCAL_MACHINE, "Toolbar").WriteRaw("{7E1A0001-0000-4000-8000-000000000001}", REG_BINARY, {0});
  RegWriteKey bar = Key(HKEY_LOCAL_MACHINE, "Classes\\CLSID\\{7E1A0001-0000-4000-8000-000000000001}");
  bar.WriteString("", "Test Bar");
  Key(HKEY_LOCAL_MACHINE, "Classes\\CLSID\\{7E1A0001-0000-4000-8000-000000000001}\\InprocServer32")
      .WriteString("", server.Path());
  Key(HKEY_LOCAL_MACHINE, "Toolbar", RegView::Force32).WriteRaw("{7E1A0002-0000-4000-8000-000000000002}", REG_BINARY, {});
  RegWriteKey button = Key(HKEY_LOCAL_MACHINE, "Extensions\\{7E1A0003-0000-4000-8000-000000000003}");
  button.WriteString("ButtonText", "Btn");
  button.WriteString("Exec", "C:\\b.exe");
  Key(HKEY_LOCAL_MACHINE, "Extensions\\{7E1A0003-0000-4000-8000-000000000003}\\Empty");
  const std::string helper = "{7E1A0004-0000-4000-8000-000000000004}";
  Key(HKEY_CURRENT_USER, "Stats\\" + helper + "\\iexplore").WriteDword("Type", 1);
  Key(HKEY_LOCAL_MACHINE, "Classes\\CLSID\\" + helper).WriteString("", "Helper");
  Key(HKEY_LOCAL_MACHINE, "Classes\\CLSID\\" + helper + "\\InprocServer32").WriteString("", "C:\\h.dll");
  Key(HKEY_LOCAL_MACHINE, "Browser Helper Objects\\" + helper);
  Key(HKEY_LOCAL_MACHINE, "Browser Helper Objects\\" + helper, RegView::Force32).WriteDword("NoExplorer", 1);
  const State before = DumpAll();

  Store store;
  {
    ChangeSet set("Browser Extensions", "Remove");
    const IeExtensionScanResult scan = ScanIeExtensions(ReferenceTables{}, ie);
    ASSERT_EQ(scan.rows.size(), 4u);
    for (const auto& row : scan.rows) ASSERT_TRUE(RemoveIeExtension(row, ie)) << row.itemName;
    const HelperObjectScanResult helpers = ScanHelperObjects(ReferenceTables{}, bho);
    ASSERT_EQ(helpers.rows.size(), 1u);
    ASSERT_TRUE(SetComponentDisabled(helper, true, bho));
    ASSERT_TRUE(RemoveHelperObject(helpers.rows[0], bho));
  }
  ASSERT_EQ(server.Marks().size(), 1u);
  EXPECT_NE(DumpAll(), before);

  // The server's own run cannot be put back; what it was known to change
  // (its Toolbar value, its class key) and everything else can.
  const StoredChangeSet set = OnlySet();
  EXPECT_EQ(RestorableText(set.manifest), "partly");
  const RestoreReport report = RestoreChangeSet(set, false);
  for (std::size_t i = 0; i < report.items.size(); ++i)
    EXPECT_EQ(report.items[i].restored, !set.manifest.items[i].Is<ExternalStep>())
        << report.items[i].description << ": " << report.items[i].message;
  EXPECT_EQ(DumpAll(), before);
  Clean();
}

TEST(UndoBrowser, SettingsSaveComesBackWithValuesThatWereMissingOrOfAnotherType) {
  Clean();
  BrowserSettingsPlaces places;
  places.userMain = kBase + "\\User\\Main";
  places.userSearch = kBase + "\\User\\Search";
  places.machineMain = kBase + "\\Machine\\Main";
  places.machineSearch = kBase + "\\Machine\\Search";
  Key(HKEY_CURRENT_USER, "User\\Main").WriteRaw("Start Page", REG_EXPAND_SZ, {'%', 0, 'x', 0});  // no terminator
  Key(HKEY_LOCAL_MACHINE, "Machine\\Main", RegView::Default).WriteString("Default_Page_URL", "http://old.example/");
  const State before = DumpAll();
  SettingsTexts texts;
  for (std::size_t i = 0; i < texts.size(); ++i) texts[i] = "http://new.example/" + std::to_string(i);
  {
    Store store;
    {
      ChangeSet set("Browser Settings", "Save Settings");
      ASSERT_TRUE(SaveBrowserSettings(texts, places).ok());
    }
    EXPECT_NE(DumpAll(), before);
    RestoreAll();
  }
  EXPECT_EQ(DumpAll(), before);
  Clean();
}

TEST(UndoBrowser, ImmunizationAppliedAndUndoneLoadingRecordsNothing) {
  const std::vector<ImmunityEntry> entries = {{"{7E1A0005-0000-4000-8000-000000000005}", "Wl One"},
                                              {"{7E1A0006-0000-4000-8000-000000000006}", "Wl Two"}};
  auto dumpAll = [&] {
    std::vector<RegTreeCopy> state;
    for (const auto& e : entries)
      for (RegView view : ImmunityViews(ImmunityKind::Spyware))
        state.push_back(Dump(ImmunityRoot(ImmunityKind::Spyware), ImmunityKeyPath(ImmunityKind::Spyware, e.id), view));
    return state;
  };
  auto clean = [&] {
    for (const auto& e : entries)
      for (RegView view : ImmunityViews(ImmunityKind::Spyware))
        RegWriteKey::DeleteTree(ImmunityRoot(ImmunityKind::Spyware), ImmunityKeyPath(ImmunityKind::Spyware, e.id), view);
  };
  clean();
  // The second entry's key is there with a value of its own.
  RegWriteKey::Create(ImmunityRoot(ImmunityKind::Spyware), ImmunityKeyPath(ImmunityKind::Spyware, entries[1].id),
                 KEY_READ | KEY_WRITE, RegView::Force64)
      ->WriteString("Note", "kept");
  const auto original = dumpAll();
  Store store;
  {
    // Loading the list records nothing and makes no key.
    ChangeSet set("Immunize Spyware,Adware,Malware", "Apply");
    LoadImmunity(ImmunityKind::Spyware, entries);
  }
  EXPECT_EQ(dumpAll(), original);
  ASSERT_TRUE(ListChangeSets().empty());
  {
    ChangeSet set("Immunize Spyware,Adware,Malware", "Apply");
    ASSERT_TRUE(ApplyImmunity(ImmunityKind::Spyware, entries, {false, false}, {true, true}).ok());
  }
  EXPECT_TRUE(ReadImmunized(ImmunityKind::Spyware, entries[0].id));
  EXPECT_TRUE(ReadImmunized(ImmunityKind::Spyware, entries[1].id));
  const auto sets = ListChangeSets();
  ASSERT_EQ(sets.size(), 1u);
  // Undone: the values go, and so do the keys the apply made.
  EXPECT_TRUE(RestoreChangeSet(sets[0], false).AllRestored());
  EXPECT_EQ(dumpAll(), original);
  clean();
}

}  // namespace
}  // namespace wl::undo
