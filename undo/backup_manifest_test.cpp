#include "undo/backup_manifest.h"

#include <gtest/gtest.h>

namespace wl::undo {
namespace {

ChangeSetManifest Sample() {
  ChangeSetManifest m;
  m.id = "20261207-120517-123";
  m.created = "2026-12-07 12:05:17";
  m.page = "System Service";
  m.action = "Remove";
  BackupItem value;
  value.kind = ItemKind::RegistryValue;
  value.operation = "DeleteRegValue";
  value.description = "Delete the value";
  value.root = "HKEY_CURRENT_USER";
  value.key = "Software\\Caf\xC3\xA9\\\xED\xA0\x80";  // a lone surrogate in the key
  value.view = "32";
  value.valueName = std::string("odd\xED\xBF\xBF", 6);
  value.existed = true;
  value.value = {value.valueName, 0x12345678u, {0x41, 0x00, 0x42}};  // unknown type, odd size
  value.valueAfter = RegValueCopy{value.valueName, 1, {}};
  m.items.push_back(value);

  BackupItem tree;
  tree.kind = ItemKind::RegistryTree;
  tree.operation = "DeleteRegTree";
  tree.root = "HKEY_LOCAL_MACHINE";
  tree.key = "SYSTEM\\CurrentControlSet\\Services\\wltest";
  tree.existed = true;
  tree.tree.name = "wltest";
  tree.tree.values.push_back({"", 2, std::vector<uint8_t>(1 << 20, 0xAB)});  // 1 MiB default value
  tree.tree.keys.push_back({"Empty", {}, {{"Deeper", {}, {}}}});
  tree.service = ServiceConfigCopy{"wltest", "Test", "", "C:\\t.exe", "LocalSystem", "", {"+grp", "Tcpip"}, 16, 3, 1};
  m.items.push_back(tree);

  BackupItem ini;
  ini.kind = ItemKind::IniValue;
  ini.operation = "WriteIniValue";
  ini.path = "C:\\windows\\system.ini";
  ini.section = "boot";
  ini.entry = "shell";
  ini.existed = true;
  ini.text = "bad.exe";
  ini.textAfter = "explorer.exe";
  m.items.push_back(ini);

  BackupItem file;
  file.kind = ItemKind::File;
  file.operation = "RecycleFile";
  file.path = "C:\\x\\y.exe";
  file.existed = true;
  file.file = {"files\\1.z", 12345678901ull, 0xDEADBEEF, 1, 2, 3, 0x21};
  m.items.push_back(file);

  BackupItem external;
  external.kind = ItemKind::External;
  external.partial = true;
  external.operation = "regsvr32 /u";
  m.items.push_back(external);

  BackupItem shortcut = file;  // a shortcut changed: its copy and the arguments written
  shortcut.operation = "WriteShortcut";
  shortcut.textAfter = "--profile-directory=Default";
  m.items.push_back(shortcut);

  BackupItem folder;  // the folder made on the way to a file put in place
  folder.kind = ItemKind::Folder;
  folder.operation = "CreateFolder";
  folder.path = "C:\\x\\Neu \xC3\xA4";
  m.items.push_back(folder);

  BackupItem placed;  // a file put in place: no copy, its size and CRC
  placed.kind = ItemKind::File;
  placed.operation = "PlaceFile";
  placed.path = "C:\\x\\placed.lnk";
  placed.file = {"", 12, 0x1234, 0, 0, 0, 0};
  m.items.push_back(placed);

  BackupItem task;
  task.kind = ItemKind::Task;
  task.operation = "DeleteTask";
  task.path = "\\Vendor\\Updater \xC3\xA4";
  task.existed = true;
  task.enabled = true;
  task.definition = "<Task><Actions><Exec><Command>C:\\u.exe</Command></Exec></Actions></Task>";
  task.file = {"files\\2.z", 900, 7, 1, 2, 3, 0x20};
  m.items.push_back(task);

  BackupItem service;
  service.kind = ItemKind::Service;
  service.operation = "DeleteService";
  service.root = "HKEY_LOCAL_MACHINE";
  service.key = "SYSTEM\\CurrentControlSet\\Services\\wlsvc";
  service.existed = true;
  service.failed = true;
  service.service = ServiceConfigCopy{"wlsvc", "", "", "C:\\s.exe", "", "", {}, 16, 3, 1};
  service.tree = {"wlsvc", {{"Type", 4, {16, 0, 0, 0}}}, {}};
  m.items.push_back(service);

  BackupItem cert;
  cert.kind = ItemKind::Certificate;
  cert.operation = "DeleteCertificate";
  cert.path = "CurrentUser\\ROOT";
  cert.entry = "D6DAD21D069C984ABB0E5CB821E52525F2E7CB3F";
  cert.existed = true;
  cert.text = "30820102";
  m.items.push_back(cert);

  BackupItem winsock;
  winsock.kind = ItemKind::Winsock;
  winsock.operation = "RemoveWinsockProvider";
  winsock.path = "the Winsock protocol catalog";
  winsock.entry = "{5A5A0000-0000-0000-0000-000000000001}";
  winsock.existed = true;
  winsock.winsock = {{false, true, "{5A5A0000-0000-0000-0000-000000000001}", "C:\\\xC3\xBC\\lsp.dll",
                      {std::vector<uint8_t>(628, 7), std::vector<uint8_t>(628, 0)}, "", 0, 0, true},
                     {true, false, "{5A5A0000-0000-0000-0000-000000000002}", "nsp.dll", {}, "Names", 12, 1, false}};
  m.items.push_back(winsock);
  return m;
}

TEST(BackupManifest, RoundTripKeepsEveryByteAndName) {
  const ChangeSetManifest m = Sample();
  const std::string json = ManifestToJson(m);
  std::string error;
  const auto back = ManifestFromJson(json, &error);
  ASSERT_TRUE(back) << error;
  EXPECT_EQ(*back, m);
  EXPECT_EQ(RestorableText(m), "partly");
  // A set whose only change failed has nothing to restore.
  ChangeSetManifest failed;
  failed.items = {m.items[0]};
  failed.items[0].failed = true;
  EXPECT_EQ(RestorableText(failed), "no");
  failed.items.push_back(m.items[2]);
  EXPECT_EQ(RestorableText(failed), "yes");
}

TEST(BackupManifest, DamagedDocumentsAreRefusedWithAReason) {
  ChangeSetManifest small = Sample();
  small.items[1].tree.values.clear();  // without the 1 MiB value
  const std::string good = ManifestToJson(small);
  const char* broken[] = {
      "",
      "[]",
      "{\"format\":1}",
      "{\"format\":2,\"id\":\"a\",\"created\":\"\",\"page\":\"\",\"action\":\"\",\"items\":[]}",
      "{\"format\":-1,\"id\":\"a\",\"created\":\"\",\"page\":\"\",\"action\":\"\",\"items\":[]}",
      "{\"format\":1,\"id\":\"a\",\"created\":\"\",\"page\":\"\",\"action\":\"\",\"items\":[{\"kind\":\"x\"}]}",
      "{\"format\":1,\"id\":\"a\",\"created\":\"\",\"page\":\"\",\"action\":\"\",\"items\":[{\"kind\":\"registry-value\","
      "\"operation\":\"\",\"description\":\"\",\"root\":\"HKCU\",\"key\":\"k\",\"view\":\"16\",\"existed\":false,"
      "\"valueName\":\"\"}]}",
      "{\"format\":1,\"id\":\"a\",\"created\":\"\",\"page\":\"\",\"action\":\"\",\"items\":[{\"kind\":\"registry-value\","
      "\"operation\":\"\",\"description\":\"\",\"root\":\"HKCU\",\"key\":\"k\",\"view\":\"64\",\"existed\":true,"
      "\"valueName\":\"\",\"value\":{\"name\":\"\",\"type\":1,\"data\":\"abc\"}}]}",
      "{\"format\":1,\"id\":\"a\",\"created\":\"\",\"page\":\"\",\"action\":\"\",\"items\":[{\"kind\":\"file\","
      "\"operation\":\"\",\"description\":\"\",\"path\":\"C:\\\\a\",\"existed\":true,\"file\":{\"copy\":"
      "\"..\\\\..\\\\evil\",\"size\":1,\"crc32\":1,\"created\":1,\"accessed\":1,\"written\":1,\"attributes\":1}}]}",
      "{\"format\":1,\"id\":{\"bytes\":\"zz\"},\"created\":\"\",\"page\":\"\",\"action\":\"\",\"items\":[]}",
      // A deleted file always has its copy; a task's copy stays in the set's folder.
      "{\"format\":1,\"id\":\"a\",\"created\":\"\",\"page\":\"\",\"action\":\"\",\"items\":[{\"kind\":\"file\","
      "\"operation\":\"\",\"description\":\"\",\"path\":\"C:\\\\a\",\"existed\":true,\"file\":{\"copy\":"
      "\"\",\"size\":1,\"crc32\":1,\"created\":1,\"accessed\":1,\"written\":1,\"attributes\":1}}]}",
      "{\"format\":1,\"id\":\"a\",\"created\":\"\",\"page\":\"\",\"action\":\"\",\"items\":[{\"kind\":\"task\","
      "\"operation\":\"\",\"description\":\"\",\"path\":\"\\\\t\",\"existed\":true,\"enabled\":true,"
      "\"definition\":\"\",\"file\":{\"copy\":\"C:\\\\evil\",\"size\":1,\"crc32\":1,\"created\":1,"
      "\"accessed\":1,\"written\":1,\"attributes\":1}}]}",
  };
  for (const char* text : broken) {
    std::string error;
    EXPECT_FALSE(ManifestFromJson(text, &error)) << text;
    EXPECT_FALSE(error.empty()) << text;
  }
  // Cut anywhere, the good document never reads as another one.
  // (Cut only after its last brace, it is the document itself.)
  for (std::size_t n = 0; n < good.size(); n += 7) {
    const auto cut = ManifestFromJson(good.substr(0, n));
    EXPECT_TRUE(!cut || *cut == small) << n;
  }
}

TEST(BackupManifest, ATreeNestedBeyondTheRegistrysDepthIsRefused) {
  std::string tree;
  for (int i = 0; i < 600; ++i) tree += "{\"name\":\"k\",\"values\":[],\"keys\":[";
  for (int i = 0; i < 600; ++i) tree += "]}";
  const std::string doc =
      "{\"format\":1,\"id\":\"a\",\"created\":\"\",\"page\":\"\",\"action\":\"\",\"items\":[{\"kind\":"
      "\"registry-tree\",\"operation\":\"\",\"description\":\"\",\"root\":\"HKCU\",\"key\":\"k\",\"view\":\"64\","
      "\"existed\":true,\"tree\":" + tree + "}]}";
  std::string error;
  EXPECT_FALSE(ManifestFromJson(doc, &error));
  EXPECT_NE(error.find("deeply"), std::string::npos) << error;
}

TEST(BackupManifest, HexAndSizes) {
  EXPECT_EQ(HexText({0x00, 0xAB, 0xff}), "00abff");
  EXPECT_EQ(*BytesFromHex("00ABff"), (std::vector<uint8_t>{0, 0xAB, 0xFF}));
  EXPECT_FALSE(BytesFromHex("0"));
  EXPECT_FALSE(BytesFromHex("0g"));
  EXPECT_EQ(SizeText(812), "812 bytes");
  EXPECT_EQ(SizeText(14540), "14.2 KB");
  EXPECT_EQ(SizeText(3u << 20), "3.0 MB");
}

TEST(BackupManifest, JournalLinesComeBackAndATornLastLineIsLeftOut) {
  const ChangeSetManifest m = Sample();
  std::string journal;
  for (const auto& item : m.items) journal += ItemJournalLine(item);
  std::string error;
  auto items = ItemsFromJournal(journal, &error);
  ASSERT_TRUE(items) << error;
  EXPECT_EQ(*items, m.items);
  // A write cut short: the last line has no line break, its change was not made.
  const std::string torn = journal + ItemJournalLine(m.items[0]).substr(0, 20);
  items = ItemsFromJournal(torn, &error);
  ASSERT_TRUE(items) << error;
  EXPECT_EQ(items->size(), m.items.size());
  // What became of a write, told after it: failed, then made after all.
  items = ItemsFromJournal(journal + FailedJournalLine(1, true) + FailedJournalLine(3, true) +
                               FailedJournalLine(3, false), &error);
  ASSERT_TRUE(items) << error;
  EXPECT_TRUE((*items)[1].failed);
  EXPECT_FALSE((*items)[3].failed);
  EXPECT_FALSE(ItemsFromJournal(journal + FailedJournalLine(m.items.size(), true), &error));
  EXPECT_NE(error.find("not there"), std::string::npos) << error;
  // A damaged line in the middle is not passed over.
  EXPECT_FALSE(ItemsFromJournal(ItemJournalLine(m.items[0]) + "{\"kind\":1}\n" + ItemJournalLine(m.items[0]), &error));
  EXPECT_NE(error.find("line 2"), std::string::npos) << error;
  EXPECT_FALSE(ItemsFromJournal("not json\n"));
  EXPECT_TRUE(ItemsFromJournal("")->empty());
}

}  // namespace
}  // namespace wl::undo
