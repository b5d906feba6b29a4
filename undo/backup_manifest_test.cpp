#include "undo/backup_manifest.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <variant>

#include "tests/support/test_support.h"
#include "undo/reg_file.h"

namespace wl::undo {
namespace {

ChangeSetManifest Sample() {
  ChangeSetManifest m;
  m.id = "20261207-120517-123";
  m.created = "2026-12-07 12:05:17";
  m.page = "System Service";
  m.action = "Remove";
  RegistryValueChange value;
  value.place = {"HKEY_CURRENT_USER", "Software\\Caf\xC3\xA9\\\xED\xA0\x80", "32"};  // a lone surrogate in the key
  value.valueName = std::string("odd\xED\xBF\xBF", 6);
  value.existed = true;
  value.value = {value.valueName, 0x12345678u, {0x41, 0x00, 0x42}};  // unknown type, odd size
  value.valueAfter = RegValueCopy{value.valueName, 1, {}};
  m.items.push_back({"DeleteRegValue", "Delete the value", false, false, value});

  RegistryTreeChange tree;
  tree.place = {"HKEY_LOCAL_MACHINE", "SYSTEM\\CurrentControlSet\\Services\\wltest"};
  tree.existed = true;
  tree.tree.name = "wltest";
  tree.tree.values.push_back({"", 2, std::vector<uint8_t>(1 << 20, 0xAB)});  // 1 MiB default value
  tree.tree.keys.push_back({"Empty", {}, {{"Deeper", {}, {}}}});
  tree.service = ServiceConfigCopy{"wltest", "Test", "", "C:\\t.exe", "LocalSystem", "", {"+grp", "Tcpip"}, 16, 3, 1};
  m.items.push_back({"DeleteRegTree", "", false, false, tree});

  IniEntryChange ini;
  ini.path = "C:\\windows\\system.ini";
  ini.section = "boot";
  ini.entry = "shell";
  ini.existed = true;
  ini.text = "bad.exe";
  ini.textAfter = "explorer.exe";
  m.items.push_back({"WriteIniValue", "", false, false, ini});

  FileChange file;
  file.path = "C:\\x\\y.exe";
  file.existed = true;
  file.file = {"files\\1.z", 12345678901ull, 0xDEADBEEF, 1, 2, 3, 0x21};
  m.items.push_back({"RecycleFile", "", false, false, file});

  m.items.push_back({"regsvr32 /u", "", true, false, ExternalStep{}});

  FileChange shortcut = file;  // a shortcut changed: its copy and the arguments written
  shortcut.textAfter = "--profile-directory=Default";
  m.items.push_back({"WriteShortcut", "", false, false, shortcut});

  // The folder made on the way to a file put in place.
  m.items.push_back({"CreateFolder", "", false, false, FolderChange{"C:\\x\\Neu \xC3\xA4", false}});

  FileChange placed;  // a file put in place: no copy, its size and CRC
  placed.path = "C:\\x\\placed.lnk";
  placed.file = {"", 12, 0x1234, 0, 0, 0, 0};
  m.items.push_back({"PlaceFile", "", false, false, placed});

  TaskChange task;
  task.path = "\\Vendor\\Updater \xC3\xA4";
  task.existed = true;
  task.enabled = true;
  task.definition = "<Task><Actions><Exec><Command>C:\\u.exe</Command></Exec></Actions></Task>";
  task.file = {"files\\2.z", 900, 7, 1, 2, 3, 0x20};
  m.items.push_back({"DeleteTask", "", false, false, task});

  ServiceChange service;
  service.place = {"HKEY_LOCAL_MACHINE", "SYSTEM\\CurrentControlSet\\Services\\wlsvc"};
  service.existed = true;
  service.service = ServiceConfigCopy{"wlsvc", "", "", "C:\\s.exe", "", "", {}, 16, 3, 1};
  service.tree = {"wlsvc", {{"Type", 4, {16, 0, 0, 0}}}, {}};
  m.items.push_back({"DeleteService", "", false, true, service});

  CertificateChange cert;
  cert.kept = {"CurrentUser\\ROOT", "D6DAD21D069C984ABB0E5CB821E52525F2E7CB3F", true, "30820102", std::nullopt};
  m.items.push_back({"DeleteCertificate", "", false, false, cert});

  WinsockChange winsock;
  winsock.catalog = "the Winsock protocol catalog";
  winsock.provider = "{5A5A0000-0000-0000-0000-000000000001}";
  winsock.existed = true;
  winsock.providers = {{false, true, "{5A5A0000-0000-0000-0000-000000000001}", "C:\\\xC3\xBC\\lsp.dll",
                        {std::vector<uint8_t>(628, 7), std::vector<uint8_t>(628, 0)}, "", 0, 0, true},
                       {true, false, "{5A5A0000-0000-0000-0000-000000000002}", "nsp.dll", {}, "Names", 12, 1, false}};
  m.items.push_back({"RemoveWinsockProvider", "", false, false, winsock});
  return m;
}

// The sample as the golden files in testdata/manifests keep it: its tree
// holds a small value instead of the 1 MiB one.
ChangeSetManifest SmallSample() {
  ChangeSetManifest m = Sample();
  m.items[1].As<RegistryTreeChange>()->tree.values = {{"", 2, {0xAB, 0xCD}}};
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

// Manifests, journals and registry files as the recorder wrote them, one
// set of every kind of change (the round trips of undo_write_kinds_test, the
// sample above): read and written again, each comes back byte for byte.
TEST(BackupManifest, SavedManifestsReadAndWriteByteForByte) {
  const std::filesystem::path folder(test::SourceDir() + "/undo/testdata/manifests");
  std::size_t sets = 0;
  std::set<std::string> kinds;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().extension() != ".json") continue;
    const std::string base = (folder / entry.path().stem()).string();
    SCOPED_TRACE(base);
    const std::string saved = test::ReadBytes(base + ".json");
    std::string error;
    const auto manifest = ManifestFromJson(saved, &error);
    ASSERT_TRUE(manifest) << error;
    EXPECT_EQ(ManifestToJson(*manifest), saved);
    for (const auto& item : manifest->items) kinds.insert(std::string(item.KindName()));
    // The registry file of the set (written only when it has keys).
    const auto reg = WriteRegFile(RegFileKeysFor(*manifest));
    if (std::filesystem::exists(base + ".reg"))
      EXPECT_EQ(std::string(reg.begin(), reg.end()), test::ReadBytes(base + ".reg"));
    else
      EXPECT_TRUE(RegFileKeysFor(*manifest).empty());
    // The journal of its items.
    const std::string journal = test::ReadBytes(base + ".jsonl");
    std::string lines;
    for (const auto& item : manifest->items) lines += ItemJournalLine(item);
    EXPECT_EQ(lines, journal);
    const auto items = ItemsFromJournal(journal, &error);
    ASSERT_TRUE(items) << error;
    EXPECT_EQ(*items, manifest->items);
    ++sets;
  }
  EXPECT_GT(sets, 30u);
  EXPECT_EQ(kinds.size(), std::variant_size_v<Change>) << "a kind of change has no saved manifest";
  // The sample, made anew, is the very document saved.
  EXPECT_EQ(ManifestToJson(SmallSample()), test::ReadBytes(test::SourceDir() + "/undo/testdata/manifests/sample.json"));
}

TEST(BackupManifest, DamagedDocumentsAreRefusedWithAReason) {
  ChangeSetManifest small = Sample();
  small.items[1].As<RegistryTreeChange>()->tree.values.clear();  // without the 1 MiB value
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
