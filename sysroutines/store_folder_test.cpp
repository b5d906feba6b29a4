// Where the store of Wardenlake's own files goes, with and without
// administrative rights, and planted links on the way there. Under Wine every
// process counts as elevated and folders carry no access lists: the rights
// and the access list go through the seam.
#include "sysroutines/store_folder.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <filesystem>

#include "core/utf8_path.h"
#include "tests/support/test_support.h"
#include "win32/file_path.h"
#include "win32/unicode.h"

namespace wl {
namespace {

struct Seam {
  bool elevated = false;
  std::string machine, user;
  uint32_t aclAnswer = 0;
  std::vector<std::string> restricted;
  std::vector<std::string> strangers;  // folders owned by someone else than the administrators

  StoreFolderSystem System() {
    StoreFolderSystem s;
    s.isElevated = [this] { return elevated; };
    s.machineDataFolder = [this] { return machine; };
    s.userDataFolder = [this] { return user; };
    s.restrictToAdministrators = [this](HANDLE folder, const std::string& path) {
      EXPECT_NE(folder, INVALID_HANDLE_VALUE);
      restricted.push_back(path);
      return aclAnswer;
    };
    s.ownedByAdministrators = [this](HANDLE, const std::string& path) {
      return std::find(strangers.begin(), strangers.end(), path) == strangers.end();
    };
    return s;
  }
};

class StoreFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    seam_.machine = Utf8FromPath(machine_.Path());
    seam_.user = Utf8FromPath(user_.Path());
  }
  test::ScratchDir machine_{"wlstore-machine"};
  test::ScratchDir user_{"wlstore-user"};
  Seam seam_;
};

TEST_F(StoreFolderTest, WithoutRightsTheStoreIsInTheUsersOwnDataAndNoAccessListIsSet) {
  ScopedStoreFolderSystem scope(seam_.System());
  const StoreFolder f = PrepareStoreFolder("Backups\\Run 1");
  ASSERT_TRUE(f.ok()) << f.message;
  EXPECT_EQ(f.path, seam_.user + "\\Wardenlake\\Backups\\Run 1");
  EXPECT_FALSE(f.machineWide);
  EXPECT_TRUE(win32::DirectoryExists(f.path));
  EXPECT_TRUE(seam_.restricted.empty());
  EXPECT_FALSE(std::filesystem::exists(machine_.Path() / "Wardenlake"));
}

TEST_F(StoreFolderTest, WithRightsTheStoreIsMachineWideAndEveryFolderOfItGetsTheAdministratorsList) {
  seam_.elevated = true;
  ScopedStoreFolderSystem scope(seam_.System());
  // A folder a standard user made first is taken over as well.
  std::filesystem::create_directories(machine_.Path() / "Wardenlake");
  const StoreFolder f = PrepareStoreFolder("Backups");
  ASSERT_TRUE(f.ok()) << f.message;
  EXPECT_EQ(f.path, seam_.machine + "\\Wardenlake\\Backups");
  EXPECT_TRUE(f.machineWide);
  EXPECT_EQ(seam_.restricted, (std::vector<std::string>{seam_.machine + "\\Wardenlake", f.path}));
  // Again: the list is set again (someone may have changed it meanwhile).
  seam_.restricted.clear();
  ASSERT_TRUE(PrepareStoreFolder("Backups").ok());
  EXPECT_EQ(seam_.restricted.size(), 2u);
}

TEST_F(StoreFolderTest, AFolderAStandardUserMadeFirstIsSetAsideAndMadeAnew) {
  seam_.elevated = true;
  const std::string top = seam_.machine + "\\Wardenlake", backups = top + "\\Backups";
  std::filesystem::create_directories(machine_.Path() / "Wardenlake" / "Backups" / "20260101-000000-000");
  test::WriteBytes(backups + "\\20260101-000000-000\\manifest.json", "planted");
  seam_.strangers = {top};
  ScopedStoreFolderSystem scope(seam_.System());
  const StoreFolder f = PrepareStoreFolder("Backups");
  ASSERT_TRUE(f.ok()) << f.message;
  EXPECT_EQ(f.path, backups);
  // The planted folder was set aside with what it held, and said so; the
  // store is new and empty.
  EXPECT_NE(f.notice.find("was not made by an administrator"), std::string::npos) << f.notice;
  EXPECT_TRUE(std::filesystem::is_empty(machine_.Path() / "Wardenlake" / "Backups"));
  std::size_t aside = 0;
  for (const auto& entry : std::filesystem::directory_iterator(machine_.Path())) {
    const std::string name = Utf8FromPath(entry.path().filename());
    if (name.starts_with("Wardenlake.untrusted-")) {
      ++aside;
      EXPECT_TRUE(std::filesystem::exists(entry.path() / "Backups" / "20260101-000000-000" / "manifest.json"));
      EXPECT_NE(f.notice.find(name), std::string::npos) << f.notice;
    }
  }
  EXPECT_EQ(aside, 1u);
  EXPECT_EQ(seam_.restricted, (std::vector<std::string>{top, backups}));

  // A set-up folder below one of ours is set aside the same way; ours is kept.
  seam_.strangers = {backups};
  seam_.restricted.clear();
  const StoreFolder again = PrepareStoreFolder("Backups");
  ASSERT_TRUE(again.ok()) << again.message;
  EXPECT_NE(again.notice.find(backups + "\""), std::string::npos) << again.notice;
  EXPECT_TRUE(win32::DirectoryExists(backups));
  // Without administrative rights nothing is judged by its owner.
  seam_.elevated = false;
  seam_.strangers = {seam_.user + "\\Wardenlake"};
  std::filesystem::create_directories(user_.Path() / "Wardenlake");
  const StoreFolder mine = PrepareStoreFolder("Backups");
  ASSERT_TRUE(mine.ok()) << mine.message;
  EXPECT_EQ(mine.notice, "");
  EXPECT_TRUE(StoreFolderTrusted(seam_.user + "\\Wardenlake", false));
  seam_.elevated = true;
  seam_.strangers = {backups};
  EXPECT_FALSE(StoreFolderTrusted(backups, true));
  EXPECT_TRUE(StoreFolderTrusted(top, true));
}

TEST_F(StoreFolderTest, AnAccessListThatCannotBeSetStopsTheStore) {
  seam_.elevated = true;
  seam_.aclAnswer = ERROR_ACCESS_DENIED;
  ScopedStoreFolderSystem scope(seam_.System());
  const StoreFolder f = PrepareStoreFolder("Backups");
  EXPECT_FALSE(f.ok());
  EXPECT_EQ(f.error, static_cast<uint32_t>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(f.path.empty());
  EXPECT_NE(f.message.find("access list"), std::string::npos) << f.message;
  EXPECT_FALSE(std::filesystem::exists(machine_.Path() / "Wardenlake" / "Backups"));
}

TEST_F(StoreFolderTest, NamesThatLeaveTheStoreAreRefused) {
  ScopedStoreFolderSystem scope(seam_.System());
  for (const char* bad : {"..\\Elsewhere", "a\\..\\..\\b", "C:\\Windows", "x:y"}) {
    const StoreFolder f = PrepareStoreFolder(bad);
    EXPECT_EQ(f.error, static_cast<uint32_t>(ERROR_BAD_PATHNAME)) << bad;
  }
  EXPECT_EQ(CheckNoLinksBelow(seam_.user, seam_.user + "x\\file"), static_cast<uint32_t>(ERROR_BAD_PATHNAME));
  EXPECT_EQ(CheckNoLinksBelow(seam_.user, "C:\\Windows\\win.ini"), static_cast<uint32_t>(ERROR_BAD_PATHNAME));
}

TEST_F(StoreFolderTest, AFileWhereTheFolderBelongsIsRefused) {
  ScopedStoreFolderSystem scope(seam_.System());
  test::WriteBytes(user_.File("Wardenlake"), "x");
  const StoreFolder f = PrepareStoreFolder("Backups");
  EXPECT_EQ(f.error, static_cast<uint32_t>(ERROR_DIRECTORY));
}

// Links made by the build (tests of sysroutines/CMakeLists.txt):
// store-links/linked/Wardenlake and store-links/nested/Wardenlake/Backups
// both lead to store-links/elsewhere.
std::filesystem::path Links() {
  return std::filesystem::path(win32::Widen(test::BinaryDir())).parent_path() / "store-links";
}

TEST(StoreFolderLinks, APlantedLinkInTheStoresPathIsRefusedAndNothingIsMadeBehindIt) {
  ASSERT_TRUE(std::filesystem::exists(Links() / "elsewhere")) << Utf8FromPath(Links());
  const std::string linked = Utf8FromPath(Links() / "linked");
  const std::string nested = Utf8FromPath(Links() / "nested");
  for (bool elevated : {true, false}) {
    Seam seam;
    seam.elevated = elevated;
    seam.machine = seam.user = linked;
    {
      ScopedStoreFolderSystem scope(seam.System());
      const StoreFolder f = PrepareStoreFolder("Backups");
      EXPECT_EQ(f.error, kErrorLinkRefused) << f.message;
      EXPECT_NE(f.message.find("link or junction"), std::string::npos) << f.message;
      EXPECT_TRUE(seam.restricted.empty());
    }
    seam.machine = seam.user = nested;
    {
      ScopedStoreFolderSystem scope(seam.System());
      const StoreFolder f = PrepareStoreFolder("Backups\\Run");
      EXPECT_EQ(f.error, kErrorLinkRefused) << f.message;
      // The plain folder before the link was still taken care of.
      if (elevated) {
        EXPECT_EQ(seam.restricted, std::vector<std::string>{nested + "\\Wardenlake"});
      }
    }
  }
  EXPECT_TRUE(std::filesystem::is_empty(Links() / "elsewhere"));

  // A file about to be written behind the link is refused; one in a plain
  // folder is not.
  EXPECT_EQ(CheckNoLinksBelow(nested, nested + "\\Wardenlake\\Backups\\copy.reg"), kErrorLinkRefused);
  EXPECT_EQ(CheckNoLinksBelow(nested, nested + "\\Wardenlake\\copy.reg"), 0u);
}

}  // namespace
}  // namespace wl

namespace wl {
namespace {

// The real routine, on a folder of the test's own (the test runs with
// administrative rights under Wine, which keeps no access lists but must
// accept the call, or an elevated run could keep no backups there).
TEST(StoreFolderReal, TheAdministratorsListIsAcceptedOnAFolderOfOurOwn) {
  if (!IsProcessElevated()) GTEST_SKIP() << "needs administrative rights";
  test::ScratchDir dir("wlstore-acl");
  const std::string folder = Utf8FromPath(dir.Path()) + "\\Wardenlake";
  ASSERT_TRUE(CreateDirectoryW(win32::Widen(folder).c_str(), nullptr));
  HANDLE held = CreateFileW(win32::Widen(folder).c_str(), READ_CONTROL | WRITE_DAC | WRITE_OWNER,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_EQ(RealStoreFolderSystem().restrictToAdministrators(held, folder), 0u);
  // Under Wine every owner reads as the user: owners say nothing there, and
  // a folder counts as the administrators'.
  EXPECT_TRUE(RealStoreFolderSystem().ownedByAdministrators(held, folder));
  CloseHandle(held);
}

}  // namespace
}  // namespace wl
