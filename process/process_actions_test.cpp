#include "process/process_actions.h"

#include <gtest/gtest.h>

#include "process/process_scan.h"
#include "process/testing/child_process.h"
#include "win32/file_path.h"

namespace wl {
namespace {

ProcessRow RowOf(const test::ChildProcess& child) { return ReadProcessRow(child.Id(), ReferenceTables{}); }

TEST(ProcessActions, KillEndsOnlyTheSelectedInstance) {
  test::ScratchDir dir;
  test::ChildProcess first(test::IdleCommand(dir, "wlkill.exe"), true);
  test::ChildProcess second(test::Quoted(dir.File("wlkill.exe")), true);
  ASSERT_TRUE(first.Running() && second.Running());
  EXPECT_TRUE(KillProcess(RowOf(first)));
  EXPECT_TRUE(first.WaitEnded(0));
  EXPECT_TRUE(second.Running());
}

TEST(ProcessActions, DeleteFileEndsTheProgramAndRecyclesIt) {
  test::ScratchDir dir, elsewhere;
  test::ChildProcess first(test::IdleCommand(dir, "wldelete.exe"), true);
  test::ChildProcess second(test::Quoted(dir.File("wldelete.exe")), true);
  test::ChildProcess sameName(test::IdleCommand(elsewhere, "wldelete.exe"), true);
  ASSERT_TRUE(first.Running() && second.Running() && sameName.Running());
  const ProcessRow row = RowOf(first);
  ASSERT_EQ(AsciiLower(row.MainExecutable()), AsciiLower(dir.File("wldelete.exe")));
  EndProgramResult ended;
  const WriteResult result = DeleteProcessFile(row, &ended);
  EXPECT_TRUE(result.ok()) << result.message;
  EXPECT_TRUE(first.WaitEnded(0));
  EXPECT_TRUE(second.WaitEnded(0));
  EXPECT_EQ(ended.ended.size(), 2u) << ended.Text();
  // Only the processes of that very file: the program of that name elsewhere runs on.
  EXPECT_TRUE(sameName.Running());
  EXPECT_FALSE(win32::FileExists(dir.File("wldelete.exe")));

  // A row without a readable program file moves nothing and says so.
  EXPECT_FALSE(DeleteProcessFile(ProcessRow{}).ok());
}

}  // namespace
}  // namespace wl
