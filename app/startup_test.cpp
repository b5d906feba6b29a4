// Wardenlake.exe started as a separate process, from a folder of its own:
// with a good, a missing and a damaged Ref.dbd beside it, and a second start
// while the first runs.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "app/status_page.h"
#include "ui/ui_test_support.h"
#include "core/utf8_path.h"
#include "refdb/reference_tables.h"
#include "refdb/zlb_archive.h"
#include "win32/handles.h"
#include "win32/unicode.h"

namespace wl::app {

namespace test = ui::test;
namespace {

using ::testing::HasSubstr;
using wl::test::ScratchDir;

constexpr DWORD kWaitMs = 30000;

struct Child {
  win32::UniqueHandle process;
  DWORD pid = 0;
};

class StartupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::EnsureUi();
    folder_ = Utf8FromPath(dir_.Path());
    const std::wstring from = win32::Widen(wl::test::BinaryDir() + "\\Wardenlake.exe");
    ASSERT_TRUE(CopyFileW(from.c_str(), win32::Widen(Exe()).c_str(), FALSE));
  }
  void TearDown() override {
    // End what is still running, by handle, and wait for it.
    for (auto& c : children_)
      if (c.process && WaitForSingleObject(c.process.get(), 0) == WAIT_TIMEOUT) {
        TerminateProcess(c.process.get(), 99);
        WaitForSingleObject(c.process.get(), kWaitMs);
      }
  }

  std::string Exe() const { return folder_ + "\\Wardenlake.exe"; }
  void CopyGoodDatabase() {
    const std::wstring from = win32::Widen(wl::test::BinaryDir() + "\\Ref.dbd");
    ASSERT_TRUE(CopyFileW(from.c_str(), win32::Widen(folder_ + "\\Ref.dbd").c_str(), FALSE));
  }

  // Started without inheriting any of the test's handles.
  Child& Launch() {
    std::wstring cmd = L"\"" + win32::Widen(Exe()) + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    EXPECT_TRUE(CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               win32::Widen(folder_).c_str(), &si, &pi));
    CloseHandle(pi.hThread);
    children_.push_back({win32::UniqueHandle(pi.hProcess), pi.dwProcessId});
    return children_.back();
  }

  static HWND WaitForWindow(const Child& c, const wchar_t* className) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < kWaitMs) {
      for (HWND h : test::ProcessWindows(c.pid, className))
        if (IsWindowVisible(h)) return h;
      if (WaitForSingleObject(c.process.get(), 50) != WAIT_TIMEOUT) return nullptr;
    }
    return nullptr;
  }
  static int WaitForExit(const Child& c) {
    if (WaitForSingleObject(c.process.get(), kWaitMs) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    GetExitCodeProcess(c.process.get(), &code);
    return static_cast<int>(code);
  }
  static bool HasVisibleMainWindow(const Child& c) {
    for (HWND h : test::ProcessWindows(c.pid, L"WardenlakeMainWindow"))
      if (IsWindowVisible(h)) return true;
    return false;
  }
  static std::string Label(HWND main, int id) {
    HWND label = test::FindDescendant(main, id);
    return label ? win32::GetText(label) : std::string("(no label)");
  }

  ScratchDir dir_{"wlstart"};
  std::string folder_;
  std::deque<Child> children_;  // references to its elements stay valid
};

TEST_F(StartupTest, WithItsDatabaseTheProgramShowsTheStatusValuesAndEndsCleanly) {
  CopyGoodDatabase();
  TZLBArchive archive;
  archive.Open(folder_ + "\\Ref.dbd");
  std::string mainDb;
  archive.ExtractByName(mainDb, kMainDb);
  const auto values = ParseMainDb(mainDb);
  ASSERT_TRUE(values);

  Child& c = Launch();
  HWND main = WaitForWindow(c, L"WardenlakeMainWindow");
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(win32::GetText(main), "Wardenlake");
  EXPECT_EQ(Label(main, StatusPage::kDefinitionsLabel), values->definitions);
  EXPECT_EQ(Label(main, StatusPage::kLastUpdatedLabel), values->lastUpdated);
  for (HWND box : test::ProcessWindows(c.pid, L"#32770")) EXPECT_FALSE(IsWindowVisible(box));
  PostMessageW(main, WM_CLOSE, 0, 0);
  EXPECT_EQ(WaitForExit(c), 0);
}

TEST_F(StartupTest, WithoutItsDatabaseTheProgramSaysWhichFileIsMissingAndFails) {
  Child& c = Launch();
  HWND box = WaitForWindow(c, L"#32770");
  ASSERT_NE(box, nullptr);
  const std::string text = test::StaticTexts(box);
  EXPECT_THAT(text, HasSubstr(folder_ + "\\Ref.dbd"));
  EXPECT_FALSE(HasVisibleMainWindow(c));
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  const int code = WaitForExit(c);
  EXPECT_NE(code, 0);
  EXPECT_NE(code, -1);
}

TEST_F(StartupTest, WithADamagedDatabaseTheProgramSaysWhyAndRunsOn) {
  std::string bytes = test::TestArchive("svchost.exe=@Generic host\r\n", "2024-05-01\r\n1234\r\n");
  bytes[bytes.size() / 2] ^= 0x33;
  wl::test::WriteBytes(folder_ + "\\Ref.dbd", bytes);
  Child& c = Launch();
  HWND box = WaitForWindow(c, L"#32770");
  ASSERT_NE(box, nullptr);
  EXPECT_THAT(test::StaticTexts(box), HasSubstr("The archive file appears to be corrupted"));
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  HWND main = WaitForWindow(c, L"WardenlakeMainWindow");
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(Label(main, StatusPage::kDefinitionsLabel), "Not loaded");
  EXPECT_THAT(Label(main, StatusPage::kNotice), HasSubstr("not loaded"));
  PostMessageW(main, WM_CLOSE, 0, 0);
  EXPECT_EQ(WaitForExit(c), 0);
}

TEST_F(StartupTest, ASecondStartEndsAtOnceWithoutAWindow) {
  CopyGoodDatabase();
  Child& first = Launch();
  HWND main = WaitForWindow(first, L"WardenlakeMainWindow");
  ASSERT_NE(main, nullptr);
  Child& second = Launch();
  EXPECT_EQ(WaitForExit(second), 0);
  EXPECT_TRUE(test::ProcessWindows(second.pid).empty());
  EXPECT_EQ(WaitForSingleObject(first.process.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
  PostMessageW(main, WM_CLOSE, 0, 0);
  EXPECT_EQ(WaitForExit(first), 0);
  // Once the first has ended, the program starts again.
  Child& third = Launch();
  HWND again = WaitForWindow(third, L"WardenlakeMainWindow");
  EXPECT_NE(again, nullptr);
  if (again) PostMessageW(again, WM_CLOSE, 0, 0);
  EXPECT_EQ(WaitForExit(third), 0);
}

}  // namespace
}  // namespace wl::app
