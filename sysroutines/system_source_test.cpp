// The system source under Wine: this PC read live against the same keys
// read from a hive, a user who is not logged on read from the hive files of
// the profile without locking them, and an offline system made of the real
// hives of the tests in a folder and behind a second drive letter.
#include "sysroutines/system_source.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "core/hive.h"
#include "core/testing/hive_tree.h"
#include "core/utf8_path.h"
#include "tests/support/test_support.h"
#include "win32/file_path.h"
#include "win32/handles.h"
#include "win32/registry.h"
#include "win32/registry_write.h"
#include "win32/unicode.h"

namespace wl {
namespace {

namespace fs = std::filesystem;
using hive::testing::BuildHive;
using hive::testing::DwordBytes;
using hive::testing::Sz;
using hive::testing::TreeKey;
using win32::RegKey;
using win32::RegView;
using win32::RegWriteKey;

constexpr const char* kRun = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// The hive files of the tests, where Wine sees the build tree.
std::string HiveData(const std::string& name) {
  std::string path = std::string("Z:") + WL_HIVE_DATA_DIR + "/" + name;
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

void Put(const fs::path& file, const std::string& bytes) {
  fs::create_directories(file.parent_path());
  test::WriteBytes(Utf8FromPath(file), bytes);
}

std::string Pid() { return std::to_string(GetCurrentProcessId()); }

bool HasProblem(const SystemSource& source, const std::string& part) {
  for (const std::string& p : source.Problems())
    if (p.find(part) != std::string::npos) return true;
  return false;
}

// A live key as a tree for a hive: names, types and bytes as the registry holds them.
TreeKey Exported(const RegKey& key, const std::string& name, RegView view, HKEY root, const std::string& path) {
  TreeKey tree;
  tree.name = name;
  for (const win32::RegValue& v : key.Values())
    tree.values.push_back({v.name, v.type, std::string(v.data.begin(), v.data.end())});
  for (const std::string& sub : key.SubKeyNames()) {
    const auto child = RegKey::Open(root, path + "\\" + sub, KEY_READ, view);
    if (child) tree.subkeys.push_back(Exported(*child, sub, view, root, path + "\\" + sub));
  }
  return tree;
}

// The same key read through two sources: the same sub-keys, the same values
// with the same texts (and those of the live registry's own text rules).
void ExpectSameKey(const SourceKey& live, const SourceKey& offline, const RegKey& raw) {
  auto liveNames = live.SubKeyNames(), offlineNames = offline.SubKeyNames();
  std::sort(liveNames.begin(), liveNames.end());
  std::sort(offlineNames.begin(), offlineNames.end());
  EXPECT_EQ(liveNames, offlineNames) << live.Path();
  auto byName = [](const SourceValue& a, const SourceValue& b) { return a.name < b.name; };
  auto liveValues = live.Values(), offlineValues = offline.Values();
  std::sort(liveValues.begin(), liveValues.end(), byName);
  std::sort(offlineValues.begin(), offlineValues.end(), byName);
  ASSERT_EQ(liveValues.size(), offlineValues.size()) << live.Path();
  for (std::size_t i = 0; i < liveValues.size(); ++i) {
    const SourceValue& a = liveValues[i];
    const SourceValue& b = offlineValues[i];
    EXPECT_EQ(a.name, b.name);
    EXPECT_EQ(a.type, b.type) << a.name;
    EXPECT_EQ(a.data, b.data) << a.name;
    EXPECT_EQ(SourceValueText(a), SourceValueText(b)) << a.name;
    EXPECT_EQ(SourceValueText(a), win32::RegValueText(*raw.Read(a.name))) << a.name;
    EXPECT_EQ(live.ReadString(a.name), offline.ReadString(a.name)) << a.name;
    EXPECT_EQ(live.ReadString(a.name), win32::RegValueString(*raw.Read(a.name))) << a.name;
    EXPECT_EQ(live.ReadDword(a.name), offline.ReadDword(a.name)) << a.name;
    EXPECT_EQ(live.ReadDword(a.name), raw.ReadDword(a.name)) << a.name;
    if (a.type == REG_MULTI_SZ)
      EXPECT_EQ(SourceMultiStringParts(a), win32::RegMultiStringParts(*raw.Read(a.name))) << a.name;
  }
  for (const std::string& name : liveNames) {
    const auto a = live.Open(name);
    const auto b = offline.Open(name);
    ASSERT_TRUE(a && b) << live.Path() << "\\" << name;
    ExpectSameKey(*a, *b, *RegKey::Open(HKEY_LOCAL_MACHINE, a->SubPath(), KEY_READ, win32::RegView::Force64));
  }
}

TEST(SystemSourceLiveAndOffline, APlantedKeyReadsTheSameLiveAndFromAHiveOfIt) {
  // Wine's RegSaveKey writes its own text format, not a hive: the hive is
  // made here from what the registry holds.
  const std::string probe = "WlSourceProbe-" + Pid();
  const std::string path = "SOFTWARE\\" + probe;
  struct Cleanup {
    std::string path;
    ~Cleanup() {
      RegWriteKey::DeleteTree(HKEY_LOCAL_MACHINE, path, RegView::Force64);
      RegWriteKey::DeleteTree(HKEY_LOCAL_MACHINE, path, RegView::Force32);
    }
  } cleanup{path};
  {
    auto key = RegWriteKey::Create(HKEY_LOCAL_MACHINE, path, KEY_READ | KEY_WRITE, RegView::Force64);
    ASSERT_TRUE(key);
    key->WriteString("", "default text");
    key->WriteString("plain", "C:\\Program Files\\App\\app.exe /run");
    key->WriteString("expand", "%SystemRoot%\\System32\\x.dll", REG_EXPAND_SZ);
    key->WriteRaw("multi", REG_MULTI_SZ, {'a', 0, 0, 0, 0, 0, 'b', 0, 0, 0, 0, 0});
    key->WriteDword("dword", 42);
    key->WriteRaw("short dword", REG_DWORD, {1, 2, 3});
    key->WriteRaw("qword", REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 1});
    key->WriteRaw("binary4", REG_BINARY, {7, 0, 0, 0});
    std::vector<uint8_t> big(20000);
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 7);
    key->WriteRaw("big", REG_BINARY, big);
    key->WriteRaw("none", REG_NONE, {});
    key->WriteRaw("odd", REG_SZ, {'a', 0, 'b'});
    key->WriteRaw("unterminated", REG_SZ, {'x', 0, 'y', 0});
    key->WriteString(
        "\xC3\x9Cn\xC3\xAF"
        "code \xE2\x9C\x93",
        "Wert \xE2\x9C\x93");
    RegWriteKey::Create(HKEY_LOCAL_MACHINE, path + "\\Sub A", KEY_WRITE, RegView::Force64)->WriteString("x", "1");
    RegWriteKey::Create(HKEY_LOCAL_MACHINE, path + "\\sub b\\deeper", KEY_WRITE, RegView::Force64)->WriteDword("y", 2);
    RegWriteKey::Create(HKEY_LOCAL_MACHINE, path, KEY_WRITE, RegView::Force32)->WriteString("view", "32-bit");
  }
  TreeKey software;
  software.name = "SOFTWARE";
  software.subkeys.push_back(Exported(*RegKey::Open(HKEY_LOCAL_MACHINE, path, KEY_READ, RegView::Force64), probe,
                                      RegView::Force64, HKEY_LOCAL_MACHINE, path));
  software.At("WOW6432Node")
      .subkeys.push_back(Exported(*RegKey::Open(HKEY_LOCAL_MACHINE, path, KEY_READ, RegView::Force32), probe,
                                  RegView::Force32, HKEY_LOCAL_MACHINE, path));
  test::ScratchDir dir("wl-source");
  Put(dir.Path() / "Windows/System32/config/SOFTWARE", BuildHive(software));

  const SystemSource live = LiveSystemSource();
  const SystemSource offline = OfflineSystemSource(Utf8FromPath(dir.Path()));
  EXPECT_TRUE(live.IsLive());
  EXPECT_FALSE(offline.IsLive());
  EXPECT_TRUE(HasProblem(offline, "SYSTEM"));  // said once; the rest is read
  const auto liveKey = live.Open(SourceRoot::LocalMachine, path, SourceView::Force64);
  const auto offlineKey = offline.Open(SourceRoot::LocalMachine, path, SourceView::Force64);
  ASSERT_TRUE(liveKey && offlineKey);
  EXPECT_EQ(liveKey->Path(), offlineKey->Path());
  ExpectSameKey(*liveKey, *offlineKey, *RegKey::Open(HKEY_LOCAL_MACHINE, path, KEY_READ, RegView::Force64));
  const auto live32 = live.Open(SourceRoot::LocalMachine, path, SourceView::Force32);
  const auto offline32 = offline.Open(SourceRoot::LocalMachine, path, SourceView::Force32);
  ASSERT_TRUE(live32 && offline32);
  EXPECT_EQ(live32->ReadString("view"), "32-bit");
  EXPECT_EQ(offline32->ReadString("view"), "32-bit");
  EXPECT_FALSE(offlineKey->HasValue("view"));

  // The live key's last write is the registry's, just now.
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  const uint64_t nowTime =
      static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::seconds>(now).count()) * 10000000ull +
      116444736000000000ull;
  EXPECT_GT(liveKey->LastWriteTime(), nowTime - 600ull * 10000000ull);
  EXPECT_LT(liveKey->LastWriteTime(), nowTime + 60ull * 10000000ull);
  EXPECT_EQ(offlineKey->LastWriteTime(), TreeKey{}.time);
}

// A user with a profile whose hive is not loaded: planted in the profile
// list, with the real NTUSER.DAT of the tests in its folder.
class LoggedOffUser : public ::testing::Test {
 protected:
  void SetUp() override {
    sid_ = "S-1-5-21-4242-4242-4242-" + std::to_string(2000 + GetCurrentProcessId() % 50000);
    profile_ = Utf8FromPath(dir_.Path() / "wluser");
    fs::create_directories(dir_.Path() / "wluser");
    test::WriteBytes(profile_ + "\\NTUSER.DAT", test::ReadBytes(HiveData("NTUSER.DAT")));
    ASSERT_TRUE(RegWriteKey::Create(HKEY_LOCAL_MACHINE, ListEntry(), KEY_WRITE)
                    ->WriteString("ProfileImagePath", profile_, REG_EXPAND_SZ) == ERROR_SUCCESS);
  }
  void TearDown() override { RegWriteKey::DeleteTree(HKEY_LOCAL_MACHINE, ListEntry()); }
  std::string ListEntry() const { return "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\" + sid_; }
  std::optional<SystemUser> Find(const SystemSource& source) const {
    for (const SystemUser& u : source.Users())
      if (u.sid == sid_) return u;
    return std::nullopt;
  }

  test::ScratchDir dir_{"wl-profile"};
  std::string sid_;
  std::string profile_;
};

TEST_F(LoggedOffUser, ItsRunValueIsReadFromItsHiveWithItsUser) {
  const SystemSource source = LiveSystemSource();
  const auto user = Find(source);
  ASSERT_TRUE(user);
  EXPECT_FALSE(user->loggedOn);
  EXPECT_FALSE(user->current);
  EXPECT_EQ(user->name, "wluser");  // no account of that SID: its folder's name
  EXPECT_EQ(user->hiveFile, profile_ + "\\NTUSER.DAT");
  // The user this program runs as is there too, logged on.
  ASSERT_TRUE(source.User());
  EXPECT_TRUE(source.User()->current);
  const auto users = source.Users();
  EXPECT_TRUE(std::any_of(users.begin(), users.end(), [](const SystemUser& u) { return u.current && u.loggedOn; }));

  const SystemSource asUser = source.ForUser(*user);
  const auto run = asUser.Open(SourceRoot::CurrentUser, kRun);
  ASSERT_TRUE(run);
  EXPECT_EQ(run->Path(), "HKEY_USERS\\" + sid_ + "\\" + kRun);
  ASSERT_TRUE(run->User());
  EXPECT_EQ(run->User()->sid, sid_);
  EXPECT_EQ(run->ReadString("Sidebar"), "%ProgramFiles%\\Windows Sidebar\\Sidebar.exe /autoRun");
  EXPECT_NE(run->LastWriteText(), "");
  EXPECT_TRUE(source.Open(SourceRoot::Users, sid_ + "\\" + kRun));
  // The current user's own keys are still HKEY_CURRENT_USER's.
  EXPECT_EQ(source.Open(SourceRoot::CurrentUser, "Software")->Path(), "HKEY_CURRENT_USER\\Software");
  // That user's environment: its profile, its own TEMP from its hive.
  EXPECT_EQ(asUser.Expand("%USERPROFILE%|%APPDATA%|%TEMP%"),
            profile_ + "|" + profile_ + "\\AppData\\Roaming|" + profile_ + "\\AppData\\Local\\Temp");
}

TEST_F(LoggedOffUser, ItsHiveIsReadWithoutLockingItAndAHiveWindowsHoldsIsSaidSo) {
  const std::wstring hiveFile = win32::ApiPath(profile_ + "\\NTUSER.DAT");
  {
    // A program writing the file meanwhile does not stop the read.
    win32::UniqueHfile writer(CreateFileW(hiveFile.c_str(), GENERIC_READ | GENERIC_WRITE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(writer);
    const SystemSource source = LiveSystemSource();
    const auto user = Find(source);
    ASSERT_TRUE(user);
    EXPECT_TRUE(source.ForUser(*user).Open(SourceRoot::CurrentUser, kRun));
  }
  // Nothing is held once read: the file opens without sharing.
  win32::UniqueHfile exclusive(
      CreateFileW(hiveFile.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(exclusive);
  // Held as Windows holds a loaded hive: not read, and said so.
  const SystemSource source = LiveSystemSource();
  const auto user = Find(source);
  ASSERT_TRUE(user);
  EXPECT_FALSE(source.ForUser(*user).Open(SourceRoot::CurrentUser, kRun));
  EXPECT_TRUE(HasProblem(source, "NTUSER.DAT of wluser")) << source.Problems().size();
  EXPECT_TRUE(HasProblem(source, "Windows holds it open"));
}

// A collected set of the real hives: SYSTEM and a user's NTUSER.DAT, with a
// driver's file planted where the system would have it.
class OfflineRealHives : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = dir_.Path() / "pc17";
    Put(root_ / "Windows/System32/config/SYSTEM", test::ReadBytes(HiveData("SYSTEM")));
    Put(root_ / "Users/vibranium/NTUSER.DAT", test::ReadBytes(HiveData("NTUSER.DAT")));
    Put(root_ / "Windows/System32/drivers/tcpip.sys", "MZ planted driver");
  }
  void Check(const std::string& root) {
    SCOPED_TRACE(root);
    const SystemSource source = OfflineSystemSource(root);
    std::string problems;
    for (const std::string& p : source.Problems()) problems += p + "\n";
    EXPECT_TRUE(HasProblem(source, "SOFTWARE")) << problems;
    std::string error;
    const auto hive = hive::OpenHiveFile(HiveData("SYSTEM"), {}, error);
    ASSERT_TRUE(hive) << error;
    char controlSet[32];
    std::snprintf(controlSet, sizeof controlSet, "ControlSet%03u", *hive->Find("Select")->GetValue("Current")->Dword());
    std::vector<std::string> expected;
    for (const hive::Key& k : hive->Find(std::string(controlSet) + "\\Services")->Subkeys())
      expected.push_back(k.Name());
    const auto services = source.Open(SourceRoot::LocalMachine, "SYSTEM\\CurrentControlSet\\Services");
    ASSERT_TRUE(services);
    EXPECT_EQ(services->SubKeyNames(), expected);
    // A driver and its file, where the system has its files now.
    const auto tcpip = services->Open("Tcpip");
    ASSERT_TRUE(tcpip);
    EXPECT_EQ(tcpip->ReadDword("Type"), 1u);
    const std::string driver = source.Folders().windows + "\\" + *tcpip->ReadString("ImagePath");
    EXPECT_EQ(driver, "C:\\Windows\\System32\\drivers\\tcpip.sys");
    const FileInfo file = source.StatFile(driver);
    EXPECT_TRUE(file.exists);
    EXPECT_EQ(file.size, 17u);
    EXPECT_GT(file.creationTime, 0u);
    EXPECT_GT(file.lastWriteTime, 0u);
    EXPECT_TRUE(PathIsWithin(file.nowPath, root)) << file.nowPath;
    EXPECT_EQ(source.SystemPathOf(file.nowPath), "C:\\Windows\\System32\\drivers\\tcpip.sys");
    // A Run value of the user's hive, with its user.
    const auto users = source.Users();
    ASSERT_EQ(users.size(), 1u);
    const auto run = source.ForUser(users[0]).Open(SourceRoot::CurrentUser, kRun);
    ASSERT_TRUE(run);
    EXPECT_EQ(run->User()->name, "vibranium");
    EXPECT_TRUE(run->Path().starts_with("HKEY_USERS\\S-1-5-21-")) << run->Path();
    EXPECT_TRUE(run->HasValue("Sidebar"));
  }
  test::ScratchDir dir_{"wl-offline"};
  fs::path root_;
};

TEST_F(OfflineRealHives, InAFolderAndBehindASecondDriveLetter) {
  Check(Utf8FromPath(root_));
  // The same layout as a drive of its own: the test scripts give the
  // build tree's offline-drive folder the letter O: (Wine takes its drives
  // from the prefix, not from DefineDosDevice).
  const fs::path drive = PathFromUtf8("Z:" + std::string(WL_OFFLINE_DRIVE_DIR));
  ASSERT_TRUE(GetFileAttributesW(L"O:\\") != INVALID_FILE_ATTRIBUTES) << "no drive O: (scripts/wine-env.sh makes it)";
  struct Clear {
    fs::path folder;
    ~Clear() {
      std::error_code ec;
      for (const auto& entry : fs::directory_iterator(folder, ec)) fs::remove_all(entry.path(), ec);
    }
  } clear{drive};
  { Clear before{drive}; }
  fs::copy(root_, drive, fs::copy_options::recursive);
  ASSERT_TRUE(fs::exists(PathFromUtf8("O:\\Windows\\System32\\config\\SYSTEM")));
  Check("O:\\");
}

TEST_F(OfflineRealHives, AHiveThatIsAFolderAndAProfileLeadingOutOfTheRoot) {
  // SYSTEM a folder: said, and nothing of it read.
  fs::remove(root_ / "Windows/System32/config/SYSTEM");
  fs::create_directories(root_ / "Windows/System32/config/SYSTEM");
  const SystemSource source = OfflineSystemSource(Utf8FromPath(root_));
  EXPECT_TRUE(HasProblem(source, "it is a folder"));
  EXPECT_FALSE(source.Open(SourceRoot::LocalMachine, "SYSTEM\\CurrentControlSet\\Services"));
  EXPECT_EQ(source.Users().size(), 1u);
  // A profile folder that is a link to a folder out of the root (made by
  // the build: Wine shows a link as a plain folder that leads elsewhere).
  const std::string linked = std::string("Z:") + WL_OFFLINE_LINKS_DIR;
  std::string root = linked + "/root";
  std::replace(root.begin(), root.end(), '/', '\\');
  test::WriteBytes(root.substr(0, root.size() - 4) + "outside\\NTUSER.DAT", test::ReadBytes(HiveData("NTUSER.DAT")));
  fs::create_directories(PathFromUtf8(root + "\\Windows\\System32\\config"));
  const SystemSource linkedSource = OfflineSystemSource(root);
  EXPECT_TRUE(linkedSource.Users().empty());
  const FileInfo info = linkedSource.StatFile("C:\\Users\\mallory\\NTUSER.DAT");
  EXPECT_FALSE(info.exists);
  EXPECT_NE(info.refused.find("leads out of"), std::string::npos) << info.refused;
}

}  // namespace
}  // namespace wl
