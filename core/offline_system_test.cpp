// The offline system source on systems laid out in scratch folders: real
// hives of Windows PCs (tests/data/hives) held against Debian's hivex, and
// hives built for the case (control sets, profile lists, users' classes,
// links), with hostile layouts and paths that try to leave the root.
#include "core/offline_system.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>

#include "core/hive.h"
#include "core/system_environment.h"
#include "core/testing/hive_tree.h"
#include "core/utf8_path.h"
#include "tests/support/test_support.h"

namespace wl {
namespace {

namespace fs = std::filesystem;
using hive::testing::BuildHive;
using hive::testing::DwordBytes;
using hive::testing::Sz;
using hive::testing::TreeKey;

const std::string kData = WL_HIVE_DATA_DIR;
constexpr const char* kAlice = "S-1-5-21-1111-2222-3333-1001";
constexpr const char* kRun = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

void Put(const fs::path& file, const std::string& bytes) {
  fs::create_directories(file.parent_path());
  test::WriteBytes(Utf8FromPath(file), bytes);
}

std::string RunCommand(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return out;
  char buf[65536];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
  pclose(pipe);
  return out;
}

// Where two long texts first differ, by line, for a readable failure.
std::string FirstDifference(const std::string& ours, const std::string& theirs) {
  std::istringstream a(ours), b(theirs);
  std::string x, y;
  for (int line = 1;; ++line) {
    const bool moreA = static_cast<bool>(std::getline(a, x));
    const bool moreB = static_cast<bool>(std::getline(b, y));
    if (!moreA && !moreB) return "";
    if (x != y || moreA != moreB)
      return "line " + std::to_string(line) + ":\n ours:  " + x.substr(0, 300) + "\n hivex: " + y.substr(0, 300);
  }
}

bool HasProblem(const SystemSource& source, const std::string& part) {
  for (const std::string& p : source.Problems())
    if (p.find(part) != std::string::npos) return true;
  return false;
}

std::string AllProblems(const SystemSource& source) {
  std::string all;
  for (const std::string& p : source.Problems()) all += p + "\n";
  return all;
}

// A subtree read through the source as "hivexregedit --export" writes it:
// keys and values sorted by name, data as hex(type) bytes (dword: for a
// 4-byte REG_DWORD), under the path prefix hivex gives it.
using ExportedKeys = std::vector<std::pair<std::vector<std::string>, std::string>>;
void ExportThroughSource(const SourceKey& key, const std::string& shown, std::vector<std::string> parts,
                         ExportedKeys& keys) {
  std::vector<std::pair<std::string, std::string>> lines;
  for (const SourceValue& v : key.Values()) {
    std::string line = v.name.empty() ? "@=" : "\"";
    if (!v.name.empty()) {
      for (char c : v.name) {
        if (c == '"' || c == '\\') line += '\\';
        line += c;
      }
      line += "\"=";
    }
    char buf[32];
    if (v.type == hive::kRegDword && v.data.size() == 4) {
      std::snprintf(buf, sizeof buf, "dword:%08x", *SourceValueDword(v));
      line += buf;
    } else {
      std::snprintf(buf, sizeof buf, "hex(%x):", v.type);
      line += buf;
      for (std::size_t i = 0; i < v.data.size(); ++i) {
        std::snprintf(buf, sizeof buf, i ? ",%02x" : "%02x", v.data[i]);
        line += buf;
      }
    }
    lines.emplace_back(v.name, line + "\n");
  }
  std::sort(lines.begin(), lines.end());
  std::string text = "\n[" + shown + "]\n";
  for (const auto& l : lines) text += l.second;
  keys.emplace_back(parts, text);
  for (const std::string& name : key.SubKeyNames()) {
    const auto sub = key.Open(name);
    ASSERT_TRUE(sub) << shown << "\\" << name;
    parts.push_back(name);
    ExportThroughSource(*sub, shown + "\\" + name, parts, keys);
    parts.pop_back();
  }
}

std::string Export(const SourceKey& key, const std::string& shown) {
  ExportedKeys keys;
  ExportThroughSource(key, shown, {}, keys);
  std::sort(keys.begin(), keys.end());  // hivex sorts by the path's parts
  std::string out = "Windows Registry Editor Version 5.00\n";
  for (const auto& k : keys) out += k.second;
  return out + "\n";
}

// A collected set: the real SYSTEM and a Windows 7 user's NTUSER.DAT, no
// SOFTWARE (as a collection of hives often is).
class RealHives : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = dir_.Path();
    fs::create_directories(root_ / "Windows/System32/config");
    fs::copy_file(PathFromUtf8(kData + "/SYSTEM"), root_ / "Windows/System32/config/SYSTEM");
    fs::create_directories(root_ / "Users/vibranium");
    fs::copy_file(PathFromUtf8(kData + "/NTUSER.DAT"), root_ / "Users/vibranium/NTUSER.DAT");
  }
  test::ScratchDir dir_{"wl-offline"};
  fs::path root_;
};

TEST_F(RealHives, ServicesOfTheCurrentControlSetEqualHivex) {
  const SystemSource source = OpenOfflineSystem(Utf8FromPath(root_));
  EXPECT_FALSE(source.IsLive());
  // Said once: no SOFTWARE, so the users come from their folders.
  EXPECT_TRUE(HasProblem(source, "SOFTWARE")) << AllProblems(source);
  EXPECT_TRUE(HasProblem(source, "profile folders")) << AllProblems(source);

  const std::string select = RunCommand("hivexget '" + kData + "/SYSTEM' '\\Select' Current");
  ASSERT_FALSE(select.empty());
  char controlSet[32];
  std::snprintf(controlSet, sizeof controlSet, "ControlSet%03d", std::stoi(select));

  const auto services = source.Open(SourceRoot::LocalMachine, "SYSTEM\\CurrentControlSet\\Services");
  ASSERT_TRUE(services);
  EXPECT_EQ(services->Path(), "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services");
  EXPECT_EQ(services->User(), nullptr);
  EXPECT_GT(services->SubKeyNames().size(), 200u);
  EXPECT_NE(services->LastWriteText(), "");
  const std::string theirs =
      RunCommand("hivexregedit --export '" + kData + "/SYSTEM' '\\" + controlSet + "\\Services' 2>/dev/null");
  ASSERT_GT(theirs.size(), 1000u);
  // The key's name as stored ("services" in this hive).
  std::string stored;
  for (const std::string& name : source.Open(SourceRoot::LocalMachine, "SYSTEM\\CurrentControlSet")->SubKeyNames())
    if (hive::NamesEqual(name, "Services")) stored = name;
  const std::string ours = Export(*services, std::string("\\") + controlSet + "\\" + stored);
  EXPECT_EQ(ours.size(), theirs.size());
  EXPECT_TRUE(ours == theirs) << FirstDifference(ours, theirs);
}

TEST_F(RealHives, ARunValueOfAUserFoundByTheFolderComesWithItsUser) {
  const SystemSource source = OpenOfflineSystem(Utf8FromPath(root_));
  const auto users = source.Users();
  ASSERT_EQ(users.size(), 1u) << AllProblems(source);
  const SystemUser& user = users[0];
  EXPECT_EQ(user.name, "vibranium");
  EXPECT_FALSE(user.inProfileList);
  EXPECT_EQ(user.profileFolder, "C:\\Users\\vibranium");
  // The SID its hive's access list grants to.
  EXPECT_TRUE(user.sidKnown) << user.sid;
  EXPECT_TRUE(LooksLikeSid(user.sid) && user.sid.starts_with("S-1-5-21-")) << user.sid;

  // Offline, nobody is HKEY_CURRENT_USER until a user is chosen.
  EXPECT_FALSE(source.Open(SourceRoot::CurrentUser, kRun));
  const SystemSource asUser = source.ForUser(user);
  const auto run = asUser.Open(SourceRoot::CurrentUser, kRun);
  ASSERT_TRUE(run);
  EXPECT_EQ(run->Path(), "HKEY_USERS\\" + user.sid + "\\" + kRun);
  ASSERT_TRUE(run->User());
  EXPECT_EQ(run->User()->name, "vibranium");
  EXPECT_EQ(run->ReadString("Sidebar"), "%ProgramFiles%\\Windows Sidebar\\Sidebar.exe /autoRun");
  EXPECT_EQ(run->LastWriteText().size(), 20u);
  // The same key by HKEY_USERS.
  const auto byUsers = source.Open(SourceRoot::Users, user.sid + "\\" + kRun);
  ASSERT_TRUE(byUsers);
  EXPECT_EQ(byUsers->LastWriteTime(), run->LastWriteTime());

  // Its environment: the profile's, the system's drive, its own TEMP.
  EXPECT_EQ(asUser.Expand("%ProgramFiles%\\Windows Sidebar\\Sidebar.exe"),
            "C:\\Program Files\\Windows Sidebar\\Sidebar.exe");
  EXPECT_EQ(asUser.Expand("%APPDATA%|%LOCALAPPDATA%|%TEMP%"),
            "C:\\Users\\vibranium\\AppData\\Roaming|C:\\Users\\vibranium\\AppData\\Local|"
            "C:\\Users\\vibranium\\AppData\\Local\\Temp");
  // The hive as hivex reads it.
  const std::string theirs =
      RunCommand("hivexregedit --export '" + kData + "/NTUSER.DAT' '\\" + kRun + "' 2>/dev/null");
  EXPECT_EQ(Export(*run, std::string("\\") + kRun), theirs);
}

TEST_F(RealHives, TheDirtyHiveIsReadWithItsLogs) {
  const fs::path config = root_ / "Windows/System32/config";
  fs::remove(config / "SYSTEM");
  fs::copy_file(PathFromUtf8(kData + "/SYSTEM_B"), config / "SYSTEM");
  fs::copy_file(PathFromUtf8(kData + "/SYSTEM_B.LOG1"), config / "SYSTEM.LOG1");
  fs::copy_file(PathFromUtf8(kData + "/SYSTEM_B.LOG2"), config / "SYSTEM.LOG2");
  const SystemSource withLogs = OpenOfflineSystem(Utf8FromPath(root_));
  EXPECT_TRUE(HasProblem(withLogs, "is dirty: applied SYSTEM.LOG1, SYSTEM.LOG2")) << AllProblems(withLogs);
  OfflineOptions noLogs;
  noLogs.applyLogs = false;
  const SystemSource without = OpenOfflineSystem(Utf8FromPath(root_), noLogs);
  EXPECT_TRUE(HasProblem(without, "were not applied")) << AllProblems(without);
  // What the logs changed shows in what the source reads.
  std::string error;
  const auto repaired = hive::OpenHiveFile(kData + "/SYSTEM_B", {true}, error);
  const auto plain = hive::OpenHiveFile(kData + "/SYSTEM_B", {false}, error);
  ASSERT_TRUE(repaired && plain);
  std::size_t differ = 0;
  hive::Walk(*repaired, [&](const hive::Key& key, const std::string& path) {
    const auto before = plain->Find(path);
    if (!before || before->LastWriteTime() == key.LastWriteTime() || differ > 0) return true;
    const auto a = withLogs.Open(SourceRoot::LocalMachine, "SYSTEM\\" + path);
    const auto b = without.Open(SourceRoot::LocalMachine, "SYSTEM\\" + path);
    if (a && b) {
      EXPECT_EQ(a->LastWriteTime(), key.LastWriteTime()) << path;
      EXPECT_EQ(b->LastWriteTime(), before->LastWriteTime()) << path;
      ++differ;
    }
    return true;
  });
  EXPECT_EQ(differ, 1u);
}

// A system built for the case: SYSTEM with two control sets, SOFTWARE with
// its profile list and program folders, alice's hives, planted files.
class BuiltSystem : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = dir_.Path();
    system_.name = "SYSTEM";
    system_.At("Select").Set("Current", hive::kRegDword, DwordBytes(2));
    system_.At("ControlSet001\\Services\\Old").Set("ImagePath", hive::kRegExpandSz, Sz("old.exe"));
    system_.At("ControlSet002\\Services\\New").Set("ImagePath", hive::kRegExpandSz, Sz("new.exe"));
    system_.At("ControlSet002\\Control\\Session Manager\\Environment")
        .Set("TEMP", hive::kRegExpandSz, Sz("%SystemRoot%\\TEMP"))
        .Set("PROCESSOR_ARCHITECTURE", hive::kRegSz, Sz("AMD64"))
        .Set("Path", hive::kRegExpandSz, Sz("%SystemRoot%\\system32;%SystemRoot%;;\"C:\\Tools\";C:\\Tools\\"));
    software_.At("Microsoft\\Windows\\CurrentVersion\\App Paths\\tool.exe")
        .Set("", hive::kRegExpandSz, Sz("\"%ProgramFiles%\\Tool\\tool.exe\""));
    software_.name = "SOFTWARE";
    software_.At("Microsoft\\Windows NT\\CurrentVersion").Set("SystemRoot", hive::kRegSz, Sz("C:\\Windows"));
    software_.At("Microsoft\\Windows\\CurrentVersion")
        .Set("ProgramFilesDir", hive::kRegSz, Sz("C:\\Program Files"))
        .Set("ProgramFilesDir (x86)", hive::kRegSz, Sz("C:\\Program Files (x86)"));
    software_.At("Microsoft\\Windows\\CurrentVersion\\Uninstall\\App64").Set("DisplayName", hive::kRegSz, Sz("App64"));
    software_.At("WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\App32")
        .Set("DisplayName", hive::kRegSz, Sz("App32"));
    software_.At("Classes\\.txt").Set("", hive::kRegSz, Sz("txtfile"));
    software_.At("Classes\\.exe").Set("", hive::kRegSz, Sz("exefile"));
    software_.At("Classes\\CLSID\\{64}");
    software_.At("Classes\\Wow6432Node\\CLSID\\{32}");
    TreeKey& list = software_.At("Microsoft\\Windows NT\\CurrentVersion\\ProfileList");
    list.Set("ProfilesDirectory", hive::kRegExpandSz, Sz("%SystemDrive%\\Users"));
    list.At(kAlice).Set("ProfileImagePath", hive::kRegExpandSz, Sz("%SystemDrive%\\Users\\alice"));
    ntuser_.name = "CMI-CreateHive{0}";
    ntuser_.At(kRun).Set("Updater", hive::kRegSz, Sz("%APPDATA%\\upd\\upd.exe"));
    ntuser_.At("Environment").Set("TEMP", hive::kRegExpandSz, Sz("%USERPROFILE%\\Temp"));
    classes_.name = std::string(kAlice) + "_Classes";
    classes_.At(".txt").Set("", hive::kRegSz, Sz("alicetext"));
    classes_.At("Wow6432Node\\CLSID\\{a32}");
  }
  void Write() {
    Put(root_ / "Windows/System32/config/SYSTEM", BuildHive(system_));
    Put(root_ / "Windows/System32/config/SOFTWARE", BuildHive(software_));
    Put(root_ / "Users/alice/NTUSER.DAT", BuildHive(ntuser_));
    Put(root_ / "Users/alice/AppData/Local/Microsoft/Windows/UsrClass.dat", BuildHive(classes_));
  }
  SystemSource Open(const OfflineOptions& options = {}) {
    Write();
    return OpenOfflineSystem(Utf8FromPath(root_), options);
  }
  static std::vector<std::string> Names(const std::optional<SourceKey>& key) {
    return key ? key->SubKeyNames() : std::vector<std::string>{};
  }

  test::ScratchDir dir_{"wl-offline"};
  fs::path root_;
  TreeKey system_, software_, ntuser_, classes_;
};

TEST_F(BuiltSystem, KeysOfTheControlSetTheViewsAndTheMergedClasses) {
  const SystemSource source = Open();
  EXPECT_EQ(Names(source.Open(SourceRoot::LocalMachine, "SYSTEM\\CurrentControlSet\\Services")),
            std::vector<std::string>{"New"});
  EXPECT_EQ(Names(source.Open(SourceRoot::LocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
                              SourceView::Force64)),
            std::vector<std::string>{"App64"});
  EXPECT_EQ(Names(source.Open(SourceRoot::LocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
                              SourceView::Force32)),
            std::vector<std::string>{"App32"});
  // Shared keys are the same in both views; class identifiers move.
  EXPECT_TRUE(source.Open(SourceRoot::LocalMachine, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList",
                          SourceView::Force32));
  EXPECT_EQ(Names(source.Open(SourceRoot::ClassesRoot, "CLSID", SourceView::Force32)),
            std::vector<std::string>{"{32}"});
  EXPECT_EQ(Wow64Path("Classes\\CLSID\\{x}", false), "Classes\\Wow6432Node\\CLSID\\{x}");
  EXPECT_EQ(Wow64Path("Microsoft\\Windows\\CurrentVersion\\Run", false),
            "Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run");
  EXPECT_EQ(Wow64Path("Microsoft\\Windows\\CurrentVersion\\App Paths\\x.exe", false),
            "Microsoft\\Windows\\CurrentVersion\\App Paths\\x.exe");
  EXPECT_EQ(Wow64Path("WOW6432Node\\x", false), "WOW6432Node\\x");
  EXPECT_EQ(Wow64Path("Classes", false), "Classes");

  // HKEY_CLASSES_ROOT: the machine's alone, then merged with alice's.
  EXPECT_EQ(source.ReadString(SourceRoot::ClassesRoot, ".txt", ""), "txtfile");
  const auto users = source.Users();
  ASSERT_EQ(users.size(), 1u) << AllProblems(source);
  EXPECT_EQ(users[0].sid, kAlice);
  EXPECT_TRUE(users[0].inProfileList);
  const SystemSource alice = source.ForUser(users[0]);
  EXPECT_EQ(alice.ReadString(SourceRoot::ClassesRoot, ".txt", ""), "alicetext");
  EXPECT_EQ(alice.ReadString(SourceRoot::ClassesRoot, ".exe", ""), "exefile");
  EXPECT_EQ(alice.ReadString(SourceRoot::CurrentUser, "Software\\Classes\\.txt", ""), "alicetext");
  EXPECT_EQ(alice.ReadString(SourceRoot::Users, std::string(kAlice) + "_Classes\\.txt", ""), "alicetext");
  const auto root = Names(alice.Open(SourceRoot::ClassesRoot, ""));
  EXPECT_EQ(std::count(root.begin(), root.end(), ".txt"), 1);
  EXPECT_EQ(std::count(root.begin(), root.end(), ".exe"), 1);
  EXPECT_EQ(Names(alice.Open(SourceRoot::ClassesRoot, "CLSID", SourceView::Force32)),
            (std::vector<std::string>{"{a32}", "{32}"}));
  // A sub-key opened from its parent lands where the whole path would.
  const auto software = alice.Open(SourceRoot::CurrentUser, "Software");
  ASSERT_TRUE(software);
  const auto classes = software->Open("Classes");
  ASSERT_TRUE(classes);
  EXPECT_EQ(classes->Open(".txt")->ReadString(""), "alicetext");
  EXPECT_EQ(alice.Open(SourceRoot::CurrentUser, "")->Open("Software")->Open("Classes")->Open(".txt")->ReadString(""),
            "alicetext");
  EXPECT_EQ(Names(source.Open(SourceRoot::LocalMachine, "SYSTEM")->Open("CurrentControlSet")->Open("Services")),
            std::vector<std::string>{"New"});
  const auto version32 =
      source.Open(SourceRoot::LocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", SourceView::Force32);
  ASSERT_TRUE(version32);
  EXPECT_EQ(Names(version32->Open("Uninstall")), std::vector<std::string>{"App32"});
  EXPECT_EQ(Names(source.Open(SourceRoot::LocalMachine, "SOFTWARE", SourceView::Force64)
                      ->Open("Microsoft")
                      ->Open("Windows")
                      ->Open("CurrentVersion")
                      ->Open("Uninstall")),
            std::vector<std::string>{"App64"});
  const auto users2 = Names(source.Open(SourceRoot::Users, ""));
  EXPECT_EQ(users2, (std::vector<std::string>{kAlice, std::string(kAlice) + "_Classes"}));
}

TEST_F(BuiltSystem, PathsAreExpandedWithTheSystemsEnvironmentAndMappedUnderTheRoot) {
  Put(root_ / "Users/alice/AppData/Roaming/upd/upd.exe", "MZ planted");
  fs::create_directories(root_ / "Program Files (x86)");
  const SystemSource source = Open();
  ASSERT_EQ(source.Users().size(), 1u);
  const SystemSource alice = source.ForUser(source.Users()[0]);
  const auto run = alice.Open(SourceRoot::CurrentUser, kRun);
  ASSERT_TRUE(run);
  const std::string command = alice.Expand(*run->ReadString("Updater"));
  EXPECT_EQ(command, "C:\\Users\\alice\\AppData\\Roaming\\upd\\upd.exe");
  const FileInfo file = alice.StatFile(command);
  EXPECT_TRUE(file.exists && !file.folder);
  EXPECT_EQ(file.size, 10u);
  EXPECT_GT(file.lastWriteTime, 0u);
  EXPECT_EQ(fs::canonical(PathFromUtf8(file.nowPath)),
            fs::canonical(root_ / "Users/alice/AppData/Roaming/upd/upd.exe"));
  EXPECT_EQ(source.SystemPathOf(file.nowPath), "C:\\Users\\alice\\AppData\\Roaming\\upd\\upd.exe");
  // The machine's environment and folders, from its own hives.
  EXPECT_EQ(alice.Expand("%TEMP%|%SystemRoot%|%ProgramFiles(x86)%|%ProgramData%|%NoSuch%"),
            "C:\\Users\\alice\\Temp|C:\\Windows|C:\\Program Files (x86)|C:\\ProgramData|%NoSuch%");
  EXPECT_EQ(source.Expand("%TEMP%"), "C:\\Windows\\TEMP");
  const SystemFolders folders = source.Folders();
  EXPECT_EQ(folders.windows, "C:\\Windows");
  EXPECT_EQ(folders.profiles, "C:\\Users");
  EXPECT_EQ(folders.programFilesX86, "C:\\Program Files (x86)");
  // Case does not matter, nor "/" for "\", "." or trailing dots.
  EXPECT_TRUE(source.StatFile("c:/users/ALICE/./AppData/Roaming/upd./upd.exe").exists);
  EXPECT_TRUE(source.StatFile("\\\\?\\C:\\Program Files (x86)").folder);
  // Where a bare program name is looked for there, and App Paths.
  EXPECT_EQ(SearchFoldersOf(source),
            (std::vector<std::string>{"C:\\Windows\\System32", "C:\\Windows\\System", "C:\\Windows", "C:\\Tools"}));
  EXPECT_EQ(AppPathOf(source, "TOOL.EXE"), "C:\\Program Files\\Tool\\tool.exe");
  EXPECT_EQ(AppPathOf(source, "none.exe"), "");
  const auto listed = source.ListFolder("C:\\Users\\alice\\AppData\\Roaming\\upd");
  EXPECT_EQ(listed, std::vector<std::string>{"upd.exe"});
}

TEST_F(BuiltSystem, NoPathLeadsOutOfTheRoot) {
  const fs::path outside = dir_.Path().parent_path() / ("wl-outside-" + root_.filename().string());
  fs::create_directories(outside);
  test::WriteBytes(Utf8FromPath(outside / "secret.txt"), "secret");
  fs::create_directories(root_ / "Users/alice/AppData/Roaming");
  fs::create_directory_symlink(outside, root_ / "Users/alice/AppData/Roaming/linked");
  const SystemSource source = Open();
  std::string why;
  // ".." never climbs above the drive, as Windows takes it.
  const auto clamped =
      source.PathNow("C:\\Windows\\..\\..\\..\\..\\" + outside.filename().string() + "\\secret.txt", &why);
  ASSERT_TRUE(clamped) << why;
  EXPECT_TRUE(PathIsWithin(*clamped, Utf8FromPath(root_)));
  EXPECT_FALSE(source.StatFile(*clamped).exists);
  // A link in the volume that leads out of it, the file itself or a
  // folder on the way.
  FileInfo info = source.StatFile("C:\\Users\\alice\\AppData\\Roaming\\linked\\secret.txt");
  EXPECT_FALSE(info.exists);
  EXPECT_NE(info.refused.find("leads out of"), std::string::npos) << info.refused;
  EXPECT_FALSE(source.StatFile("C:\\Users\\alice\\AppData\\Roaming\\linked\\new.txt").exists);
  EXPECT_TRUE(source.ListFolder("C:\\Users\\alice\\AppData\\Roaming\\linked").empty());
  // Other drives of that system, network paths, devices, relative paths.
  for (const char* path : {"D:\\secret.txt", "\\\\server\\share\\x.exe", "\\\\?\\UNC\\server\\share\\x",
                           "C:\\Windows\\NUL", "C:\\Windows\\com1.txt", "Windows\\x.exe", ""}) {
    info = source.StatFile(path);
    EXPECT_FALSE(info.exists) << path;
    EXPECT_FALSE(info.refused.empty()) << path;
  }
  fs::remove_all(outside);
}

TEST_F(BuiltSystem, HostileProfileListsAreRefusedEntryByEntry) {
  TreeKey& list = software_.At("Microsoft\\Windows NT\\CurrentVersion\\ProfileList");
  list.At("S-1-5-21-1-2-3-1002").Set("ProfileImagePath", hive::kRegSz, Sz("C:\\Users\\..\\..\\outside"));
  list.At("S-1-5-21-1-2-3-1003").Set("ProfileImagePath", hive::kRegSz, Sz("D:\\Users\\bob"));
  list.At("S-1-5-21-1-2-3-1004").Set("ProfileImagePath", hive::kRegSz, Sz("\\\\server\\profiles\\carol"));
  list.At("S-1-5-21-1-2-3-1005").Set("ProfileImagePath", hive::kRegDword, DwordBytes(7));
  list.At("S-1-5-21-1-2-3-1006.bak").Set("ProfileImagePath", hive::kRegSz, Sz("C:\\Users\\dave"));
  list.At("not a sid").Set("ProfileImagePath", hive::kRegSz, Sz("C:\\Users\\eve"));
  list.At("S-1-5-21-1-2-3-1007").Set("ProfileImagePath", hive::kRegSz, Sz("C:\\Users\\frank"));
  // A folder with a user's hive that the list does not name is a user too.
  classes_.name = "S-1-5-21-1-2-3-1006_Classes";
  Put(root_ / "Users/dave/NTUSER.DAT", BuildHive(ntuser_));
  Put(root_ / "Users/dave/AppData/Local/Microsoft/Windows/UsrClass.dat", BuildHive(classes_));
  classes_.name = std::string(kAlice) + "_Classes";
  Put(root_ / "Users/Default/NTUSER.DAT", BuildHive(ntuser_));
  const SystemSource source = Open();
  const auto users = source.Users();
  ASSERT_EQ(users.size(), 3u) << AllProblems(source);
  EXPECT_EQ(users[0].name, "frank");  // listed, its folder not in the set
  EXPECT_TRUE(users[0].hiveFile.empty());
  EXPECT_FALSE(source.ForUser(users[0]).Open(SourceRoot::CurrentUser, ""));
  EXPECT_TRUE(HasProblem(source, "no NTUSER.DAT, so no keys, for: frank (C:\\Users\\frank)")) << AllProblems(source);
  EXPECT_EQ(users[1].sid, kAlice);
  EXPECT_EQ(users[2].name, "dave");
  EXPECT_EQ(users[2].sid, "S-1-5-21-1-2-3-1006");
  EXPECT_FALSE(users[2].inProfileList);
  EXPECT_TRUE(source.ForUser(users[2]).Open(SourceRoot::CurrentUser, kRun));
  EXPECT_TRUE(HasProblem(source, "S-1-5-21-1-2-3-1002 is refused")) << AllProblems(source);
  EXPECT_TRUE(HasProblem(source, "S-1-5-21-1-2-3-1003 is refused")) << AllProblems(source);
  EXPECT_TRUE(HasProblem(source, "S-1-5-21-1-2-3-1004 is refused")) << AllProblems(source);
  EXPECT_TRUE(HasProblem(source, "does not name, read as users: dave")) << AllProblems(source);
  // A user nobody lists is no key, and another source's user is nobody here.
  SystemUser stranger;
  stranger.sid = "S-1-5-21-9-9-9-1000";
  stranger.hiveFile = Utf8FromPath(root_ / "Users/alice/NTUSER.DAT");
  EXPECT_FALSE(source.ForUser(stranger).Open(SourceRoot::CurrentUser, kRun));
  EXPECT_FALSE(source.Open(SourceRoot::Users, "S-1-5-21-9-9-9-1000\\Software"));
}

TEST_F(BuiltSystem, AHugeProfileListIsReadUpToItsBound) {
  TreeKey& list = software_.At("Microsoft\\Windows NT\\CurrentVersion\\ProfileList");
  for (int i = 0; i < 3000; ++i) {
    list.subkeys.push_back(TreeKey{"S-1-5-21-7-7-7-" + std::to_string(5000 + i), {}, {}});
    list.subkeys.back().Set("ProfileImagePath", hive::kRegSz, Sz("C:\\Users\\u" + std::to_string(i)));
  }
  OfflineOptions options;
  options.maxUsers = 500;
  const SystemSource source = Open(options);
  EXPECT_EQ(source.Users().size(), 500u);
  EXPECT_TRUE(HasProblem(source, "has 3001 entries: the first 500 are read")) << AllProblems(source);
}

TEST_F(BuiltSystem, MissingFoldersJunkAndDamagedHivesGiveEmptyKeysAndSaySo) {
  // No root at all.
  const SystemSource none = OpenOfflineSystem(Utf8FromPath(root_ / "no such folder"));
  EXPECT_TRUE(none.Users().empty());
  EXPECT_FALSE(none.Open(SourceRoot::LocalMachine, "SYSTEM"));
  EXPECT_TRUE(HasProblem(none, "no folder that can be read"));
  // A root without Windows.
  fs::create_directories(root_ / "Users");
  const SystemSource empty = OpenOfflineSystem(Utf8FromPath(root_));
  EXPECT_TRUE(HasProblem(empty, "no Windows folder")) << AllProblems(empty);
  EXPECT_EQ(empty.Expand("%SystemRoot%"), "C:\\Windows");
  // SYSTEM a folder, SOFTWARE junk, NTUSER.DAT cut short.
  Write();
  fs::remove(root_ / "Windows/System32/config/SYSTEM");
  fs::create_directories(root_ / "Windows/System32/config/SYSTEM");
  test::WriteBytes(Utf8FromPath(root_ / "Windows/System32/config/SOFTWARE"), std::string(9000, 'x'));
  const std::string ntuser = BuildHive(ntuser_);
  test::WriteBytes(Utf8FromPath(root_ / "Users/alice/NTUSER.DAT"), ntuser.substr(0, ntuser.size() - 2000));
  fs::remove(root_ / "Users/alice/AppData/Local/Microsoft/Windows/UsrClass.dat");
  const SystemSource broken = OpenOfflineSystem(Utf8FromPath(root_));
  EXPECT_TRUE(HasProblem(broken, "SYSTEM (")) << AllProblems(broken);
  EXPECT_TRUE(HasProblem(broken, "it is a folder")) << AllProblems(broken);
  EXPECT_TRUE(HasProblem(broken, "is no registry hive")) << AllProblems(broken);
  EXPECT_FALSE(broken.Open(SourceRoot::LocalMachine, "SYSTEM\\CurrentControlSet"));
  EXPECT_FALSE(broken.Open(SourceRoot::LocalMachine, "SOFTWARE"));
  const auto users = broken.Users();
  ASSERT_EQ(users.size(), 1u);
  EXPECT_FALSE(users[0].sidKnown);  // no SOFTWARE, no classes hive naming it
  const SystemSource asUser = broken.ForUser(users[0]);
  if (const auto run = asUser.Open(SourceRoot::CurrentUser, kRun)) run->Values();
  EXPECT_TRUE(HasProblem(broken, "NTUSER.DAT of alice")) << AllProblems(broken);
}

TEST_F(BuiltSystem, LinksInAHiveAreFollowedAndALoopEnds) {
  auto link = [](const std::string& target) {
    std::u16string units(target.begin(), target.end());
    return hive::testing::Utf16Bytes(units);
  };
  TreeKey& current = system_.At("ControlSet002\\Hardware Profiles\\Current");
  current.flags = hive::kKeySymbolicLink;
  current.Set("SymbolicLinkValue", hive::kRegLink,
              link("\\REGISTRY\\MACHINE\\SYSTEM\\ControlSet002\\Hardware Profiles\\0001"));
  system_.At("ControlSet002\\Hardware Profiles\\0001\\Software").Set("Mark", hive::kRegSz, Sz("here"));
  TreeKey& loop = system_.At("ControlSet002\\Loop");
  loop.flags = hive::kKeySymbolicLink;
  loop.Set("SymbolicLinkValue", hive::kRegLink, link("\\REGISTRY\\MACHINE\\SYSTEM\\CurrentControlSet\\Loop"));
  const SystemSource source = Open();
  EXPECT_EQ(source.ReadString(SourceRoot::LocalMachine,
                              "SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current\\Software", "Mark"),
            "here");
  EXPECT_FALSE(source.Open(SourceRoot::LocalMachine, "SYSTEM\\CurrentControlSet\\Loop\\x"));
}

TEST(OfflineSystemText, SidsFromBytesAndVariables) {
  const uint8_t sid[] = {1, 5, 0, 0, 0, 0, 0, 5, 21, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 0xE9, 3, 0, 0};
  EXPECT_EQ(SidText(sid, sizeof sid), "S-1-5-21-1-2-3-1001");
  EXPECT_EQ(SidText(sid, sizeof sid - 1), "");
  EXPECT_TRUE(LooksLikeSid("S-1-5-18"));
  for (const char* bad : {"S-1-", "S-1-5-", "S-1-5--1", "S-1-5-21-1.bak", "s-2-1", "S-1-5-x"})
    EXPECT_FALSE(LooksLikeSid(bad)) << bad;
  SystemEnvironment env;
  env.Set("A", "1");
  env.Set("b", "2");
  EXPECT_EQ(env.Expand("%a%%B%"), "12");
  EXPECT_EQ(env.Expand("%x%a%"), "%x1");
  EXPECT_EQ(env.Expand("50% of %"), "50% of %");
  EXPECT_EQ(env.Expand("%%a%"), "%1");
}

}  // namespace
}  // namespace wl
