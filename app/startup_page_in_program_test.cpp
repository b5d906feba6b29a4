// The Startup page inside the program: it uses the program's "Startup Setup"
// dialog and is filled by its navigation item.
#include <gtest/gtest.h>

#include "app/application.h"
#include "autorun/startup_page.h"
#include "autorun/testing/autorun_fixture.h"
#include "core/utf8_path.h"
#include "tests/support/test_support.h"
#include "ui/list_page.h"
#include "ui/ui_test_support.h"

namespace wl {
namespace {

using test::ScopedValues;
using test::UniqueName;

const HKEY CU = HKEY_CURRENT_USER;

TEST(StartupPageInTheProgram, UsesTheProgramsDialogAndIsFilledByItsNavigationItem) {
  ui::test::EnsureUi();
  ScopedValues values;
  values.String(CU, test::kRun, UniqueName("nav"), "C:\\wl\\nav.exe");
  wl::test::ScratchDir dir("wlstartup");
  wl::test::WriteBytes(dir.File("Ref.dbd"), ui::test::TestArchive("explorer.exe=@Shell\r\n", "2024-01-01\r\n1\r\n"));
  app::MainOptions options;
  options.appPath = Utf8FromPath(dir.Path()) + "\\";
  options.quitOnDestroy = false;
  app::Application program(options);
  ASSERT_TRUE(program.CreateWindows());
  auto* page = dynamic_cast<StartupPage*>(program.Main().PageAt("autorun"));
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(&page->StartupSetup(), &program.StartupSetup());
  program.Main().OpenPage("autorun");
  EXPECT_EQ(program.Main().ActivePage(), "autorun");
  EXPECT_FALSE(page->IsEmpty());
  EXPECT_NE(dynamic_cast<ui::ListPageBase*>(program.Main().PageAt("processes")), nullptr);
}

}  // namespace
}  // namespace wl
