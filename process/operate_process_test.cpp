#include "process/operate_process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <thread>

#include "process/process_rows.h"
#include "process/testing/child_process.h"

namespace wl {
namespace {

using namespace std::chrono_literals;

// Waits until a window of the process shows up in the window table.
bool WaitForWindowOf(DWORD id) {
  for (int i = 0; i < 100; ++i) {
    for (const auto& e : RefreshWindowTable())
      if (e.processId == id && e.visible) return true;
    Sleep(50);
  }
  return false;
}

std::string ImageOf(const test::ChildProcess& child) {
  wchar_t image[MAX_PATH];
  DWORD size = MAX_PATH;
  return QueryFullProcessImageNameW(child.Handle(), 0, image, &size) ? win32::Narrow(std::wstring_view(image, size))
                                                                     : std::string();
}

// Removing a flagged program ends the processes of that very file: a copy
// of it in another folder, with the same name, keeps running.
TEST(EndProcessesOfFile, EndsOnlyTheProcessesOfThatVeryFileWindowlessIncluded) {
  test::ScratchDir dir, dir2;
  test::ChildProcess idle(test::IdleCommand(dir, "wlidle.exe"), true);
  test::ChildProcess copy(test::IdleCommand(dir2, "wlidle.exe"), true);
  test::ChildProcess longer(test::IdleCommand(dir, "xwlidle.exe"), true);
  test::ChildProcess notepad("notepad.exe");
  test::ChildProcess mynotepad(test::IdleCommand(dir, "notepad.exe", true), true);
  ASSERT_TRUE(idle.Started() && copy.Started() && longer.Started() && notepad.Started() && mynotepad.Started());
  ASSERT_TRUE(WaitForWindowOf(notepad.Id()));
  ASSERT_TRUE(WaitForWindowOf(mynotepad.Id()));

  // The path as a list shows it (upper-cased): the same file.
  std::string shown = dir.File("wlidle.exe");
  for (char& c : shown) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const EndProgramResult ended = EndProcessesOfFile(shown);
  EXPECT_EQ(ended.ended, (std::vector<ProcessOfFile>{{"wlidle.exe", idle.Id()}}));
  EXPECT_EQ(ended.Text(), "Ended wlidle.exe (" + std::to_string(idle.Id()) + ").");
  EXPECT_TRUE(idle.WaitEnded(0));
  EXPECT_TRUE(copy.Running());
  EXPECT_TRUE(longer.Running());

  // The copy's path written another way ("..") is its file.
  const std::string folder2 = dir2.Path().filename().string();
  EXPECT_EQ(EndProcessesOfFile(dir2.File("..\\" + folder2 + "\\wlidle.exe")).ended.size(), 1u);
  EXPECT_TRUE(copy.WaitEnded(0));

  // A program with a window, by the path it runs from: the program of that
  // name in another folder keeps running.
  const std::string notepadImage = ImageOf(notepad);
  ASSERT_FALSE(notepadImage.empty());
  EXPECT_EQ(EndProcessesOfFile(notepadImage).ended.size(), 1u);
  EXPECT_TRUE(notepad.WaitEnded(0));
  EXPECT_TRUE(mynotepad.Running());

  // None left, nothing named: nothing to do, nothing said.
  EXPECT_EQ(EndProcessesOfFile(dir.File("wlidle.exe")).Text(), "");
  EXPECT_EQ(EndProcessesOfFile("").Text(), "");
  EXPECT_TRUE(longer.Running());
}

// Never this program, never what Windows cannot do without: the service
// manager runs under Wine too, and removing an entry with its program left
// running says so.
TEST(EndProcessesOfFile, NeverEndsTheProgramItselfNorWindowsOwnProcesses) {
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  EXPECT_TRUE(EndProcessesOfFile(win32::Narrow(path), 100ms).ended.empty());
  EXPECT_FALSE(TerminateProcessById(GetCurrentProcessId(), 100ms));

  wchar_t system[MAX_PATH];
  const UINT n = GetSystemDirectoryW(system, MAX_PATH);
  const std::string services = win32::Narrow(std::wstring_view(system, n)) + "\\services.exe";
  const std::vector<DWORD> running = FindProcessesByExecutableName("services.exe");
  ASSERT_FALSE(running.empty());
  const EndProgramResult spared = EndProcessesOfFile(services, 100ms);
  EXPECT_TRUE(spared.ended.empty());
  ASSERT_FALSE(spared.spared.empty());
  EXPECT_NE(spared.Text().find("Left running services.exe"), std::string::npos) << spared.Text();
  EXPECT_EQ(FindProcessesByExecutableName("services.exe"), running);
}

TEST(TerminateProcessById, EndsTheProcessAndAnswersForOneAlreadyGone) {
  test::ScratchDir dir;
  test::ChildProcess child(test::IdleCommand(dir, "wlidlebyid.exe"), true);
  ASSERT_TRUE(child.Started());
  EXPECT_TRUE(TerminateProcessById(child.Id()));
  EXPECT_TRUE(child.WaitEnded(0));
  EXPECT_TRUE(TerminateProcessById(child.Id()));  // gone already
}

TEST(RefreshWindowTable, NamesTheOwnerOfEachWindow) {
  test::ScratchDir dir;
  test::ChildProcess child(test::IdleCommand(dir, "WlIdleWin.exe", true), true);
  ASSERT_TRUE(child.Started());
  ASSERT_TRUE(WaitForWindowOf(child.Id()));
  const auto table = RefreshWindowTable();
  const auto it = std::find_if(table.begin(), table.end(), [&](const WindowEntry& e) {
    return e.processId == child.Id() && e.title == "wlidle";
  });
  ASSERT_NE(it, table.end());
  EXPECT_EQ(it->executableName, "WLIDLEWIN.EXE");
  EXPECT_EQ(it->className, "WardenlakeIdleWindow");
  EXPECT_TRUE(it->visible);
  EXPECT_NE(it->threadId, 0u);
}

TEST(UOperateProcess, DebugPrivilegeAndProcessCount) {
  EXPECT_TRUE(EnableDebugPrivilege(true));
  // The performance counter is missing under Wine: then the count raises its
  // status as "Error: " and eight hex digits.
  try {
    EXPECT_GT(CountProcesses(), 0);
  } catch (const std::runtime_error& e) {
    const std::string what = e.what();
    ASSERT_EQ(what.size(), 15u) << what;
    EXPECT_EQ(what.substr(0, 7), "Error: ");
    EXPECT_EQ(what.find_first_not_of("0123456789ABCDEF", 7), std::string::npos) << what;
  }
}

}  // namespace
}  // namespace wl
