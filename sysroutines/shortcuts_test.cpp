#include "sysroutines/shortcuts.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "sysroutines/system_info.h"
#include "sysroutines/test_files.h"
#include "tests/support/test_support.h"
#include "win32/unicode.h"

namespace wl {
namespace {

using test::LongScratch;
using test::SaveShortcut;
using test::ScopedFile;
using test::WriteFileAt;

const StartupShortcut* Find(const std::vector<StartupShortcut>& list, const std::string& name) {
  const auto it = std::find_if(list.begin(), list.end(), [&](const StartupShortcut& s) { return s.name == name; });
  return it == list.end() ? nullptr : &*it;
}

TEST(Shortcuts, ResolveShortcutGivesTargetAndArgumentsWhole) {
  LongScratch dir;
  const std::string target = dir.Path() + "\\Ziel \xE6\x97\xA5.exe";
  WriteFileAt(target, "MZ");
  SaveShortcut(dir.Path() + "\\with.lnk", target, "/min --name=\xC3\xA4");
  SaveShortcut(dir.Path() + "\\without.lnk", target, "");

  ShortcutTarget with = ResolveShortcut(dir.Path() + "\\with.lnk");
  EXPECT_EQ(with.result, S_OK);
  EXPECT_TRUE(with.loaded);
  EXPECT_EQ(with.target, target);
  EXPECT_EQ(with.arguments, "/min --name=\xC3\xA4");
  ShortcutTarget without = ResolveShortcut(dir.Path() + "\\without.lnk");
  EXPECT_EQ(without.target, target);
  EXPECT_EQ(without.arguments, "");

  // Arguments beyond 255 characters and a target beyond MAX_PATH are kept whole.
  const std::string longTarget = dir.DeepFolder(300) + "\\lang.exe";
  WriteFileAt(longTarget, "MZ");
  const std::string longArguments = "-x " + std::string(600, 'a');
  SaveShortcut(dir.Path() + "\\long.lnk", longTarget, longArguments);
  ShortcutTarget longOne = ResolveShortcut(dir.Path() + "\\long.lnk");
  EXPECT_TRUE(longOne.loaded);
  EXPECT_EQ(longOne.arguments, longArguments);
  EXPECT_TRUE(longOne.target == longTarget || longOne.target.size() < MAX_PATH) << longOne.target;
  EXPECT_FALSE(longOne.target.empty());

  // A shortcut whose target is gone still tells where it pointed, and is not
  // rewritten.
  const std::string lnkBytes = test::ReadBytes(dir.Path() + "\\without.lnk");
  DeleteFileW(win32::Widen(target).c_str());
  ShortcutTarget gone = ResolveShortcut(dir.Path() + "\\without.lnk");
  EXPECT_TRUE(gone.loaded);
  EXPECT_EQ(gone.target, target);
  EXPECT_EQ(test::ReadBytes(dir.Path() + "\\without.lnk"), lnkBytes);

  // Not a shortcut, or no file: not loaded, and the code says why.
  WriteFileAt(dir.Path() + "\\junk.lnk", "not a shortcut");
  ShortcutTarget junk = ResolveShortcut(dir.Path() + "\\junk.lnk");
  EXPECT_FALSE(junk.loaded);
  EXPECT_TRUE(FAILED(junk.result));
  EXPECT_FALSE(ResolveShortcut(dir.Path() + "\\missing.lnk").loaded);
  EXPECT_FALSE(ResolveShortcut("").loaded);
}

TEST(Shortcuts, ListShortcutsInTakesEveryShortcutAndNothingElse) {
  LongScratch dir;
  const std::string target = dir.Path() + "\\app.exe";
  WriteFileAt(target, "MZ");
  SaveShortcut(dir.Path() + "\\b-zwei.lnk", target, "-x");
  SaveShortcut(dir.Path() + "\\A-eins \xC3\xA4.lnk", target, "");
  SaveShortcut(dir.Path() + "\\versteckt.LNK", target, "/h");
  SetFileAttributesW(win32::Widen(dir.Path() + "\\versteckt.LNK").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  WriteFileAt(dir.Path() + "\\kaputt.lnk", "junk");
  SaveShortcut(dir.Path() + "\\other.lnkx", target, "");
  WriteFileAt(dir.Path() + "\\plain.txt", "x");
  dir.Folder("ordner.lnk");

  const auto list = ListShortcutsIn(dir.Path() + "\\");
  ASSERT_EQ(list.size(), 4u);
  EXPECT_EQ(list[0].name, "A-eins \xC3\xA4");
  EXPECT_EQ(list[0].text, target + " ");  // a blank ends the text when there are no arguments
  EXPECT_EQ(list[1].name, "b-zwei");
  EXPECT_EQ(list[1].text, target + " -x");
  EXPECT_EQ(list[2].name, "kaputt");
  EXPECT_EQ(list[2].text, " ");
  EXPECT_EQ(list[3].name, "versteckt");
  EXPECT_EQ(list[3].text, target + " /h");

  EXPECT_TRUE(ListShortcutsIn(dir.Path() + "\\missing").empty());
  EXPECT_TRUE(ListShortcutsIn("").empty());
  // Shortcuts in a folder whose path is longer than MAX_PATH.
  const std::string deep = dir.DeepFolder(300);
  SaveShortcut(deep + "\\tief.lnk", target, "");
  const auto deepList = ListShortcutsIn(deep);
  ASSERT_EQ(deepList.size(), 1u);
  EXPECT_EQ(deepList[0].text, target + " ");
}

TEST(Shortcuts, BothStartupFolders) {
  LongScratch dir;
  const std::string target = dir.Path() + "\\Start \xE6\x97\xA5.exe";
  WriteFileAt(target, "MZ");
  const std::string name = "WardenlakeTest \xC3\xA4 " + std::to_string(GetCurrentProcessId());
  for (int folder : {kUserStartupFolder, kCommonStartupFolder}) {
    const std::string path = GetSpecialFolderPath(nullptr, folder);
    ASSERT_FALSE(path.empty()) << folder;
    ScopedFile with(path + "\\" + name + " mit.lnk");
    ScopedFile without(path + "\\" + name + " ohne.lnk");
    SaveShortcut(with.Path(), target, "/autostart");
    SaveShortcut(without.Path(), target, "");

    const auto list = ListStartupShortcuts(folder);
    const StartupShortcut* a = Find(list, name + " mit");
    const StartupShortcut* b = Find(list, name + " ohne");
    ASSERT_TRUE(a && b) << folder;
    EXPECT_EQ(a->text, target + " /autostart");
    EXPECT_EQ(b->text, target + " ");
    const int index = static_cast<int>(b - list.data());
    EXPECT_EQ(GetStartupShortcutText(folder, index), target + " ");
    EXPECT_EQ(GetStartupShortcutText(folder, -1), "");
    EXPECT_EQ(GetStartupShortcutText(folder, static_cast<int>(list.size()) + 5), "");
  }
  EXPECT_TRUE(ListStartupShortcuts(-12345).empty());
  EXPECT_EQ(GetStartupShortcutText(-12345, 0), "");
}

}  // namespace
}  // namespace wl
