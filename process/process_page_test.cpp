// The process page in a window of its own: the process list, the modules of
// the selected process, sorting, and the actions on the selected process.
#include "process/process_page.h"

#include <gtest/gtest.h>

#include <memory>

#include "ui/fake_ui.h"
#include "ui/ui_test_support.h"
#include "process/testing/child_process.h"
#include "core/utf8_path.h"
#include "win32/file_path.h"
#include "win32/unicode.h"

namespace wl {
namespace {

using ui::test::FakeUi;

class ProcessPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui_.answer = IDNO;  // questions are declined unless a test says otherwise
    ui::test::EnsureUi();
    images_ = ui::MakeSharedImages(16);
    ui_.host = CreateWindowExW(WS_EX_CONTROLPARENT, L"STATIC", L"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 900,
                               600, nullptr, nullptr, nullptr, nullptr);
    page_ = std::make_unique<ProcessPage>(context_);
    page_->shellOpen = [this](const std::string& t) { return opened_.push_back("open " + t), true; };
    page_->showProperties = [this](const std::string& p) { return opened_.push_back("properties " + p), true; };
    page_->judgeModule = [](const std::string& path) {
      Judgement j;
      j.verdict = AsciiLower(FileNamePart(path)) == "kernel32.dll" ? Verdict::Trusted : Verdict::Unknown;
      j.windowsFile = j.verdict == Verdict::Trusted;
      return j;
    };
    ASSERT_TRUE(page_->Create(ui_.host));
    MoveWindow(page_->hwnd(), 0, 0, 880, 560, TRUE);
    ShowWindow(page_->hwnd(), SW_SHOW);
  }
  void TearDown() override {
    page_.reset();
    DestroyWindow(ui_.host);
  }

  int RowOf(DWORD id) const {
    const auto& rows = page_->List().Rows();
    for (std::size_t i = 0; i < rows.size(); ++i)
      if (rows[i].id == id) return static_cast<int>(i);
    return -1;
  }
  // Selects the process's row as a click does.
  void ClickProcess(DWORD id) {
    const int row = RowOf(id);
    ASSERT_GE(row, 0) << id;
    page_->List().Select(static_cast<std::size_t>(row));
    page_->ProListClick();
  }
  std::string OwnPath() const {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return win32::Narrow(path);
  }

  ReferenceTables tables_;
  HijackList hijack_;
  ui::SharedImages images_;
  FakeUi ui_;
  ui::PageContext context_{tables_, hijack_, images_, ui_};
  std::unique_ptr<ProcessPage> page_;
  std::vector<std::string> opened_;
};

TEST_F(ProcessPageTest, ClickingAProcessShowsItsModulesMainExecutableFirst) {
  page_->RefreshClick();
  EXPECT_TRUE(page_->ModuleList().Empty());
  ClickProcess(GetCurrentProcessId());
  auto& modules = page_->ModuleList();
  ASSERT_GE(modules.Count(), 3u);
  EXPECT_EQ(AsciiLower(modules.CellText(0, 0)), AsciiLower(OwnPath()));
  const ProcessRow& own = page_->List().Rows()[static_cast<std::size_t>(RowOf(GetCurrentProcessId()))];
  EXPECT_EQ(modules.CellText(0, 1), KilobyteText(own.modules[0].imageSize));
  EXPECT_EQ(modules.CellText(0, 2), AddressText(own.modules[0].entryPoint));
  EXPECT_EQ(modules.CellText(0, 3), "Distrustful File");
  bool sawSystemFile = false;
  for (const auto& m : modules.Rows())
    if (m.analysis == "Windows System File") sawSystemFile = true;
  EXPECT_TRUE(sawSystemFile);

  // A refresh leaves the modules shown until a row is clicked.
  const std::size_t shown = modules.Count();
  page_->RefreshClick();
  EXPECT_EQ(modules.Count(), shown);
}

TEST_F(ProcessPageTest, ASortedListKeepsEachRowsOwnModules) {
  test::ScratchDir dir;
  test::ChildProcess child(test::IdleCommand(dir, "aaa_wlsorted.exe"), true);
  ASSERT_TRUE(child.Running());
  page_->RefreshClick();
  page_->ProListColumnClick();
  const auto& rows = page_->List().Rows();
  for (std::size_t i = 1; i < rows.size(); ++i)
    EXPECT_LE(CompareStringW(LOCALE_USER_DEFAULT, 0, win32::Widen(rows[i - 1].name).c_str(), -1,
                             win32::Widen(rows[i].name).c_str(), -1),
              CSTR_EQUAL);
  ClickProcess(child.Id());
  EXPECT_EQ(AsciiLower(page_->ModuleList().CellText(0, 0)), AsciiLower(dir.File("aaa_wlsorted.exe")));
  ClickProcess(GetCurrentProcessId());
  EXPECT_EQ(AsciiLower(page_->ModuleList().CellText(0, 0)), AsciiLower(OwnPath()));
  // The module list sorts by its own first column.
  page_->ModuleListColumnClick();
  EXPECT_TRUE(page_->ModuleList().SortsByCaption());
  EXPECT_FALSE(page_->List().Rows().empty());
}

TEST_F(ProcessPageTest, ActionsFollowTheSelectionAndActOnTheSelectedProcess) {
  test::ScratchDir dir;
  test::ChildProcess child(test::IdleCommand(dir, "wlpageact.exe"), true);
  ASSERT_TRUE(child.Running());
  page_->RefreshClick();
  const int actions[] = {ProcessPage::kTerminateProcessMenuItem, ProcessPage::kKillProcessButton,
                         ProcessPage::kDeleteFileMenuItem, ProcessPage::kOpenDirectoryMenuItem,
                         ProcessPage::kFilePropertyMenuItem};
  for (int id : actions) EXPECT_FALSE(page_->IsActionEnabled(id)) << id;
  EXPECT_TRUE(page_->IsActionEnabled(ProcessPage::kRefreshMenuItem));

  // The popup on a row that was never clicked: the actions take that row.
  ClickProcess(GetCurrentProcessId());
  page_->List().Select(static_cast<std::size_t>(RowOf(child.Id())));
  page_->PMProcessPopup();
  for (int id : actions) EXPECT_TRUE(page_->IsActionEnabled(id)) << id;
  page_->OpenDirectoryClick();
  page_->FilePropertyClick();
  ASSERT_EQ(opened_.size(), 2u);
  EXPECT_EQ(AsciiLower(opened_[0]), AsciiLower("open " + Utf8FromPath(dir.Path())));
  EXPECT_EQ(AsciiLower(opened_[1]), AsciiLower("properties " + dir.File("wlpageact.exe")));

  // "Delete File" answered No: nothing ends, nothing moves; the lists are renewed.
  ui_.answer = IDNO;
  page_->DeleteFileClick();
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0], "Remove File|Are you sure to remove this file?");
  EXPECT_TRUE(child.Running());
  EXPECT_TRUE(win32::FileExists(dir.File("wlpageact.exe")));
  EXPECT_TRUE(page_->ModuleList().Empty());
  EXPECT_GE(RowOf(child.Id()), 0);

  // "Kill Process" ends it; the list no longer holds it.
  page_->List().Select(static_cast<std::size_t>(RowOf(child.Id())));
  page_->RunPopup();
  EXPECT_TRUE(page_->InvokeAction(ProcessPage::kKillProcessButton));
  EXPECT_TRUE(child.WaitEnded(0));
  EXPECT_EQ(RowOf(child.Id()), -1);
  EXPECT_TRUE(page_->ModuleList().Empty());
  EXPECT_FALSE(page_->IsActionEnabled(ProcessPage::kKillProcessButton));
}

TEST_F(ProcessPageTest, DeleteFileEndsTheProgramAndRecyclesIt) {
  test::ScratchDir dir;
  test::ChildProcess child(test::IdleCommand(dir, "wlpagedel.exe"), true);
  ASSERT_TRUE(child.Running());
  page_->RefreshClick();
  page_->List().Select(static_cast<std::size_t>(RowOf(child.Id())));
  ui_.answer = IDYES;
  page_->DeleteFileClick();
  EXPECT_TRUE(child.WaitEnded(0));
  EXPECT_FALSE(win32::FileExists(dir.File("wlpagedel.exe")));
  EXPECT_EQ(ui_.messages.size(), 1u);  // the question only
}

}  // namespace
}  // namespace wl
