// Backups and restores against the real registry, INI files and files of
// the scratch prefix: each test dumps what it touches before the change and
// compares the dump after the restore.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>

#include "core/utf8_path.h"
#include "sysroutines/store_folder.h"
#include "sysroutines/system_write.h"
#include "tests/support/fake_stores.h"
#include "tests/support/test_support.h"
#include "undo/backup_store.h"
#include "undo/reg_file.h"
#include "undo/restore.h"
#include "undo/system_state.h"
#include "undo/undo_commands.h"
#include "win32/file_path.h"
#include "win32/handles.h"
#include "win32/registry_write.h"
#include "win32/unicode.h"

namespace wl::undo {
namespace {

using win32::RegView;

std::string UniqueKey(const std::string& tag) {
  static std::atomic<int> counter{0};
  return "Software\\WardenlakeTest\\undo-" + tag + "-" + std::to_string(GetCurrentProcessId()) + "-" +
         std::to_string(counter++);
}

// A test key under HKEY_CURRENT_USER (or another root), deleted in both views at the end.
struct TestKey {
  HKEY root;
  std::string path;
  explicit TestKey(const std::string& tag, HKEY r = HKEY_CURRENT_USER) : root(r), path(UniqueKey(tag)) {}
  ~TestKey() {
    win32::RegWriteKey::DeleteTree(root, path, RegView::Force64);
    win32::RegWriteKey::DeleteTree(root, path, RegView::Force32);
  }
  void Put(const std::string& sub, const std::string& name, DWORD type, const std::vector<uint8_t>& data,
           RegView view = RegView::Default) const {
    auto key = win32::RegWriteKey::Create(root, sub.empty() ? path : path + "\\" + sub, KEY_ALL_ACCESS, view);
    ASSERT_TRUE(key);
    ASSERT_EQ(key->WriteRaw(name, type, data), ERROR_SUCCESS);
  }
  void MakeKey(const std::string& sub, RegView view = RegView::Default) const {
    ASSERT_TRUE(win32::RegWriteKey::Create(root, path + "\\" + sub, KEY_ALL_ACCESS, view));
  }
  RegTreeCopy Dump(RegView view = RegView::Default) const {
    RegTreeCopy t;
    const uint32_t e = DumpRegTree(root, path, view, t);
    if (e == ERROR_FILE_NOT_FOUND) return {"(missing)", {}, {}};
    EXPECT_EQ(e, ERROR_SUCCESS);
    return SortedTree(t);
  }
};

// A store of its own for each test.
struct Store {
  test::ScratchDir dir{"wlundo"};
  ScopedBackupStoreRoot root{dir.File("store")};
  ScopedBackupRecording recording;
};

StoredChangeSet OnlySet() {
  auto sets = ListChangeSets();
  EXPECT_EQ(sets.size(), 1u);
  if (sets.empty()) return {};
  EXPECT_EQ(sets[0].error, "");
  return sets[0];
}

std::vector<uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

// Hostile values: every type, odd sizes, strings without their terminating
// zero, an unknown type, 1 MiB of data, non-ASCII and lone-surrogate names.
void PutHostileValues(const TestKey& key, RegView view) {
  key.Put("", "", REG_SZ, Bytes(std::string("d\0e\0f\0\0\0", 8)), view);
  key.Put("", "sz-unterminated", REG_SZ, Bytes(std::string("a\0b\0", 4)), view);
  key.Put("", "expand-odd", REG_EXPAND_SZ, Bytes(std::string("%\0P\0A", 5)), view);
  key.Put("", "multi", REG_MULTI_SZ, Bytes(std::string("x\0\0\0y\0\0\0\0\0", 10)), view);
  key.Put("", "dword-short", REG_DWORD, {1, 2, 3}, view);
  key.Put("", "qword", REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8}, view);
  key.Put("", "none-empty", REG_NONE, {}, view);
  key.Put("", "big-endian", REG_DWORD_BIG_ENDIAN, {0, 0, 0, 1}, view);
  key.Put("", "link", REG_LINK, {0x41, 0}, view);
  key.Put("", "resource", REG_RESOURCE_LIST, {9, 9}, view);
  key.Put("", "unknown-type", 0x12345678, {0xFF}, view);
  key.Put("", "one-mib", REG_BINARY, std::vector<uint8_t>(1 << 20, 0x5A), view);
  key.Put("", "Caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC", REG_SZ, Bytes(std::string("\x01\x00", 2)), view);
  key.Put("", "lone-\xED\xA0\x80-surrogate", REG_BINARY, {7}, view);
}

TEST(UndoRegistry, HostileValuesInBothViewsComeBackByteForByte) {
  Store store;
  TestKey key("values", HKEY_LOCAL_MACHINE);
  for (RegView view : {RegView::Force64, RegView::Force32}) PutHostileValues(key, view);
  key.Put("", "only64", REG_SZ, Bytes(std::string("6\0\0\0", 4)), RegView::Force64);
  const RegTreeCopy before64 = key.Dump(RegView::Force64), before32 = key.Dump(RegView::Force32);
  ASSERT_EQ(before64.values.size(), 15u);
  ASSERT_NE(before64, before32);
  {
    ChangeSet set("Test", "Delete");
    for (RegView view : {RegView::Force64, RegView::Force32}) {
      RegTreeCopy t = key.Dump(view);
      for (const auto& v : t.values) {
        if (v.name == "qword") {
          ASSERT_TRUE(WriteRegDword(HKEY_LOCAL_MACHINE, key.path, v.name, 7, view));
        } else {
          const WriteResult r = DeleteRegValue(HKEY_LOCAL_MACHINE, key.path, v.name, view);
          ASSERT_TRUE(r) << r.message;
        }
      }
    }
  }
  EXPECT_EQ(key.Dump(RegView::Force64).values.size(), 1u);
  const StoredChangeSet set = OnlySet();
  EXPECT_EQ(set.manifest.items.size(), 29u);
  EXPECT_EQ(set.manifest.page, "Test");
  EXPECT_GT(set.size, 1u << 20);  // the big value is in the manifest
  for (const auto& c : CheckChangeSet(set)) EXPECT_EQ(c.state, ItemState::Restorable) << c.detail;

  const RestoreReport report = RestoreChangeSet(set, false);
  EXPECT_TRUE(report.AllRestored()) << report.Text();
  EXPECT_EQ(key.Dump(RegView::Force64), before64);
  EXPECT_EQ(key.Dump(RegView::Force32), before32);
  // Restoring again finds everything in place.
  for (const auto& c : CheckChangeSet(set)) EXPECT_EQ(c.state, ItemState::InPlace);
}

TEST(UndoRegistry, ThreeLevelTreeWithEmptyKeysAndItsRegFile) {
  Store store;
  TestKey key("tree");
  key.Put("", "top", REG_SZ, Bytes(std::string("t\0\0\0", 4)));
  key.Put("one", "v", REG_DWORD, {1, 0, 0, 0});
  key.MakeKey("one\\empty");
  key.Put("one\\two\\three", "deep", REG_EXPAND_SZ, Bytes(std::string("%\0x\0%\0\0\0", 8)));
  key.Put("one\\two\\three", "hostile", 0x12345678, {1, 2, 3});
  key.MakeKey("one\\two\\three\\empty-leaf");
  key.MakeKey("sibling-empty");
  const RegTreeCopy before = key.Dump();
  {
    ChangeSet set("Test", "Delete Tree");
    const WriteResult r = DeleteRegTree(HKEY_CURRENT_USER, key.path);
    ASSERT_TRUE(r) << r.message;
  }
  ASSERT_EQ(key.Dump().name, "(missing)");
  const StoredChangeSet set = OnlySet();
  ASSERT_EQ(set.manifest.items.size(), 1u);

  // The .reg file, imported by the system's own tool, gives the same tree.
  const std::string regFile = set.folder + "\\registry.reg";
  ASSERT_TRUE(win32::FileExists(regFile));
  const auto result = test::RunProgramAt("C:\\windows\\system32\\reg.exe", {"import", regFile});
  EXPECT_EQ(result.status, 0) << result.out << result.err;
  EXPECT_EQ(key.Dump(), before);

  // The key is back already: nothing to do.
  EXPECT_EQ(CheckChangeSet(set)[0].state, ItemState::InPlace);
  win32::RegWriteKey::DeleteTree(HKEY_CURRENT_USER, key.path);
  const RestoreReport report = RestoreChangeSet(set, false);
  EXPECT_TRUE(report.AllRestored()) << report.Text();
  EXPECT_EQ(key.Dump(), before);
}

// Names the registry file's format must escape or cannot hold: the file
// imports back to exactly what it can hold, a crafted name sets nothing
// else, and the restore from the change set brings back the rest too.
TEST(UndoRegistry, HostileNamesRoundTripThroughTheRegFileAndTheRestore) {
  Store store;
  TestKey key("names");
  const std::vector<std::string> names = {"@", "\"quoted\"", "back\\slash\\", "\\", "Caf\xC3\xA9 \xE6\x97\xA5",
                                          "=eq;semi[", " lead and trail "};
  for (const auto& name : names) key.Put("", name, REG_SZ, Bytes(std::string("x\0\0\0", 4)));
  for (const auto& sub : {"@", "\"q\"", "sp ace", "Caf\xC3\xA9", "br]acket", "[open"})
    key.Put(sub, "v", REG_DWORD, {1, 0, 0, 0});
  const RegTreeCopy importable = key.Dump();
  // A value name with a line break that would set the key's default value,
  // and a key whose name holds one.
  key.Put("", "evil\r\n@=\"C:\\\\planted.exe\"", REG_SZ, Bytes(std::string("y\0\0\0", 4)));
  key.Put("line\nbreak", "v", REG_DWORD, {2, 0, 0, 0});
  const RegTreeCopy before = key.Dump();
  {
    ChangeSet set("Test", "Delete Tree");
    ASSERT_TRUE(DeleteRegTree(HKEY_CURRENT_USER, key.path));
  }
  const StoredChangeSet set = OnlySet();
  const auto result =
      test::RunProgramAt("C:\\windows\\system32\\reg.exe", {"import", set.folder + "\\registry.reg"});
  EXPECT_EQ(result.status, 0) << result.out << result.err;
  EXPECT_EQ(key.Dump(), importable);  // no default value, nothing planted
  const auto text = ReadWholeFile(set.folder + "\\registry.reg");
  ASSERT_TRUE(text);
  EXPECT_NE(text->find(std::string("L\0e\0f\0t\0 \0o\0u\0t\0", 16)), std::string::npos);

  const RestoreReport report = RestoreChangeSet(set, true);
  EXPECT_TRUE(report.AllRestored()) << report.Text();
  EXPECT_EQ(key.Dump(), before);
}

TEST(UndoRegistry, ChangedSinceTheBackupIsSkippedUnlessOverwriteIsChosen) {
  Store store;
  TestKey key("changed");
  key.Put("", "v", REG_SZ, Bytes(std::string("o\0\0\0", 4)));
  {
    ChangeSet set("Test", "Write");
    ASSERT_TRUE(WriteRegString(HKEY_CURRENT_USER, key.path, "v", "new"));
    ASSERT_TRUE(WriteRegString(HKEY_CURRENT_USER, key.path, "created", "x"));
  }
  key.Put("", "v", REG_SZ, Bytes(std::string("u\0\0\0", 4)));  // the user changed it since
  const StoredChangeSet set = OnlySet();
  const auto checks = CheckChangeSet(set);
  EXPECT_EQ(checks[0].state, ItemState::Changed);
  EXPECT_EQ(checks[1].state, ItemState::Restorable);

  RestoreReport report = RestoreChangeSet(set, false);
  EXPECT_FALSE(report.AllRestored());
  EXPECT_NE(report.items[0].message.find("changed since the backup"), std::string::npos) << report.Text();
  EXPECT_TRUE(report.items[1].restored);
  EXPECT_FALSE(win32::RegKey::Open(HKEY_CURRENT_USER, key.path)->HasValue("created"));
  EXPECT_EQ(*win32::RegKey::Open(HKEY_CURRENT_USER, key.path)->ReadString("v"), "u");

  report = RestoreChangeSet(set, true);
  EXPECT_TRUE(report.AllRestored()) << report.Text();
  EXPECT_EQ(*win32::RegKey::Open(HKEY_CURRENT_USER, key.path)->ReadString("v"), "o");
}

TEST(UndoStore, ABackupThatCannotBeWrittenStopsTheChange) {
  test::ScratchDir dir{"wlundo"};
  test::WriteBytes(dir.File("blocker"), "a file where the store's folder would be");
  ScopedBackupStoreRoot root(dir.File("blocker") + "\\store");
  ScopedBackupRecording recording;
  TestKey key("failclosed");
  key.Put("", "keep", REG_SZ, Bytes(std::string("k\0\0\0", 4)));
  const WriteResult r = DeleteRegValue(HKEY_CURRENT_USER, key.path, "keep");
  EXPECT_FALSE(r);
  EXPECT_NE(r.message.find("backup could not be written"), std::string::npos) << r.message;
  EXPECT_TRUE(win32::RegKey::Open(HKEY_CURRENT_USER, key.path)->HasValue("keep"));
  const WriteResult tree = DeleteRegTree(HKEY_CURRENT_USER, key.path);
  EXPECT_FALSE(tree);
  EXPECT_TRUE(win32::RegKey::Exists(HKEY_CURRENT_USER, key.path));
}

TEST(UndoStore, AKindOfChangeWithoutABackupIsNotMadeAndRefusalsAreNotRecorded) {
  Store store;
  // A write the recorder does not know fails closed.
  WriteRequest unknown{WriteKind::Count, "wltest-unknown", {}};
  const WriteResult r = RecordWrite(unknown);
  EXPECT_FALSE(r);
  EXPECT_EQ(r.error, static_cast<uint32_t>(ERROR_NOT_SUPPORTED));
  // A write the interceptor refuses is never recorded; one made with no
  // change set open gets a set of its own.
  TestKey key("intercepted");
  key.Put("", "v", REG_SZ, Bytes(std::string("v\0\0\0", 4)));
  {
    ScopedWriteInterceptor deny([](const WriteRequest&) { return static_cast<uint32_t>(ERROR_ACCESS_DENIED); });
    EXPECT_FALSE(DeleteRegValue(HKEY_CURRENT_USER, key.path, "v"));
  }
  EXPECT_TRUE(ListChangeSets().empty());
  EXPECT_TRUE(DeleteRegValue(HKEY_CURRENT_USER, key.path, "v"));
  const StoredChangeSet set = OnlySet();
  EXPECT_EQ(set.manifest.items.size(), 1u);
  std::string error;
  EXPECT_TRUE(DeleteChangeSet(set.manifest.id, &error)) << error;
  EXPECT_TRUE(ListChangeSets().empty());
  EXPECT_FALSE(DeleteChangeSet("..\\..", &error));
}

TEST(UndoStore, AServerUnregisteringItselfIsRecordedAsPartlyRestorable) {
  Store store;
  {
    ChangeSet set("Browser Extensions", "Remove");
    WriteRequest request{WriteKind::UnregisterServer, "C:\\Demo\\toolbar.dll", {}};
    ASSERT_TRUE(RecordWrite(request));
  }
  const StoredChangeSet set = OnlySet();
  ASSERT_EQ(set.manifest.items.size(), 1u);
  EXPECT_TRUE(set.manifest.items[0].Is<ExternalStep>());
  EXPECT_EQ(RestorableText(set.manifest), "partly");
  const RestoreReport report = RestoreChangeSet(set, true);
  EXPECT_FALSE(report.AllRestored());
  EXPECT_NE(report.items[0].message.find("cannot be restored"), std::string::npos);
}

TEST(UndoIni, EntriesWrittenAndDeletedComeBack) {
  Store store;
  test::ScratchDir dir{"wlini"};
  const std::string ini = dir.File("test.ini");
  test::WriteBytes(ini, "[boot]\r\nshell=evil.exe\r\n[windows]\r\nload=x.exe y\r\nrun=\r\n");
  {
    ChangeSet set("Test", "Remove");
    ASSERT_TRUE(WriteIniValue(ini, "boot", "shell", "Explorer.exe"));
    ASSERT_TRUE(DeleteIniValue(ini, "windows", "load"));
    ASSERT_TRUE(DeleteIniValue(ini, "windows", "run"));
    ASSERT_TRUE(WriteIniValue(ini, "windows", "new", "1"));
  }
  EXPECT_FALSE(ReadIniState(ini, "windows", "load"));
  const RestoreReport report = RestoreChangeSet(OnlySet(), false);
  EXPECT_TRUE(report.AllRestored()) << report.Text();
  EXPECT_EQ(ReadIniState(ini, "boot", "shell"), "evil.exe");
  EXPECT_EQ(ReadIniState(ini, "windows", "load"), "x.exe y");
  EXPECT_EQ(ReadIniState(ini, "windows", "run"), "");
  EXPECT_FALSE(ReadIniState(ini, "windows", "new"));
}

FILETIME Ft(uint64_t v) { return {static_cast<DWORD>(v), static_cast<DWORD>(v >> 32)}; }

// Whether this file system keeps a creation time that is set (Wine on a
// Linux file system does not: it reports its own).
bool KeepsCreationTime(const std::string& probe) {
  test::WriteBytes(probe, "p");
  const FILETIME t = Ft(130000000000000000ull);
  {
    win32::UniqueHfile f(CreateFileW(win32::ApiPath(probe).c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                     OPEN_EXISTING, 0, nullptr));
    if (!f || !SetFileTime(f.get(), &t, nullptr, nullptr)) return false;
  }
  WIN32_FILE_ATTRIBUTE_DATA data{};
  GetFileAttributesExW(win32::ApiPath(probe).c_str(), GetFileExInfoStandard, &data);
  DeleteFileW(win32::ApiPath(probe).c_str());
  return CompareFileTime(&data.ftCreationTime, &t) == 0;
}

TEST(UndoFiles, DeletedAndRecycledFilesComeBackWithTimesAndAttributes) {
  Store store;
  test::ScratchDir dir{"wlfile"};
  std::string content(3 << 20, '\0');
  for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>((i * 7919) >> 5);
  const std::string deleted = dir.File("sub\\d\xC3\xA9leted.exe"), recycled = dir.File("recycled.dll");
  CreateDirectoryW(win32::ApiPath(dir.File("sub")).c_str(), nullptr);
  test::WriteBytes(deleted, content);
  test::WriteBytes(recycled, "MZ small");
  const FILETIME created = Ft(130000000000000000ull), accessed = Ft(131000000000000000ull),
                 written = Ft(132000000000000000ull);
  {
    win32::UniqueHfile f(CreateFileW(win32::ApiPath(deleted).c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                     OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(f);
    ASSERT_TRUE(SetFileTime(f.get(), &created, &accessed, &written));
  }
  ASSERT_TRUE(SetFileAttributesW(win32::ApiPath(deleted).c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
  {
    ChangeSet set("Test", "Delete files");
    const WriteResult d = DeleteFileNow(deleted);
    ASSERT_TRUE(d) << d.message;
    const WriteResult r = RecycleFile(recycled);
    ASSERT_TRUE(r) << r.message;
  }
  RemoveDirectoryW(win32::ApiPath(dir.File("sub")).c_str());  // the folder is made again
  const StoredChangeSet set = OnlySet();
  EXPECT_LT(set.size, content.size());  // kept compressed
  ASSERT_EQ(set.manifest.items.size(), 2u);
  EXPECT_TRUE(win32::FileExists(set.folder + "\\" + set.manifest.items[0].As<FileChange>()->file.copyName));

  const RestoreReport report = RestoreChangeSet(set, false);
  EXPECT_TRUE(report.AllRestored()) << report.Text();
  WIN32_FILE_ATTRIBUTE_DATA data{};
  ASSERT_TRUE(GetFileAttributesExW(win32::ApiPath(deleted).c_str(), GetFileExInfoStandard, &data));
  EXPECT_EQ(data.dwFileAttributes, static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
  if (KeepsCreationTime(dir.File("probe"))) {
    EXPECT_EQ(CompareFileTime(&data.ftCreationTime, &created), 0);
  }
  EXPECT_EQ(CompareFileTime(&data.ftLastWriteTime, &written), 0);
  EXPECT_EQ(CompareFileTime(&data.ftLastAccessTime, &accessed), 0);
  EXPECT_EQ(test::ReadBytes(deleted), content);
  EXPECT_EQ(test::ReadBytes(recycled), "MZ small");
  SetFileAttributesW(win32::ApiPath(deleted).c_str(), FILE_ATTRIBUTE_NORMAL);

  // A different file there now is left alone unless overwrite is chosen;
  // then it goes to the Recycle Bin, not away for good.
  test::WriteBytes(recycled, "another");
  EXPECT_EQ(CheckChangeSet(set)[1].state, ItemState::Changed);
  EXPECT_FALSE(RestoreChangeSet(set, false).AllRestored());
  EXPECT_EQ(test::ReadBytes(recycled), "another");
  EXPECT_TRUE(RestoreChangeSet(set, true).AllRestored());
  EXPECT_EQ(test::ReadBytes(recycled), "MZ small");
}

TEST(UndoFiles, AFileThatCannotBeCopiedIsNotDeleted) {
  Store store;
  test::ScratchDir dir{"wlfile"};
  const std::string path = dir.File("locked.exe");
  test::WriteBytes(path, "data");
  // Held open without sharing: neither the copy nor the deletion can be
  // had; the file is refused before anything is recorded.
  win32::UniqueHfile hold(CreateFileW(win32::ApiPath(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                                      nullptr));
  ASSERT_TRUE(hold);
  const WriteResult r = DeleteFileNow(path);
  EXPECT_FALSE(r);
  EXPECT_EQ(r.error, static_cast<uint32_t>(ERROR_SHARING_VIOLATION)) << r.message;
  hold.reset();
  EXPECT_TRUE(win32::FileExists(path));
  EXPECT_TRUE(ListChangeSets().empty());
}

// A program that has just stopped may hold its file a moment longer: the
// delete fails and is tried again. The failed write is marked so (and not
// offered for restore), and the tries share one copy. (A read-only file
// stands in for the program's: it opens for deletion, and the deletion
// itself is refused.)
TEST(UndoFiles, AFailedDeleteIsMarkedAndItsRetriesShareOneCopy) {
  Store store;
  test::ScratchDir dir{"wlfile"};
  const std::string path = dir.File("held.exe");
  test::WriteBytes(path, "MZ held");
  ASSERT_TRUE(SetFileAttributesW(win32::ApiPath(path).c_str(), FILE_ATTRIBUTE_READONLY));
  struct Hold {
    std::string path;
    void reset() { SetFileAttributesW(win32::ApiPath(path).c_str(), FILE_ATTRIBUTE_NORMAL); }
  } hold{path};
  {
    ChangeSet set("Test", "Remove");
    for (int i = 0; i < 3; ++i) {
      const WriteResult r = DeleteFileNow(path);
      EXPECT_FALSE(r);
      EXPECT_EQ(r.message.find("backup"), std::string::npos) << r.message;  // the backup was made
    }
    const StoredChangeSet open = OnlySet();
    ASSERT_EQ(open.manifest.items.size(), 1u);
    EXPECT_TRUE(open.manifest.items[0].failed);
    EXPECT_EQ(RestorableText(open.manifest), "no");
    const auto checks = CheckChangeSet(open);
    EXPECT_EQ(checks[0].state, ItemState::NotMade);
    hold.reset();
    EXPECT_TRUE(DeleteFileNow(path));
  }
  const StoredChangeSet set = OnlySet();
  ASSERT_EQ(set.manifest.items.size(), 1u);
  EXPECT_FALSE(set.manifest.items[0].failed);
  std::size_t copies = 0;
  WIN32_FIND_DATAW fd{};
  win32::UniqueFind find(FindFirstFileW(win32::ApiPath(set.folder + "\\files\\*.z").c_str(), &fd));
  if (find) do ++copies; while (FindNextFileW(find.get(), &fd));
  EXPECT_EQ(copies, 1u);
  const RestoreReport report = RestoreChangeSet(set, false);
  EXPECT_TRUE(report.AllRestored()) << report.Text();
  EXPECT_EQ(test::ReadBytes(path), "MZ held");
  hold.reset();
}

// A file put back whose folders are gone: the folders the restore makes
// are recorded in its change set (made inside the folder held before each),
// and undoing the restore takes them away again with the file.
TEST(UndoFiles, FoldersARestoreMakesAreRecordedAndGoWithItsUndo) {
  Store store;
  test::ScratchDir dir{"wlfile"};
  const std::string top = dir.File("gone"), deeper = top + "\\deeper", file = deeper + "\\f.txt";
  ASSERT_TRUE(CreateDirectoryW(win32::ApiPath(top).c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW(win32::ApiPath(deeper).c_str(), nullptr));
  test::WriteBytes(file, "kept");
  {
    ChangeSet set("Test", "Remove");
    ASSERT_TRUE(DeleteFileNow(file));
  }
  ASSERT_TRUE(RemoveDirectoryW(win32::ApiPath(deeper).c_str()));
  ASSERT_TRUE(RemoveDirectoryW(win32::ApiPath(top).c_str()));
  const RestoreReport back = RestoreChangeSet(OnlySet(), false);
  EXPECT_TRUE(back.AllRestored()) << back.Text();
  EXPECT_EQ(test::ReadBytes(file), "kept");
  std::string error;
  const auto restore = FindChangeSet(back.backupId, &error);
  ASSERT_TRUE(restore) << error;
  const auto& items = restore->manifest.items;
  ASSERT_EQ(items.size(), 3u);
  ASSERT_TRUE(items[0].Is<FolderChange>() && items[1].Is<FolderChange>());
  EXPECT_EQ(items[0].As<FolderChange>()->path, top);
  EXPECT_FALSE(items[0].As<FolderChange>()->existed);
  EXPECT_EQ(items[1].As<FolderChange>()->path, deeper);
  EXPECT_TRUE(items[2].Is<FileChange>());
  // A dry run sees the folders empty once the file is gone again.
  for (const ItemCheck& c : CheckChangeSet(*restore)) EXPECT_EQ(c.state, ItemState::Restorable) << c.index;

  const RestoreReport undone = RestoreChangeSet(*restore, false);
  EXPECT_TRUE(undone.AllRestored()) << undone.Text();
  EXPECT_FALSE(win32::FileExists(file));
  EXPECT_FALSE(win32::DirectoryExists(top));
}

// A WMI instance deleted keeps its array properties in the backup, and the
// restore makes it again with them; a restore in which WMI does not take
// one back says "restored in part" and names it, never "restored".
TEST(UndoWmi, ArrayPropertiesComeBackAndARestoreThatDropsOneSaysSo) {
  test::FakeWmiStore wmi;
  const WmiInstance consumer{
      "NTEventLogEventConsumer",
      "NTEventLogEventConsumer.Name=\"WlLog\"",
      {{"Name", 8, "WlLog"},
       {"InsertionStringTemplates", 8 | kWmiArrayFlag, "", false, {"%TargetInstance.Name%", "started"}},
       {"EventID", 19, "10"},
       {"CreatorSID", 17 | kWmiArrayFlag, "", false, {"1", "1", "0"}}}};
  wmi.Add(consumer);
  Store store;
  auto removeAndRestore = [&] {
    std::string id;
    {
      ChangeSet set("Test", "Remove");
      EXPECT_TRUE(DeleteWmiInstance(kSubscriptionNamespace, consumer.path));
      id = set.Id();
    }
    EXPECT_FALSE(wmi.Has(consumer.path));
    std::string error;
    const auto set = FindChangeSet(id, &error);
    EXPECT_TRUE(set) << error;
    return set ? RestoreChangeSet(*set, false) : RestoreReport{};
  };
  const RestoreReport whole = removeAndRestore();
  EXPECT_TRUE(whole.AllRestored()) << whole.Text();
  WmiInstance back;
  ASSERT_EQ(wmi.Get(kSubscriptionNamespace, consumer.path, back), 0u);
  EXPECT_EQ(back, consumer);

  wmi.dropsArrays = true;
  const RestoreReport part = removeAndRestore();
  EXPECT_FALSE(part.AllRestored());
  ASSERT_EQ(part.items.size(), 1u);
  // The creator's SID is WMI's own: not counted as lost.
  EXPECT_EQ(part.items[0].message, "restored in part: WMI did not take back InsertionStringTemplates");
  EXPECT_TRUE(wmi.Has(consumer.path));
}

// A set that wrote one value twice and made a key that the user filled
// since: each item is judged by what the later items leave, and the restore
// says first what it would overwrite and delete.
TEST(UndoRegistry, ItemsAreCheckedAgainstWhatTheLaterOnesLeaveAndTheLossIsCountedFirst) {
  Store store;
  TestKey key("plan");
  key.Put("", "v", REG_SZ, Bytes(std::string("a\0\0\0", 4)));
  {
    ChangeSet set("Test", "Write twice");
    ASSERT_TRUE(WriteRegString(HKEY_CURRENT_USER, key.path, "v", "b"));
    ASSERT_TRUE(WriteRegString(HKEY_CURRENT_USER, key.path, "v", "c"));
    ASSERT_TRUE(WriteRegString(HKEY_CURRENT_USER, key.path + "\\Made", "w", "x"));
  }
  const StoredChangeSet set = OnlySet();
  ASSERT_EQ(set.manifest.items.size(), 4u);  // v, v, the key made, w
  for (const auto& c : CheckChangeSet(set)) EXPECT_EQ(c.state, ItemState::Restorable) << c.index << " " << c.detail;
  // What is there now counts, not what the set wrote between: "c" is
  // overwritten once; the key the set made goes with its value.
  EXPECT_EQ(PlanRestore(set, false).impact.Text(), "Restoring overwrites 1 value, deletes 1 value and deletes 1 key "
                                                   "(each is backed up first, so the restore can be undone).");

  // The user writes into the key the set made; the restore would delete it
  // with what the user wrote, and says so before (only when told to overwrite).
  key.Put("Made\\Mine", "u", REG_SZ, Bytes(std::string("u\0\0\0", 4)));
  key.Put("Made", "u2", REG_SZ, Bytes(std::string("u\0\0\0", 4)));
  const RestorePlan careful = PlanRestore(set, false);
  EXPECT_EQ(careful.checks[2].state, ItemState::Changed);
  const RestorePlan overwrite = PlanRestore(set, true);
  EXPECT_EQ(overwrite.impact.valuesDeleted, 3u);  // w, u2 and u
  EXPECT_EQ(overwrite.impact.keysDeleted, 2u);    // Made and Made\Mine
  EXPECT_EQ(overwrite.impact.valuesOverwritten, 1u);
  const RegTreeCopy filled = key.Dump();

  RestoreReport report = RestoreChangeSet(set, true);
  EXPECT_TRUE(report.AllRestored()) << report.Text();
  EXPECT_EQ(*win32::RegKey::Open(HKEY_CURRENT_USER, key.path)->ReadString("v"), "a");
  EXPECT_FALSE(win32::RegKey::Exists(HKEY_CURRENT_USER, key.path + "\\Made"));
  // What the restore deleted is in its own change set: undoing the restore
  // brings the user's values back.
  ASSERT_FALSE(report.backupId.empty());
  std::string error;
  const auto own = FindChangeSet(report.backupId, &error);
  ASSERT_TRUE(own) << error;
  EXPECT_EQ(own->manifest.page, "Backups");
  report = RestoreChangeSet(*own, false);
  EXPECT_TRUE(report.AllRestored()) << report.Text();
  EXPECT_EQ(key.Dump(), filled);
}

// Listing backups only reads: on a PC without a store, the listing, the
// scan's Backups text and a dry run of a restore make no folder (a store
// that is not there is "no backups"), and on one with a store nothing of it
// is given an owner or access list again, nor set aside.
TEST(UndoStore, ListingsNeitherMakeNorReSecureTheStore) {
  test::ScratchDir machine{"wlnostore"};
  std::vector<std::string> secured;
  std::vector<std::string> strangers;
  StoreFolderSystem seam;
  seam.isElevated = [] { return true; };
  const std::string base = Utf8FromPath(machine.Path());
  seam.machineDataFolder = [&] { return base; };
  seam.restrictToAdministrators = [&](HANDLE, const std::string& path) {
    secured.push_back(path);
    return 0u;
  };
  seam.ownedByAdministrators = [&](HANDLE, const std::string& path) {
    return std::find(strangers.begin(), strangers.end(), path) == strangers.end();
  };
  ScopedStoreFolderSystem scope(seam);
  const std::string store = base + "\\Wardenlake";
  auto listAll = [] {
    const auto sets = ListChangeSets();
    const PageText text = BackupsPageText(ReferenceTables{});
    const CommandOutput dry = RestoreCommand({"restore", "20990101-000000-000", "--dry-run"});
    EXPECT_EQ(dry.status, 2);
    EXPECT_NE(dry.err.find("There is no change set"), std::string::npos) << dry.err;
    return std::make_pair(sets.size(), text.rows.size());
  };
  EXPECT_EQ(listAll(), std::make_pair(std::size_t{0}, std::size_t{0}));
  EXPECT_FALSE(win32::DirectoryExists(store));
  EXPECT_TRUE(secured.empty());

  // A store made by a change is listed as it is, and not secured again.
  {
    ScopedBackupRecording recording;
    ChangeSet set("Test", "Made");
    ASSERT_TRUE(WriteRegString(HKEY_CURRENT_USER, "Software\\WardenlakeTest\\Listing" + std::to_string(GetCurrentProcessId()),
                               "v", "x"));
  }
  win32::RegWriteKey::DeleteTree(HKEY_CURRENT_USER,
                                 "Software\\WardenlakeTest\\Listing" + std::to_string(GetCurrentProcessId()));
  ASSERT_TRUE(win32::DirectoryExists(store + "\\Backups"));
  secured.clear();
  EXPECT_EQ(ListChangeSets().size(), 1u);
  EXPECT_EQ(BackupsPageText(ReferenceTables{}).rows.size(), 1u);
  EXPECT_TRUE(secured.empty());
  // One someone else made is neither read nor set aside by a listing.
  strangers = {store};
  EXPECT_TRUE(ListChangeSets().empty());
  EXPECT_NE(TakeStoreNotice().find("was not made by an administrator"), std::string::npos);
  EXPECT_TRUE(win32::DirectoryExists(store + "\\Backups"));
  std::size_t aside = 0;
  for (const auto& entry : std::filesystem::directory_iterator(machine.Path()))
    aside += entry.path().filename().wstring().find(L".untrusted-") != std::wstring::npos;
  EXPECT_EQ(aside, 0u);
  EXPECT_TRUE(secured.empty());
}

// Links made by the build (sysroutines/CMakeLists.txt): store-links/store is a
// program-data folder whose store holds 20990101-000000-000, a link to
// store-links/victim (a planted manifest and a file).
std::string StoreLinks() {
  const std::string bin = test::BinaryDir();
  return bin.substr(0, bin.find_last_of('\\')) + "\\store-links";
}

TEST(UndoStore, ASetFolderThatIsALinkOrNotTheAdministratorsIsNeverReadRestoredOrDeletedThrough) {
  const std::string links = StoreLinks(), planted = "20990101-000000-000";
  std::vector<std::string> strangers;
  StoreFolderSystem seam;
  seam.isElevated = [] { return true; };
  seam.machineDataFolder = [&] { return links + "\\store"; };
  seam.ownedByAdministrators = [&](HANDLE, const std::string& path) {
    return std::find(strangers.begin(), strangers.end(), path) == strangers.end();
  };
  {
    ScopedStoreFolderSystem scope(seam);
    const auto sets = ListChangeSets();
    ASSERT_EQ(sets.size(), 1u);
    EXPECT_EQ(sets[0].manifest.id, planted);
    EXPECT_NE(sets[0].error.find("link or junction"), std::string::npos) << sets[0].error;
    EXPECT_EQ(sets[0].manifest.page, "");  // its manifest was not read
    std::string error;
    EXPECT_FALSE(FindChangeSet(planted, &error));
    EXPECT_NE(error.find("cannot be used"), std::string::npos) << error;
    EXPECT_FALSE(DeleteChangeSet(planted, &error));
    EXPECT_NE(error.find("does not delete through it"), std::string::npos) << error;
    EXPECT_TRUE(win32::FileExists(links + "\\victim\\keep.txt"));
  }

  // A set folder someone else owns (made before the store was the
  // administrators', its manifest planted): listed, never read or restored;
  // it can be deleted.
  test::ScratchDir data{"wlundo-data"};
  seam.machineDataFolder = [&] { return data.File(""); };
  ScopedStoreFolderSystem scope(seam);
  ScopedBackupRecording recording;
  TestKey key("stranger");
  key.Put("", "v", REG_SZ, Bytes(std::string("v\0\0\0", 4)));
  ASSERT_TRUE(DeleteRegValue(HKEY_CURRENT_USER, key.path, "v"));
  auto sets = ListChangeSets();
  ASSERT_EQ(sets.size(), 1u);
  const std::string id = sets[0].manifest.id;
  EXPECT_EQ(sets[0].error, "");
  strangers.push_back(BackupStoreRoot() + "\\" + id);
  sets = ListChangeSets();
  EXPECT_NE(sets[0].error.find("not made by an administrator"), std::string::npos) << sets[0].error;
  std::string error;
  EXPECT_FALSE(FindChangeSet(id, &error));
  EXPECT_TRUE(DeleteChangeSet(id, &error)) << error;
  EXPECT_TRUE(ListChangeSets().empty());
}

TEST(UndoStore, ADamagedManifestIsListedWithItsReasonAndCannotBeRestored) {
  Store store;
  TestKey key("damaged");
  key.Put("", "v", REG_SZ, Bytes(std::string("v\0\0\0", 4)));
  ASSERT_TRUE(DeleteRegValue(HKEY_CURRENT_USER, key.path, "v"));
  const StoredChangeSet set = OnlySet();
  test::WriteBytes(set.folder + "\\manifest.json", "{\"format\":1,");
  const auto sets = ListChangeSets();
  ASSERT_EQ(sets.size(), 1u);
  EXPECT_NE(sets[0].error.find("damaged"), std::string::npos);
  std::string error;
  EXPECT_FALSE(FindChangeSet(set.manifest.id, &error));
  EXPECT_NE(error.find("cannot be used"), std::string::npos);
}

// Not a test: fills the real store of the prefix with two change sets, for
// screenshots and trying the console commands by hand
// (--gtest_also_run_disabled_tests --gtest_filter=UndoDemo.*).
TEST(UndoDemo, DISABLED_FillTheRealStore) {
  const std::string key = "Software\\WardenlakeDemo";
  ASSERT_TRUE(WriteRegString(HKEY_CURRENT_USER, key + "\\Updater", "ImagePath", "C:\\Demo\\updater.exe"));
  ASSERT_TRUE(CreateRegKey(HKEY_CURRENT_USER, key + "\\Updater\\Parameters"));
  ASSERT_TRUE(WriteRegString(HKEY_CURRENT_USER, key + "\\Run", "DemoTray", "C:\\Demo\\tray.exe /min"));
  ScopedBackupRecording recording;
  {
    ChangeSet set("Autorun List", "Remove");
    ASSERT_TRUE(DeleteRegValue(HKEY_CURRENT_USER, key + "\\Run", "DemoTray"));
  }
  Sleep(20);
  {
    ChangeSet set("System Service", "Remove");
    ASSERT_TRUE(DeleteRegTree(HKEY_CURRENT_USER, key + "\\Updater"));
    ASSERT_TRUE(WriteRegString(HKEY_CURRENT_USER, key + "\\Run", "DemoTray", "changed by the user"));
  }
}

TEST(UndoStore, ASetCutShortIsReadFromItsJournalAndAClosedSetHasItsManifest) {
  Store store;
  TestKey key("journal");
  key.Put("", "a", REG_SZ, Bytes(std::string("1\0", 2)));
  {
    ChangeSet set("Test", "Journal");
    ASSERT_TRUE(WriteRegString(HKEY_CURRENT_USER, key.path, "a", "2"));
    ASSERT_TRUE(WriteRegString(HKEY_CURRENT_USER, key.path, "b", "3"));
    // While the set is open (as if the program ended now) its items are read
    // from the journal.
    const StoredChangeSet open = OnlySet();
    ASSERT_EQ(open.manifest.items.size(), 2u);
    EXPECT_EQ(open.manifest.page, "Test");
    EXPECT_TRUE(win32::FileExists(open.folder + "\\journal.jsonl"));
  }
  const StoredChangeSet closed = OnlySet();
  ASSERT_EQ(closed.manifest.items.size(), 2u);
  EXPECT_FALSE(win32::FileExists(closed.folder + "\\journal.jsonl"));
  const auto manifest = ReadWholeFile(closed.folder + "\\manifest.json");
  ASSERT_TRUE(manifest);
  EXPECT_EQ(ManifestFromJson(*manifest)->items.size(), 2u);
  EXPECT_TRUE(win32::FileExists(closed.folder + "\\registry.reg"));
}

TEST(UndoStore, AnUninstallerKeepsItsEntryAndChangesThatChangeNothingAreNotRecorded) {
  Store store;
  const std::string name = "WlUndoUninst" + std::to_string(GetCurrentProcessId());
  const std::string path = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + name;
  ASSERT_TRUE(WriteRegString(HKEY_LOCAL_MACHINE, path, "DisplayName", "Undo App", REG_SZ, RegView::Force32));
  ASSERT_EQ(ListChangeSets().size(), 1u);  // no set open: the write got a set of its own
  ASSERT_TRUE(DeleteChangeSet(ListChangeSets()[0].manifest.id));
  const RegTreeCopy before = [&] {
    RegTreeCopy t;
    DumpRegTree(HKEY_LOCAL_MACHINE, path, RegView::Force32, t);
    return SortedTree(t);
  }();
  {
    ChangeSet set("Uninstall Software", "Uninstall");
    OutsideChanges known;
    known.keys.push_back("HKEY_LOCAL_MACHINE\\" + path);
    ASSERT_TRUE(BeforeUninstaller("C:\\App\\uninst.exe /S", RegView::Force32, known));
    // Nothing to change: not recorded.
    ASSERT_TRUE(CreateRegKey(HKEY_LOCAL_MACHINE, path, RegView::Force32));
    EXPECT_TRUE(DeleteRegValue(HKEY_LOCAL_MACHINE, path, "no such value", RegView::Force32).NotFound());
  }
  const StoredChangeSet set = OnlySet();
  ASSERT_EQ(set.manifest.items.size(), 2u);
  EXPECT_TRUE(set.manifest.items[0].Is<RegistryTreeChange>());
  EXPECT_TRUE(set.manifest.items[1].Is<ExternalStep>());
  EXPECT_EQ(RestorableText(set.manifest), "partly");
  // What the uninstaller did: its entry is gone; the restore brings it back.
  win32::RegWriteKey::DeleteTree(HKEY_LOCAL_MACHINE, path, RegView::Force32);
  const RestoreReport report = RestoreChangeSet(set, false);
  EXPECT_TRUE(report.items[0].restored) << report.Text();
  EXPECT_FALSE(report.items[1].restored);
  RegTreeCopy after;
  ASSERT_EQ(DumpRegTree(HKEY_LOCAL_MACHINE, path, RegView::Force32, after), ERROR_SUCCESS);
  EXPECT_EQ(SortedTree(after), before);
  win32::RegWriteKey::DeleteTree(HKEY_LOCAL_MACHINE, path, RegView::Force32);
}

}  // namespace
}  // namespace wl::undo
