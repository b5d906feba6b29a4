// Each destructive action of the pages, undone: the state the action touches
// is dumped before, the action runs inside a change set, the change set is
// restored, and the dump must be the same.
#include <windows.h>

#include <gtest/gtest.h>

#include "autorun/autorun_actions.h"
#include "autorun/other_places.h"
#include "autorun/testing/autorun_fixture.h"
#include "service/service_actions.h"
#include "service/service_manager.h"
#include "service/test_service_fixture.h"
#include "settings/association_scan.h"
#include "settings/key_backup_fixture.h"
#include "settings/settings_repair.h"
#include "settings/shell_extensions.h"
#include "software/software_actions.h"
#include "judge/testing/system_judge.h"
#include "tests/support/fake_stores.h"
#include "tests/support/test_support.h"
#include "undo/backup_store.h"
#include "undo/restore.h"
#include "undo/system_state.h"
#include "undo/testing/undo_fixture.h"
#include "win32/file_path.h"
#include "win32/registry_write.h"
#include "win32/unicode.h"

namespace wl::undo {
namespace {

using win32::RegView;

using namespace test_support;

TEST(UndoActions, AutorunRemovalWithAndWithoutTheProgramFile) {
  test::ScopedValues values;
  test::ScratchPlaces scratch;
  test::ScratchDir dir{"wlrun"};
  const std::string program = dir.File("wlundo-run.exe");
  test::WriteBytes(program, "MZ program");
  const std::string with = test::UniqueName("undo"), without = test::UniqueName("undo");
  values.String(HKEY_CURRENT_USER, test::kRun, with, program);
  values.Raw(HKEY_CURRENT_USER, test::kRun, without, REG_EXPAND_SZ, {0x25, 0, 0x41});  // odd bytes
  // The Run key is shared with tests running beside this one: only this
  // test's own values are compared.
  auto ours = [&] {
    std::vector<RegValueCopy> kept;
    for (const RegValueCopy& v : Dump(HKEY_CURRENT_USER, test::kRun).values)
      if (v.name == with || v.name == without) kept.push_back(v);
    return kept;
  };
  const std::vector<RegValueCopy> before = ours();
  ASSERT_EQ(before.size(), 2u);
  {
    Store store;
    {
      ChangeSet set("Autorun List", "Remove");
      AutorunRow row;
      row.itemName = with;
      row.value = program;
      row.registryKey = test::kCuRunText;
      const RemovalOutcome out =
          RemoveAutorunItem(row, {.deleteProgramFile = true, .deleteEntry = true}, scratch.Places());
      EXPECT_TRUE(out.entryRemoved) << out.entryError;
      EXPECT_FALSE(out.programFileNotRemoved) << out.programFileReason;
      row.itemName = without;
      row.value = "%A";
      EXPECT_TRUE(RemoveAutorunItem(row, {.deleteEntry = true}, scratch.Places()).entryRemoved);
    }
    EXPECT_FALSE(win32::FileExists(program));
    const StoredChangeSet set = OnlySet();
    EXPECT_EQ(set.manifest.items.size(), 3u);
    EXPECT_EQ(set.manifest.page, "Autorun List");
    RestoreAll();
  }
  EXPECT_EQ(ours(), before);
  EXPECT_EQ(test::ReadBytes(program), "MZ program");
}

TEST(UndoActions, AutorunIniShellIsPutBack) {
  Store store;
  test::ScratchPlaces scratch;
  const std::string ini = scratch.Places().SystemIniPath();
  test::WriteBytes(ini, "[boot]\r\nshell=Explorer.exe evil.exe\r\n");
  AutorunRow row;
  row.itemName = "Shell";
  row.value = "Explorer.exe evil.exe";
  row.registryKey = "System.ini";
  row.source = kSystemIniShellSource;
  {
    ChangeSet set("Autorun List", "Remove");
    EXPECT_TRUE(RemoveAutorunItem(row, {.deleteEntry = true}, scratch.Places()).entryRemoved);
  }
  EXPECT_EQ(ReadIniState(ini, "boot", "shell"), "Explorer.exe");
  RestoreAll();
  EXPECT_EQ(ReadIniState(ini, "boot", "shell"), "Explorer.exe evil.exe");
}

TEST(UndoActions, AutorunListElementsRemovedAloneArePutBack) {
  // A multi-string and a comma list, each with an element beside the defaults.
  const std::string key = "Software\\WardenlakeTest\\lists-" + std::to_string(GetCurrentProcessId());
  const std::wstring multi = std::wstring(L"msv1_0") + L'\0' + L"wltest-pkg" + L'\0' + L"kerberos" + L'\0' + L'\0';
  auto writer = win32::RegWriteKey::Create(HKEY_CURRENT_USER, key);
  ASSERT_TRUE(writer);
  writer->WriteRaw("Packages", REG_MULTI_SZ,
                   std::vector<uint8_t>(reinterpret_cast<const uint8_t*>(multi.data()),
                                        reinterpret_cast<const uint8_t*>(multi.data() + multi.size())));
  writer->WriteString("Userinit", "C:\\Windows\\system32\\userinit.exe,C:\\wltest\\added.exe,", REG_EXPAND_SZ);
  const RegTreeCopy before = Dump(HKEY_CURRENT_USER, key);
  {
    Store store;
    {
      ChangeSet set("Autorun List", "Remove");
      AutorunRow row;
      row.registryKey = "HKEY_CURRENT_USER\\" + key + "\\";
      row.itemName = "Packages";
      row.split = ValueSplit::MultiString;
      row.element = "wltest-pkg";
      row.value = row.element;
      EXPECT_TRUE(RemoveAutorunItem(row, {.deleteEntry = true}, test::ScratchPlaces().Places()).entryRemoved);
      row.itemName = "Userinit";
      row.split = ValueSplit::Commas;
      row.element = "C:\\wltest\\added.exe";
      row.defaultValue = "C:\\Windows\\system32\\userinit.exe,";
      EXPECT_TRUE(RemoveAutorunItem(row, {.deleteEntry = true}, test::ScratchPlaces().Places()).entryRemoved);
    }
    auto now = win32::RegKey::Open(HKEY_CURRENT_USER, key);
    EXPECT_EQ(win32::RegValueText(*now->Read("Packages")), "msv1_0 kerberos");
    EXPECT_EQ(now->Read("Userinit")->type, static_cast<DWORD>(REG_EXPAND_SZ));
    EXPECT_EQ(now->ReadString("Userinit"), "C:\\Windows\\system32\\userinit.exe,");
    EXPECT_EQ(OnlySet().manifest.items.size(), 2u);
    RestoreAll();
  }
  EXPECT_EQ(Dump(HKEY_CURRENT_USER, key), before);
  win32::RegWriteKey::DeleteTree(HKEY_CURRENT_USER, key);
}

TEST(UndoActions, AutorunPlacesOfKeysFilesAndWmiAreRemovedFromAScanAndPutBack) {
  const std::string t = "WLUndo-" + std::to_string(GetCurrentProcessId());
  const HKEY lm = HKEY_LOCAL_MACHINE, cu = HKEY_CURRENT_USER;
  // Keys of each kind of place, a settings file, a WMI subscription.
  struct Planted {
    HKEY root;
    std::string path;
  };
  const std::vector<Planted> keys = {
      {lm, std::string(kTaskCacheTree) + "\\" + t},
      {lm, std::string(kServicesPath) + "\\" + t},
      {lm, "System\\CurrentControlSet\\Control\\SafeBoot\\Minimal\\" + t},
      {cu, "Software\\Classes\\AllFilesystemObjects\\shellex\\ContextMenuHandlers\\" + t},
      {cu, "Software\\Microsoft\\Office\\Word\\Addins\\" + t + ".Connect"}};
  struct Cleanup {
    const std::vector<Planted>& keys;
    ~Cleanup() {
      for (const auto& k : keys) win32::RegWriteKey::DeleteTree(k.root, k.path);
    }
  } cleanup{keys};
  win32::RegWriteKey::Create(lm, keys[0].path + "\\Orphan")->WriteString("Id", "{" + t + "}");
  auto service = win32::RegWriteKey::Create(lm, keys[1].path);
  service->WriteString("ImagePath", "C:\\wltest\\" + t + ".exe");
  service->WriteDword("Type", 0x10);
  win32::RegWriteKey::Create(lm, keys[2].path)->WriteString("", "Service");
  win32::RegWriteKey::Create(cu, keys[3].path)->WriteString("", "{" + t + "-class}");
  win32::RegWriteKey::Create(cu, keys[4].path)->WriteDword("LoadBehavior", 3);
  std::vector<RegTreeCopy> before;
  for (const auto& k : keys) before.push_back(Dump(k.root, k.path));

  test::ScratchPlaces scratch;
  AutorunPlaces places = scratch.Places();
  places.localAppDataFolder = scratch.Folder("local");
  scratch.Folder("local\\Microsoft");
  const std::string settings = scratch.Folder("local\\Microsoft\\Windows Terminal") + "\\settings.json";
  const std::string settingsText = "{\r\n  // kept\r\n  \"startOnUserLogin\": true\r\n}\r\n";
  test::WriteBytes(settings, settingsText);
  places.listServices = ListServiceNamesOfThisSystem;
  places.wmiSubscriptions = true;
  test::FakeWmiStore wmi;
  const WmiInstance filter = test::Filter(t, "SELECT * FROM __InstanceCreationEvent WITHIN 5");
  const WmiInstance consumer = test::CommandConsumer(t, "C:\\wltest\\wmi.exe");
  for (const WmiInstance& i : {filter, consumer, test::Binding(filter, consumer)}) wmi.Add(i);
  const auto wmiBefore = wmi.All();

  const AutorunScanResult scan = ScanAutorun(wl::test::SystemJudge(), places, OpenSourceKeyInRegistry,
                                             [] { return TaskListing{}; });
  std::vector<const AutorunRow*> rows;
  for (const AutorunRow& row : scan.rows)
    if (row.itemName.find(t) != std::string::npos || row.registryKey == settings) rows.push_back(&row);
  ASSERT_EQ(rows.size(), 7u);
  {
    Store store;
    {
      ChangeSet set("Autorun List", "Remove");
      for (const AutorunRow* row : rows) {
        const RemovalOutcome out = RemoveAutorunItem(*row, {.deleteEntry = true}, places);
        EXPECT_TRUE(out.entryRemoved) << row->itemName << ": " << out.entryError;
      }
    }
    EXPECT_FALSE(win32::RegKey::Exists(lm, keys[0].path + "\\Orphan"));
    EXPECT_FALSE(win32::RegKey::Exists(lm, keys[1].path));
    EXPECT_NE(test::ReadBytes(settings), settingsText);
    EXPECT_TRUE(wmi.All().empty());
    RestoreAll();
  }
  for (std::size_t i = 0; i < keys.size(); ++i) EXPECT_EQ(Dump(keys[i].root, keys[i].path), before[i]) << keys[i].path;
  EXPECT_EQ(test::ReadBytes(settings), settingsText);
  EXPECT_EQ(wmi.All(), wmiBefore);
}

TEST(UndoActions, ServiceRemovedIsCreatedAgainAndStartTypeComesBack) {
  test::TestService svc;
  ASSERT_TRUE(svc.ok());
  const std::string key = svc.registryKey();
  const RegTreeCopy before = Dump(HKEY_LOCAL_MACHINE, key);
  const std::string program = test::ReadBytes(svc.program());
  const auto config = ReadServiceConfig(svc.keyName());
  ASSERT_TRUE(config);
  {
    Store store;
    {
      ChangeSet set("System Service", "Disabled");
      ASSERT_TRUE(SetServiceStartType(svc.keyName(), 4));
    }
    RestoreAll();
    EXPECT_EQ(Dump(HKEY_LOCAL_MACHINE, key), before);
  }
  {
    Store store;
    ServiceRow row;
    row.keyName = svc.keyName();
    row.path = svc.program();
    {
      ChangeSet set("System Service", "Remove");
      const test::SystemJudge judge;
      const auto result = RemoveServiceEntry(row, judge.get());
      ASSERT_EQ(result.outcome, RemoveServiceOutcome::Removed) << result.keyResult.message;
      ASSERT_TRUE(result.fileResult && result.fileResult->ok());
    }
    ASSERT_TRUE(test::WaitForServiceKeyGone(svc.keyName()));
    EXPECT_FALSE(ReadServiceConfig(svc.keyName()));
    const StoredChangeSet set = OnlySet();
    ASSERT_EQ(set.manifest.items.size(), 2u);
    const auto* removed = set.manifest.items[0].As<ServiceChange>();
    ASSERT_TRUE(removed && removed->service);
    EXPECT_EQ(*removed->service, *config);
    RestoreAll();
  }
  const auto again = ReadServiceConfig(svc.keyName());
  ASSERT_TRUE(again);
  EXPECT_EQ(again->binaryPath, config->binaryPath);
  EXPECT_EQ(again->displayName, config->displayName);
  EXPECT_EQ(Dump(HKEY_LOCAL_MACHINE, key), before);
  EXPECT_EQ(test::ReadBytes(svc.program()), program);
  // It runs again.
  EXPECT_TRUE(ServiceStart("", svc.keyName()));
}

TEST(UndoActions, AssociationRestoreAndCustomSet) {
  test::RegistryLock lock;
  const AssociationTables tables = BuildAssociationTables();
  std::vector<std::unique_ptr<test::KeyBackup>> keep;
  for (std::size_t i : {1, 13})
    keep.push_back(std::make_unique<test::KeyBackup>(HKEY_CLASSES_ROOT, AssociationBareName(tables.AssociationKeys[i])));
  ASSERT_TRUE(WriteRegData(HKEY_CLASSES_ROOT, "exefile\\shell\\open\\command", "", REG_EXPAND_SZ,
                           {0x65, 0, 0x76, 0, 0x31}));
  win32::RegWriteKey::DeleteTree(HKEY_CLASSES_ROOT, "giffile");
  const RegTreeCopy exe = Dump(HKEY_CLASSES_ROOT, "exefile");
  {
    Store store;
    {
      ChangeSet set("System Association", "Restore");
      ASSERT_TRUE(RestoreDefaultAssociation(tables, 1));
      ASSERT_TRUE(SetCustomAssociation(tables, 13, "C:\\Viewer\\view.exe"));
    }
    EXPECT_TRUE(win32::RegKey::Exists(HKEY_CLASSES_ROOT, "giffile\\shell\\open\\command"));
    RestoreAll();
  }
  EXPECT_EQ(Dump(HKEY_CLASSES_ROOT, "exefile"), exe);
  EXPECT_FALSE(win32::RegKey::Exists(HKEY_CLASSES_ROOT, "giffile"));  // the keys the set made are gone too
}

TEST(UndoActions, ShellExtensionRemoval) {
  test::RegistryLock lock;
  test::KeyBackup keep{HKEY_CLASSES_ROOT, "Folder\\shellex\\ContextMenuHandlers"};
  ASSERT_TRUE(WriteRegString(HKEY_CLASSES_ROOT, "Folder\\shellex\\ContextMenuHandlers\\WlUndo", "", "{1}"));
  ASSERT_TRUE(CreateRegKey(HKEY_CLASSES_ROOT, "Folder\\shellex\\ContextMenuHandlers\\WlUndo\\Empty"));
  const RegTreeCopy before = Dump(HKEY_CLASSES_ROOT, "Folder\\shellex\\ContextMenuHandlers");
  std::optional<ShellExtensionRow> row;
  for (const auto& r : ScanShellExtensions())
    if (r.key == "\\Folder\\shellex\\ContextMenuHandlers\\WlUndo") row = r;
  ASSERT_TRUE(row);
  Store store;
  {
    ChangeSet set("Shell Extensions", "Remove");
    ASSERT_TRUE(RemoveShellExtension(*row));
  }
  RestoreAll();
  EXPECT_EQ(Dump(HKEY_CLASSES_ROOT, "Folder\\shellex\\ContextMenuHandlers"), before);
}

TEST(UndoActions, SoftwareEntryRemovalInBothViews) {
  const std::string name = "WlUndoApp" + std::to_string(GetCurrentProcessId());
  const std::string path = std::string(kUninstallKey) + "\\" + name;
  for (RegView view : {RegView::Force64, RegView::Force32}) {
    auto key = win32::RegWriteKey::Create(HKEY_LOCAL_MACHINE, path, KEY_ALL_ACCESS, view);
    ASSERT_TRUE(key);
    key->WriteString("DisplayName", view == RegView::Force64 ? "Undo 64" : "Undo 32");
    ASSERT_TRUE(win32::RegWriteKey::Create(HKEY_LOCAL_MACHINE, path + "\\Empty", KEY_ALL_ACCESS, view));
  }
  const RegTreeCopy before64 = Dump(HKEY_LOCAL_MACHINE, path, RegView::Force64),
                    before32 = Dump(HKEY_LOCAL_MACHINE, path, RegView::Force32);
  {
    Store store;
    {
      ChangeSet set("Uninstall Software", "Remove Entry");
      SoftwareRow row;
      row.registryKey = std::string("HKEY_LOCAL_MACHINE\\") + kUninstallKey32 + "\\" + name;
      ASSERT_TRUE(RemoveSoftwareEntry(row));
      row.registryKey = std::string("HKEY_LOCAL_MACHINE\\") + kUninstallKey + "\\" + name;
      ASSERT_TRUE(RemoveSoftwareEntry(row));
    }
    EXPECT_FALSE(win32::RegKey::Exists(HKEY_LOCAL_MACHINE, path, RegView::Force32));
    RestoreAll();
  }
  EXPECT_EQ(Dump(HKEY_LOCAL_MACHINE, path, RegView::Force64), before64);
  EXPECT_EQ(Dump(HKEY_LOCAL_MACHINE, path, RegView::Force32), before32);
  win32::RegWriteKey::DeleteTree(HKEY_LOCAL_MACHINE, path, RegView::Force64);
  win32::RegWriteKey::DeleteTree(HKEY_LOCAL_MACHINE, path, RegView::Force32);
}

}  // namespace
}  // namespace wl::undo
