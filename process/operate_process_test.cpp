#include "process/operate_process.h"

#include <gtest/gtest.h>

#include <algorithm>
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

TEST(TerminateProcessByName, EndsExactNameMatchesOnlyWindowlessIncluded) {
  test::ScratchDir dir, dir2;
  // Windowless: one of the exact name, one whose name merely contains it.
  test::ChildProcess idle(test::IdleCommand(dir, "wlidle.exe"), true);
  test::ChildProcess idle2(test::IdleCommand(dir2, "WLIdle.exe"), true);
  test::ChildProcess longer(test::IdleCommand(dir, "xwlidle.exe"), true);
  // With windows: the real notepad and a program whose name contains its name.
  test::ChildProcess notepad("notepad.exe");
  test::ChildProcess mynotepad(test::IdleCommand(dir, "mynotepad.exe", true), true);
  ASSERT_TRUE(idle.Started() && idle2.Started() && longer.Started() && notepad.Started() && mynotepad.Started());
  ASSERT_TRUE(WaitForWindowOf(notepad.Id()));
  ASSERT_TRUE(WaitForWindowOf(mynotepad.Id()));

  EXPECT_TRUE(TerminateProcessByName("NOTEPAD.EXE"));
  EXPECT_TRUE(notepad.WaitEnded(0));
  EXPECT_TRUE(mynotepad.Running());

  // Callers pass a full path; the folder and the case do not matter.
  EXPECT_TRUE(TerminateProcessByName("C:\\Some Folder\\WLIDLE.EXE"));
  EXPECT_TRUE(idle.WaitEnded(0));
  EXPECT_TRUE(idle2.WaitEnded(0));
  EXPECT_TRUE(longer.Running());

  EXPECT_TRUE(TerminateProcessByName("wlidle.exe"));  // none left: nothing to do
  EXPECT_FALSE(TerminateProcessByName(""));
  EXPECT_FALSE(TerminateProcessByName("C:\\folder\\"));
  EXPECT_TRUE(mynotepad.Running());
  EXPECT_TRUE(longer.Running());
}

TEST(TerminateProcessByName, NeverEndsTheProgramItself) {
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  EXPECT_FALSE(TerminateProcessByName(win32::Narrow(path), 100ms));
  EXPECT_FALSE(TerminateProcessById(GetCurrentProcessId(), 100ms));
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
