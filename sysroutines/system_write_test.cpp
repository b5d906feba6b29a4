#include "sysroutines/system_write.h"

#include <gtest/gtest.h>
#include <filesystem>
#include <shellapi.h>

#include "sysroutines/shortcuts.h"
#include "sysroutines/store_folder.h"
#include "sysroutines/test_files.h"
#include "tests/support/test_support.h"
#include "win32/file_path.h"
#include "win32/registry.h"
#include "win32/registry_write.h"
#include "win32/unicode.h"

namespace wl {
namespace {

using test::LongScratch;
using test::PathExists;
using test::WriteFileAt;
using win32::RegKey;
using win32::RegWriteKey;
using win32::RegView;

// Per process: ctest runs the cases of this fixture in parallel processes.
const std::string kKey = "Software\\WardenlakeTest\\SystemWrite" + std::to_string(GetCurrentProcessId());
const std::string kClassesKey = "WardenlakeTest" + std::to_string(GetCurrentProcessId());
const std::string kUml = "Wert-\xC3\xA4\xE6\x97\xA5";  // a non-ASCII value name

// Removes the test keys before and after each test, in both views.
class SystemWriteTest : public ::testing::Test {
 protected:
  void SetUp() override { Clean(); }
  void TearDown() override { Clean(); }
  static void Clean() {
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
      for (RegView view : {RegView::Force64, RegView::Force32}) RegWriteKey::DeleteTree(root, kKey, view);
    RegWriteKey::DeleteTree(HKEY_CLASSES_ROOT, kClassesKey);
  }
  static std::optional<std::string> ReadValue(HKEY root, const std::string& path, const std::string& name,
                                              RegView view = RegView::Default) {
    auto key = RegKey::Open(root, path, KEY_READ, view);
    return key ? key->ReadString(name) : std::nullopt;
  }
};

TEST_F(SystemWriteTest, RegistryWritesAndDeletesReportWhatHappened) {
  ASSERT_TRUE(CreateRegKey(HKEY_CURRENT_USER, kKey + "\\Sub"));
  EXPECT_TRUE(RegKey::Exists(HKEY_CURRENT_USER, kKey + "\\Sub"));
  // Writes create a missing key; names and data survive non-ASCII.
  ASSERT_TRUE(WriteRegString(HKEY_CURRENT_USER, kKey + "\\New", kUml, "C:\\Pr\xC3\xB6gramme\\a.exe"));
  EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, kKey + "\\New", kUml), "C:\\Pr\xC3\xB6gramme\\a.exe");
  ASSERT_TRUE(WriteRegString(HKEY_CURRENT_USER, kKey, "exp", "%SystemRoot%\\x.exe", REG_EXPAND_SZ));
  EXPECT_EQ(RegKey::Open(HKEY_CURRENT_USER, kKey)->Read("exp")->type, static_cast<DWORD>(REG_EXPAND_SZ));
  ASSERT_TRUE(WriteRegDword(HKEY_CURRENT_USER, kKey, "dw", 0x400));
  EXPECT_EQ(RegKey::Open(HKEY_CURRENT_USER, kKey)->ReadDword("dw"), 0x400u);
  ASSERT_TRUE(WriteRegData(HKEY_CURRENT_USER, kKey, "bin", REG_BINARY, {1, 2, 3}));
  EXPECT_EQ(RegKey::Open(HKEY_CURRENT_USER, kKey)->Read("bin")->data, (std::vector<uint8_t>{1, 2, 3}));

  // A value deleted once is gone; the second time says it was not there.
  EXPECT_TRUE(DeleteRegValue(HKEY_CURRENT_USER, kKey + "\\New\\", kUml));
  EXPECT_FALSE(ReadValue(HKEY_CURRENT_USER, kKey + "\\New", kUml));
  const WriteResult again = DeleteRegValue(HKEY_CURRENT_USER, kKey + "\\New", kUml);
  EXPECT_FALSE(again);
  EXPECT_TRUE(again.NotFound());
  EXPECT_NE(again.message.find(kUml), std::string::npos);
  EXPECT_TRUE(DeleteRegValue(HKEY_CURRENT_USER, kKey + "\\Missing", "x").NotFound());

  // Empty parts of a key path do not matter.
  EXPECT_TRUE(DeleteRegTree(HKEY_CURRENT_USER, "\\" + kKey + "\\\\Sub\\"));
  EXPECT_FALSE(RegKey::Exists(HKEY_CURRENT_USER, kKey + "\\Sub"));
  EXPECT_TRUE(DeleteRegTree(HKEY_CURRENT_USER, kKey + "\\Sub").NotFound());
}

TEST_F(SystemWriteTest, TopLevelKeysAreNeverDeleted) {
  for (const char* path : {"", "\\", "Software", "\\Software\\", "Software\\\\"}) {
    const WriteResult r = DeleteRegTree(HKEY_CURRENT_USER, path);
    EXPECT_EQ(r.error, static_cast<uint32_t>(ERROR_INVALID_PARAMETER)) << path;
    EXPECT_FALSE(r.message.empty());
  }
  EXPECT_TRUE(RegKey::Exists(HKEY_CURRENT_USER, "Software\\Wine") || RegKey::Exists(HKEY_CURRENT_USER, "Software"));
  EXPECT_FALSE(CreateRegKey(HKEY_CURRENT_USER, "\\"));
}

TEST_F(SystemWriteTest, DeleteRegistryValuePathActsOnlyOnTheNamedValue) {
  ASSERT_TRUE(WriteRegString(HKEY_CURRENT_USER, kKey, kUml, "x"));
  ASSERT_TRUE(WriteRegString(HKEY_CURRENT_USER, kKey, "other", "y"));
  EXPECT_TRUE(DeleteRegistryValuePath("HKEY_CURRENT_USER\\" + kKey, kUml));
  EXPECT_FALSE(ReadValue(HKEY_CURRENT_USER, kKey, kUml));
  EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, kKey, "other"), "y");
  EXPECT_TRUE(DeleteRegistryValuePath("HKEY_CURRENT_USER\\" + kKey, kUml).NotFound());
  EXPECT_TRUE(DeleteRegistryValuePath("HKEY_CURRENT_USER\\" + kKey + "\\Nope", "other").NotFound());

  // The machine root, with a trailing backslash on the path.
  ASSERT_TRUE(WriteRegString(HKEY_LOCAL_MACHINE, kKey, "m", "z"));
  EXPECT_TRUE(DeleteRegistryValuePath("HKEY_LOCAL_MACHINE\\" + kKey + "\\", "m"));
  EXPECT_FALSE(ReadValue(HKEY_LOCAL_MACHINE, kKey, "m"));

  // The 32-bit view is a different key: deleting in the default view leaves
  // it, deleting in its own view removes it.
  ASSERT_TRUE(WriteRegString(HKEY_LOCAL_MACHINE, kKey, "v32", "z", REG_SZ, RegView::Force32));
  EXPECT_TRUE(DeleteRegistryValuePath("HKEY_LOCAL_MACHINE\\" + kKey, "v32", RegView::Force64).NotFound());
  EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, kKey, "v32", RegView::Force32), "z");
  EXPECT_TRUE(DeleteRegistryValuePath("HKEY_LOCAL_MACHINE\\" + kKey, "v32", RegView::Force32));
  EXPECT_FALSE(ReadValue(HKEY_LOCAL_MACHINE, kKey, "v32", RegView::Force32));

  // Nothing is deleted under any other root, not even where the user's root
  // holds the same key: "HKEY_CURRENT_CONFIG" shares its first letters with
  // "HKEY_CURRENT_USER".
  ASSERT_TRUE(WriteRegString(HKEY_CLASSES_ROOT, kClassesKey, "cr", "c"));
  ASSERT_EQ(ReadValue(HKEY_CLASSES_ROOT, kClassesKey, "cr"), "c");
  const WriteResult classes = DeleteRegistryValuePath("HKEY_CLASSES_ROOT\\" + kClassesKey, "cr");
  EXPECT_EQ(classes.error, static_cast<uint32_t>(ERROR_INVALID_PARAMETER));
  EXPECT_NE(classes.message.find("HKEY_CLASSES_ROOT"), std::string::npos);
  EXPECT_EQ(ReadValue(HKEY_CLASSES_ROOT, kClassesKey, "cr"), "c");
  EXPECT_FALSE(DeleteRegistryValuePath("HKEY_CURRENT_CONFIG\\" + kKey, "other"));
  EXPECT_FALSE(DeleteRegistryValuePath("HKEY_CURRENT_USERS\\" + kKey, "other"));
  EXPECT_FALSE(DeleteRegistryValuePath("HKCU\\" + kKey, "other"));
  EXPECT_FALSE(DeleteRegistryValuePath("", "other"));
  EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, kKey, "other"), "y");
}

TEST_F(SystemWriteTest, AnInterceptedWriteLeavesTheSystemAlone) {
  LongScratch dir;
  const std::string file = dir.Path() + "\\keep.exe";
  WriteFileAt(file, "MZ");
  ASSERT_TRUE(WriteRegString(HKEY_CURRENT_USER, kKey, kUml, "x"));

  std::vector<WriteRequest> seen;
  {
    ScopedWriteInterceptor deny([&](const WriteRequest& r) {
      seen.push_back(r);
      return static_cast<uint32_t>(ERROR_ACCESS_DENIED);
    });
    const WriteResult value = DeleteRegistryValuePath("HKEY_CURRENT_USER\\" + kKey, kUml);
    EXPECT_EQ(value.error, static_cast<uint32_t>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(value.NotFound());
    EXPECT_NE(value.message.find(kUml), std::string::npos);
    EXPECT_NE(value.message.find("HKEY_CURRENT_USER\\" + kKey), std::string::npos);
    EXPECT_FALSE(DeleteRegTree(HKEY_CURRENT_USER, kKey));
    EXPECT_FALSE(WriteRegDword(HKEY_CURRENT_USER, kKey, "dw", 1));
    EXPECT_FALSE(CreateRegKey(HKEY_CURRENT_USER, kKey + "\\Sub"));
    EXPECT_FALSE(WriteIniValue(dir.Path() + "\\a.ini", "s", "k", "v"));
    const WriteResult recycled = RecycleFile(file);
    EXPECT_EQ(recycled.error, static_cast<uint32_t>(ERROR_ACCESS_DENIED));
    EXPECT_NE(recycled.message.find(file), std::string::npos);
    EXPECT_FALSE(DeleteFileNow(file));
  }
  ASSERT_EQ(seen.size(), 7u);
  EXPECT_EQ(seen[0].kind, WriteKind::DeleteRegValue);
  EXPECT_EQ(seen[0].target, "HKEY_CURRENT_USER\\" + kKey);
  EXPECT_EQ(seen[0].name, kUml);
  EXPECT_EQ(seen[4].kind, WriteKind::WriteIniValue);
  EXPECT_EQ(seen[4].name, "s\\k");
  EXPECT_EQ(seen[5].kind, WriteKind::RecycleFile);
  EXPECT_EQ(seen[6].kind, WriteKind::DeleteFile);
  EXPECT_EQ(seen[6].target, file);

  // Nothing changed; with the interceptor gone the writes go through.
  EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, kKey, kUml), "x");
  EXPECT_FALSE(RegKey::Exists(HKEY_CURRENT_USER, kKey + "\\Sub"));
  EXPECT_FALSE(PathExists(dir.Path() + "\\a.ini"));
  EXPECT_TRUE(PathExists(file));
  EXPECT_TRUE(DeleteRegistryValuePath("HKEY_CURRENT_USER\\" + kKey, kUml));
  EXPECT_TRUE(DeleteFileNow(file));
  EXPECT_FALSE(PathExists(file));
}

bool HasRecycleBin(const std::string& path) {
  SHQUERYRBINFO info{};
  info.cbSize = sizeof info;
  return SUCCEEDED(SHQueryRecycleBinW(win32::Widen(path).c_str(), &info));
}

TEST_F(SystemWriteTest, FileRemovalActsOnExactlyTheOneFile) {
  LongScratch dir;
  // The test scripts give Wine a Recycle Bin; without one the file must stay.
  if (!HasRecycleBin(dir.Path())) {
    const std::string kept = dir.Path() + "\\kept.exe";
    WriteFileAt(kept, "MZ");
    EXPECT_EQ(RecycleFile(kept).error, static_cast<uint32_t>(ERROR_NOT_SUPPORTED));
    EXPECT_TRUE(PathExists(kept));
    GTEST_SKIP() << "no Recycle Bin: start Wine through scripts/wine-env.sh";
  }
  const std::string file = dir.Path() + "\\Pr\xC3\xB6gramm \xE6\x97\xA5.exe";
  WriteFileAt(file, "MZ");
  const WriteResult recycled = RecycleFile(file);
  EXPECT_TRUE(recycled) << recycled.message;
  EXPECT_FALSE(PathExists(file));
  EXPECT_TRUE(RecycleFile(file).NotFound());
  EXPECT_TRUE(DeleteFileNow(file).NotFound());

  // A folder, a wildcard, a relative or empty name: refused, nothing gone.
  const std::string folder = dir.Folder("Ordner");
  WriteFileAt(folder + "\\inside.exe", "MZ");
  for (const std::string& bad : {folder, folder + "\\", folder + "\\*", folder + "\\*.exe", folder + "\\inside.ex?",
                                 std::string("inside.exe"), std::string(""), std::string("   ")}) {
    const WriteResult recycled = RecycleFile(bad);
    EXPECT_FALSE(recycled) << bad;
    EXPECT_FALSE(recycled.message.empty()) << bad;
    EXPECT_FALSE(DeleteFileNow(bad)) << bad;
  }
  EXPECT_TRUE(PathExists(folder + "\\inside.exe"));

  // Paths longer than MAX_PATH: the file named goes, nothing else.
  const std::string deep = dir.DeepFolder(300);
  const std::string longFile = deep + "\\lang-\xC3\xA4.exe";
  const std::string neighbour = deep + "\\neighbour.exe";
  WriteFileAt(longFile, "MZ");
  WriteFileAt(neighbour, "MZ");
  ASSERT_GT(longFile.size(), 300u);
  const WriteResult recycledLong = RecycleFile(longFile);
  EXPECT_TRUE(recycledLong) << recycledLong.message;
  EXPECT_FALSE(PathExists(longFile));
  EXPECT_TRUE(PathExists(neighbour));
  EXPECT_TRUE(DeleteFileNow(neighbour));
  EXPECT_FALSE(PathExists(neighbour));
  EXPECT_TRUE(PathExists(deep));
}

TEST_F(SystemWriteTest, IniEntriesAreWrittenAndDeleted) {
  LongScratch dir;
  const std::string ini = dir.Path() + "\\Syst\xC3\xA9m.ini";
  const auto read = [&](const wchar_t* key) {
    wchar_t buf[256] = L"";
    GetPrivateProfileStringW(L"boot", key, L"<none>", buf, 256, win32::Widen(ini).c_str());
    return win32::Narrow(buf);
  };
  ASSERT_TRUE(WriteIniValue(ini, "boot", "shell", "Explorer.exe \xC3\xA4"));
  ASSERT_TRUE(WriteIniValue(ini, "boot", "other", "keep"));
  EXPECT_EQ(read(L"shell"), "Explorer.exe \xC3\xA4");
  EXPECT_TRUE(DeleteIniValue(ini, "boot", "shell"));
  EXPECT_EQ(read(L"shell"), "<none>");
  // An empty key would drop the whole section: refused.
  EXPECT_FALSE(DeleteIniValue(ini, "boot", ""));
  EXPECT_FALSE(WriteIniValue("System.ini", "boot", "x", "y"));
  EXPECT_EQ(read(L"other"), "keep");
}

// Links made by the build (sysroutines/CMakeLists.txt): store-links/place/linked
// leads to store-links/place/target.
std::string PlaceLinks() {
  const std::string bin = test::BinaryDir();
  return bin.substr(0, bin.find_last_of('\\')) + "\\store-links\\place";
}

TEST_F(SystemWriteTest, PlaceFileMakesTheFileAnewAndRefusesALinkOnTheWayWithAdministrativeRights) {
  LongScratch scratch;
  const std::string prepared = scratch.Folder("store") + "\\prepared.tmp";
  WriteFileAt(prepared, "the bytes put back");
  FileStamp stamp;
  stamp.written = {0x12345678u, 0x01D00000u};
  stamp.accessed = stamp.written;
  stamp.attributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE;
  const std::string target = scratch.Folder("home") + "\\made\\below\\Back.txt";
  ASSERT_TRUE(PlaceFile(prepared, target, stamp));
  EXPECT_EQ(test::ReadBytes(target), "the bytes put back");
  EXPECT_FALSE(PathExists(prepared));
  WIN32_FILE_ATTRIBUTE_DATA data{};
  ASSERT_TRUE(GetFileAttributesExW(win32::ApiPath(target).c_str(), GetFileExInfoStandard, &data));
  EXPECT_EQ(data.dwFileAttributes, static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_EQ(CompareFileTime(&data.ftLastWriteTime, &stamp.written), 0);
  SetFileAttributesW(win32::ApiPath(target).c_str(), FILE_ATTRIBUTE_NORMAL);

  // Something of that name there already: nothing is changed.
  WriteFileAt(prepared, "second");
  const WriteResult there = PlaceFile(prepared, target, stamp);
  EXPECT_EQ(there.error, static_cast<uint32_t>(ERROR_FILE_EXISTS));
  EXPECT_EQ(test::ReadBytes(target), "the bytes put back");
  EXPECT_TRUE(PathExists(prepared));

  // A link on the way is refused with administrative rights (a user may
  // have planted it between the backup and the restore), and nothing is
  // made behind it; without them the file goes where the user's link leads.
  const std::string links = PlaceLinks();
  ASSERT_TRUE(win32::DirectoryExists(links + "\\target")) << links;
  const std::string behind = links + "\\linked\\wl-" + std::to_string(GetCurrentProcessId()) + ".txt";
  {
    StoreFolderSystem elevated;
    elevated.isElevated = [] { return true; };
    ScopedStoreFolderSystem scope(elevated);
    const WriteResult refused = PlaceFile(prepared, behind, stamp);
    EXPECT_EQ(refused.error, kErrorLinkRefused) << refused.message;
    EXPECT_NE(refused.message.find("link or junction"), std::string::npos) << refused.message;
    EXPECT_FALSE(PathExists(links + "\\target\\wl-" + std::to_string(GetCurrentProcessId()) + ".txt"));
    EXPECT_TRUE(PathExists(prepared));
  }
  StoreFolderSystem standard;
  standard.isElevated = [] { return false; };
  ScopedStoreFolderSystem scope(standard);
  EXPECT_TRUE(PlaceFile(prepared, behind, stamp));
  const std::string landed = links + "\\target\\wl-" + std::to_string(GetCurrentProcessId()) + ".txt";
  EXPECT_EQ(test::ReadBytes(landed), "second");
  SetFileAttributesW(win32::ApiPath(landed).c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileW(win32::ApiPath(landed).c_str());
}

TEST_F(SystemWriteTest, ShortcutArgumentsAreChangedInPlace) {
  LongScratch dir;
  const std::string target = dir.Path() + "\\br\xC3\xB6wser.exe";
  test::WriteFileAt(target, "MZ");
  const std::string lnk = dir.Path() + "\\Br\xC3\xB6wser.lnk";
  test::SaveShortcut(lnk, target, "--profile-directory=Default http://start.example/");
  ASSERT_TRUE(WriteShortcutArguments(lnk, "--profile-directory=Default \xC3\xA4"));
  const ShortcutTarget after = ResolveShortcut(lnk);
  EXPECT_EQ(after.arguments, "--profile-directory=Default \xC3\xA4");
  EXPECT_EQ(after.target, target);
  // Not a shortcut, a folder, a missing file: refused, nothing written.
  EXPECT_FALSE(WriteShortcutArguments(target, ""));
  EXPECT_EQ(test::ReadBytes(target), "MZ");
  EXPECT_FALSE(WriteShortcutArguments(dir.Path(), ""));
  EXPECT_TRUE(WriteShortcutArguments(dir.Path() + "\\gone.lnk", "").NotFound());
}

}  // namespace
}  // namespace wl

namespace wl {
namespace {

// Links made by the build (sysroutines/CMakeLists.txt): write-links/user/
// Startup leads to write-links/protected, write-links/user/program.exe to
// write-links/protected/program.exe.
std::string WriteLinks() {
  const std::string bin = test::BinaryDir();
  return bin.substr(0, bin.find_last_of('\\')) + "\\write-links";
}

class LinkedWrites : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(win32::DirectoryExists(protected_)) << protected_;
    elevated_.isElevated = [] { return true; };
    for (const std::string& name : {shortcut_, settings_, program_, ini_})
      test::WriteFileAt(protected_ + "\\" + name, "protected " + name);
  }
  void TearDown() override {
    for (const std::string& name : {shortcut_, settings_, program_, ini_})
      DeleteFileW(win32::ApiPath(protected_ + "\\" + name).c_str());
  }
  std::string Kept(const std::string& name) { return test::ReadBytes(protected_ + "\\" + name); }

  const std::string links_ = WriteLinks(), protected_ = links_ + "\\protected", startup_ = links_ + "\\user\\Startup";
  const std::string pid_ = std::to_string(GetCurrentProcessId());
  const std::string shortcut_ = "victim" + pid_ + ".lnk", settings_ = "settings" + pid_ + ".json",
                    program_ = "tool" + pid_ + ".exe", ini_ = "entries" + pid_ + ".ini";
  StoreFolderSystem elevated_;
};

// A standard user who swaps a folder of his for a link after the scan must
// not have the administrator's rights act on the file of that name the link
// leads to: each file change refuses the link, names it, and changes nothing.
TEST_F(LinkedWrites, EveryFileChangeRefusesALinkOnTheWayAndNamesIt) {
  ScopedStoreFolderSystem scope(elevated_);
  auto refused = [&](const WriteResult& r, const std::string& what) {
    EXPECT_EQ(r.error, kErrorLinkRefused) << what << ": " << r.message;
    EXPECT_NE(r.message.find("link or junction"), std::string::npos) << r.message;
    EXPECT_NE(r.message.find(startup_), std::string::npos) << r.message;
  };
  refused(DeleteFileNow(startup_ + "\\" + shortcut_), "delete");
  refused(RecycleFile(startup_ + "\\" + program_), "recycle");
  refused(RewriteFile(startup_ + "\\" + settings_, "{\"startOnUserLogin\": false}"), "rewrite");
  refused(WriteIniValue(startup_ + "\\" + ini_, "boot", "shell", "Explorer.exe"), "INI write");
  refused(DeleteIniValue(startup_ + "\\" + ini_, "boot", "shell"), "INI delete");
  for (const std::string& name : {shortcut_, settings_, program_, ini_})
    EXPECT_EQ(Kept(name), "protected " + name) << name;

  // A file that is itself a link to another is refused too (its backup
  // would keep the other file's bytes).
  const WriteResult direct = DeleteFileNow(links_ + "\\user\\program.exe");
  EXPECT_EQ(direct.error, kErrorLinkRefused) << direct.message;
  EXPECT_EQ(test::ReadBytes(protected_ + "\\program.exe"), "MZ protected");

  // The same file by its own path is changed as ever.
  EXPECT_TRUE(DeleteFileNow(protected_ + "\\" + shortcut_));
  EXPECT_FALSE(test::PathExists(protected_ + "\\" + shortcut_));
}

}  // namespace
}  // namespace wl

namespace wl {
namespace {

// A restore's placement: between the check of the way and the write,
// someone tries to rename the folder the restore holds and put in its place
// one whose "missing" is a link into write-links/protected (the build's
// write-links/race/kit). The held folder cannot be renamed, so the file goes
// where it was meant; were the way swapped all the same, the restore would
// make nothing through the link and say so.
TEST_F(LinkedWrites, APlacementIsMadeInsideTheHeldFolderWhichCannotBeSwappedMeanwhile) {
  ScopedStoreFolderSystem scope(elevated_);
  const std::string race = links_ + "\\race", kit = race + "\\kit";
  const std::string held = race + "\\held" + pid_, aside = held + "-aside";
  ASSERT_TRUE(win32::DirectoryExists(kit + "\\missing")) << kit;
  ASSERT_TRUE(CreateDirectoryW(win32::ApiPath(held).c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
  LongScratch scratch;
  const std::string prepared = scratch.Folder("store") + "\\prepared.tmp";
  WriteFileAt(prepared, "put back");
  bool swapped = false, renameRefused = false;
  {
    ScopedWriteInterceptor swap([&](const WriteRequest& r) -> uint32_t {
      if (r.kind == WriteKind::CreateFolder && !swapped && !renameRefused) {
        renameRefused = !MoveFileW(win32::ApiPath(held).c_str(), win32::ApiPath(aside).c_str());
        swapped = !renameRefused && MoveFileW(win32::ApiPath(kit).c_str(), win32::ApiPath(held).c_str());
      }
      return 0;
    });
    const WriteResult r = PlaceFile(prepared, held + "\\missing\\sub\\" + program_, {});
    if (swapped) {
      EXPECT_EQ(r.error, kErrorLinkRefused) << r.message;
      EXPECT_NE(r.message.find("link or junction"), std::string::npos) << r.message;
    } else {
      EXPECT_TRUE(r) << r.message;
      EXPECT_EQ(test::ReadBytes(held + "\\missing\\sub\\" + program_), "put back");
    }
  }
  EXPECT_TRUE(renameRefused);  // held: no rename while the restore works in it
  if (swapped) {
    MoveFileW(win32::ApiPath(held).c_str(), win32::ApiPath(kit).c_str());
    MoveFileW(win32::ApiPath(aside).c_str(), win32::ApiPath(held).c_str());
  }
  EXPECT_FALSE(test::PathExists(protected_ + "\\sub"));  // nothing was made behind the link
  EXPECT_EQ(Kept(program_), "protected " + program_);
  std::filesystem::remove_all(std::filesystem::path(win32::Widen(held)));
  EXPECT_TRUE(win32::DirectoryExists(kit + "\\missing"));
}

}  // namespace
}  // namespace wl
