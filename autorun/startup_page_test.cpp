// The Startup page in a window of its own: the scan into StartupList and
// ProgramIcons, the actions and their enabling, the "Startup Setup" dialog.
#include "autorun/startup_page.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "ui/fake_ui.h"
#include "ui/ui_test_support.h"
#include "autorun/testing/autorun_fixture.h"
#include "core/utf8_path.h"
#include "judge/windows_facts.h"
#include "process/process_rows.h"
#include "documents/scan_document.h"
#include "sysroutines/test_files.h"
#include "tests/support/test_support.h"

namespace wl {
namespace {

using test::ScopedValues;
using test::UniqueName;

const HKEY CU = HKEY_CURRENT_USER;

using ui::test::FakeUi;

// The pixels of one image of a list, drawn on white.
std::vector<uint32_t> Pixels(HIMAGELIST list, int image) {
  int w = 0, h = 0;
  ImageList_GetIconSize(list, &w, &h);
  BITMAPINFO bi{};
  bi.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bmp = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(dc, bmp);
  PatBlt(dc, 0, 0, w, h, WHITENESS);
  ImageList_Draw(list, image, dc, 0, 0, ILD_NORMAL);
  GdiFlush();
  std::vector<uint32_t> pixels(static_cast<const uint32_t*>(bits), static_cast<const uint32_t*>(bits) + w * h);
  SelectObject(dc, old);
  DeleteObject(bmp);
  DeleteDC(dc);
  return pixels;
}

class StartupPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui::test::EnsureUi();
    images_ = ui::MakeSharedImages(16);
    ui_.host = CreateWindowExW(WS_EX_CONTROLPARENT, L"STATIC", L"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 900,
                               500, nullptr, nullptr, nullptr, nullptr);
    page_ = std::make_unique<StartupPage>(context_);
    page_->places = [this] { return scratch_.Places(); };
    page_->shellOpen = [this](const std::string& t) { return opened_.push_back("open " + t), true; };
    page_->showProperties = [this](const std::string& p) { return opened_.push_back("properties " + p), true; };
    page_->jumpToRegistry = [this](const std::string& k, const std::string& v) {
      return opened_.push_back("registry " + k + "|" + v), true;
    };
    page_->showModal = [this](win32::Dialog& d) {
      auto& form = dynamic_cast<StartupSetupDialog&>(d);
      ++modals_;
      if (onModal_) onModal_(form);
      return IDOK;
    };
    ASSERT_TRUE(page_->Create(ui_.host));
    MoveWindow(page_->hwnd(), 0, 0, 880, 460, TRUE);
    ShowWindow(page_->hwnd(), SW_SHOW);
  }
  void TearDown() override {
    page_.reset();
    DestroyWindow(ui_.host);
  }

  int RowOf(const std::string& name) const {
    const auto& rows = page_->List().Rows();
    for (std::size_t i = 0; i < rows.size(); ++i)
      if (rows[i].entry.itemName == name) return static_cast<int>(i);
    return -1;
  }
  void SelectRow(const std::string& name) {
    const int i = RowOf(name);
    ASSERT_GE(i, 0) << name;
    page_->List().Select(static_cast<std::size_t>(i));
    page_->RunPopup();
  }
  int CellImage(int row, int column) {
    LVITEMW item{};
    item.mask = LVIF_IMAGE;
    item.iItem = row;
    item.iSubItem = column;
    SendMessageW(page_->List().hwnd(), LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    return item.iImage;
  }

  ScopedValues values_;
  test::ScratchPlaces scratch_;
  ReferenceTables tables_;
  HijackList hijack_;
  ui::SharedImages images_;
  FakeUi ui_;
  ui::PageContext context_{tables_, hijack_, images_, ui_};
  std::unique_ptr<StartupPage> page_;
  std::vector<std::string> opened_;
  int modals_ = 0;
  std::function<void(StartupSetupDialog&)> onModal_;
};

TEST_F(StartupPageTest, EachRefreshGivesOneIconPerRowAndAppendsItsReportRows) {
  const std::string name = UniqueName("icon"), same = UniqueName("icon-same");
  values_.String(CU, test::kRunOnce, name, "C:\\wl\\icon.exe");
  values_.String(CU, test::kRunOnce, same, "\"C:\\wl 2\\other.EXE\" /x");
  for (int round = 1; round <= 2; ++round) {
    const std::size_t before = hijack_.Count();
    page_->RefreshClick();
    const auto& rows = page_->List().Rows();
    EXPECT_EQ(page_->ProgramIcons().Count(), static_cast<int>(kFixedStatusImages + rows.size()));
    for (std::size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(rows[i].image, static_cast<int>(i) + 3);
    const int row = RowOf(name);
    ASSERT_GE(row, 0);
    EXPECT_EQ(CellImage(row, 0), row + 3);
    EXPECT_EQ(CellImage(row, 3), kStatusWarning);
    EXPECT_EQ(page_->List().CellText(static_cast<std::size_t>(row), 3), "(Suspicious) File not found");
    EXPECT_EQ(page_->List().CellText(static_cast<std::size_t>(row), 4), "(File not found)");
    // Every refresh appends its report rows; only the hijack scan clears them.
    int reported = 0, now = 0;
    for (std::size_t i = 0; i < hijack_.Count(); ++i) {
      const HijackRow& h = hijack_.Rows()[i];
      if (h.itemName != name) continue;
      ++reported;
      if (i < before) continue;
      ++now;
      EXPECT_EQ(h.index, row);
      EXPECT_EQ(h.image, 21);
      EXPECT_EQ(h.description, "Startup Item");
    }
    EXPECT_EQ(now, 1);
    EXPECT_EQ(reported, round);
  }
  // Rows of one file type show the same picture, whichever of them drew it.
  HIMAGELIST list = page_->ProgramIcons().get();
  const auto first = Pixels(list, RowOf(name) + 3), second = Pixels(list, RowOf(same) + 3);
  EXPECT_EQ(first, second);
  EXPECT_NE(first, std::vector<uint32_t>(first.size(), 0xFFFFFFFFu));  // not blank
}

TEST_F(StartupPageTest, ActionsFollowTheSelection) {
  const std::string name = UniqueName("sel");
  values_.String(CU, test::kRun, name, "C:\\wl\\sel.exe");
  page_->RefreshClick();
  const int actions[] = {StartupPage::kSetupMenuItem,        StartupPage::kDeleteItemMenuItem,
                         StartupPage::kFilePropertyMenuItem, StartupPage::kOpenDirectoryMenuItem,
                         StartupPage::kViewEntryMenuItem,    StartupPage::kDeleteItemButton};
  for (int id : actions) EXPECT_FALSE(page_->IsActionEnabled(id)) << id;
  EXPECT_FALSE(page_->InvokeAction(StartupPage::kDeleteItemButton));
  page_->LaunchProgramClick();  // "Launch Program" without a row: nothing
  EXPECT_TRUE(opened_.empty());
  EXPECT_EQ(modals_, 0);
  SelectRow(name);
  for (int id : actions) EXPECT_TRUE(page_->IsActionEnabled(id)) << id;
  EXPECT_TRUE(page_->IsActionEnabled(StartupPage::kRefreshMenuItem));
}

TEST_F(StartupPageTest, RemovalThroughTheDialogKeepsTheCheckBoxesAndTheIcons) {
  const std::string first = UniqueName("rm-a"), second = UniqueName("rm-b");
  values_.String(CU, test::kRun, first, "C:\\wl\\first.exe");
  values_.String(CU, test::kRun, second, "C:\\wl\\second.exe");
  page_->RefreshClick();
  const std::size_t count = page_->List().Count();
  const int images = page_->ProgramIcons().Count();
  const int secondImage = page_->List().Rows()[static_cast<std::size_t>(RowOf(second))].image;

  SelectRow(first);
  const int index = RowOf(first);
  onModal_ = [&](StartupSetupDialog& f) {
    EXPECT_EQ(f.ShownPage(), StartupSetupDialog::Page::RemoveItem);
    EXPECT_EQ(f.Text(StartupSetupDialog::kRowIndexLabel), std::to_string(index));
    EXPECT_EQ(f.Text(StartupSetupDialog::kRemoveProgramEdit), "C:\\wl\\first.exe");
    EXPECT_EQ(f.Text(StartupSetupDialog::kRemoveAnalysisText),
              "File CommpanyName:  \r\nDescription:  (Suspicious) File not found\r\nSigner: (File not found)");
    EXPECT_EQ(f.Text(StartupSetupDialog::kDeleteFileCheck), "Also delete program file C:\\wl\\first.exe");
    EXPECT_NE(f.ShownIcon(), nullptr);
    f.SetChecked(StartupSetupDialog::kDeleteEntryCheck, true);
    f.OkClick();
  };
  page_->DeleteItemClick();
  EXPECT_EQ(modals_, 1);
  auto run = win32::RegKey::Open(CU, test::kRun);
  EXPECT_FALSE(run->HasValue(first));
  EXPECT_EQ(RowOf(first), -1);
  EXPECT_EQ(page_->List().Count(), count - 1);
  EXPECT_EQ(page_->ProgramIcons().Count(), images);  // nothing rescanned
  EXPECT_TRUE(ui_.messages.empty());

  // The row below keeps its own icon; the dialog shows that row.
  SelectRow(second);
  EXPECT_EQ(page_->List().Rows()[static_cast<std::size_t>(RowOf(second))].image, secondImage);
  onModal_ = [&](StartupSetupDialog& f) {
    EXPECT_EQ(f.ShownPage(), StartupSetupDialog::Page::General);
    EXPECT_EQ(f.Text(StartupSetupDialog::kRowIndexLabel), std::to_string(RowOf(second)));
    EXPECT_EQ(f.Text(StartupSetupDialog::kItemNameEdit), second);
    EXPECT_EQ(f.Text(StartupSetupDialog::kProgramPathEdit), "C:\\wl\\second.exe");
    f.OkClick();  // "&OK" on "General" only closes
  };
  page_->StartupListDblClick();
  EXPECT_TRUE(run->HasValue(second));

  // The check box chosen last time is still checked; clearing both removes nothing.
  onModal_ = [&](StartupSetupDialog& f) {
    EXPECT_TRUE(f.Checked(StartupSetupDialog::kDeleteEntryCheck));
    EXPECT_FALSE(f.Checked(StartupSetupDialog::kDeleteFileCheck));
    f.SetChecked(StartupSetupDialog::kDeleteEntryCheck, false);
    f.OkClick();
  };
  page_->DeleteItemClick();
  EXPECT_TRUE(run->HasValue(second));
  EXPECT_GE(RowOf(second), 0);
  EXPECT_EQ(modals_, 3);
}

TEST_F(StartupPageTest, RemovalFailuresAreReportedAndTheRowStays) {
  const std::string name = UniqueName("fail");
  values_.String(CU, test::kRun, name, "C:\\wl\\missing.exe /x");
  page_->RefreshClick();
  SelectRow(name);
  onModal_ = [](StartupSetupDialog& f) {
    f.SetChecked(StartupSetupDialog::kDeleteFileCheck, true);
    f.SetChecked(StartupSetupDialog::kDeleteEntryCheck, true);
    f.OkClick();
  };
  {
    ScopedWriteInterceptor denied([](const WriteRequest& r) {
      return r.kind == WriteKind::DeleteRegValue ? uint32_t(ERROR_ACCESS_DENIED) : uint32_t(0);
    });
    page_->DeleteItemClick();
  }
  ASSERT_EQ(ui_.messages.size(), 2u);
  EXPECT_EQ(ui_.messages[0], "Wardenlake|Can not remove C:\\wl\\missing.exe /x");
  EXPECT_NE(ui_.messages[1].find("denied"), std::string::npos) << ui_.messages[1];
  EXPECT_GE(RowOf(name), 0);
  EXPECT_TRUE(win32::RegKey::Open(CU, test::kRun)->HasValue(name));
}

TEST_F(StartupPageTest, ASortedListStaysSortedAndTheReportNamesSortedRows) {
  const std::string z = "WLTest-zz-" + UniqueName("s"), a = "WLTest-aa-" + UniqueName("s");
  values_.String(CU, test::kRun, z, "C:\\wl\\z.exe");
  values_.String(CU, test::kRunOnce, a, "C:\\wl\\a.exe");
  page_->RefreshClick();
  ASSERT_LT(RowOf(z), RowOf(a));  // scan order: Run before RunOnce
  HWND header = ListView_GetHeader(page_->List().hwnd());
  RECT r{};
  Header_GetItemRect(header, 2, &r);  // any column
  ui::test::Click(header, ui::test::Center(r));
  ui::test::Pump();
  EXPECT_GT(RowOf(z), RowOf(a));
  hijack_.Clear();
  page_->RefreshClick();
  EXPECT_GT(RowOf(z), RowOf(a));
  for (const auto& h : hijack_.Rows())
    EXPECT_EQ(page_->List().Rows()[static_cast<std::size_t>(h.index)].entry.itemName, h.itemName);
  EXPECT_FALSE(hijack_.Rows().empty());
}

TEST_F(StartupPageTest, ShellActionsUseTheProgramPath) {
  const std::string name = UniqueName("shell");
  values_.String(CU, test::kRun, name, "\"C:\\Program Files\\WL Test\\app.exe\" /bg");
  const std::string target = scratch_.Folder("target") + "\\linked.exe";
  test::WriteFileAt(target, "MZ");
  test::SaveShortcut(scratch_.Places().commonStartupFolder + "\\Linked.lnk", target, "-x");
  test::ScopedIniValue shell(scratch_.Places().SystemIniPath(), "boot", "shell", "Explorer.exe");
  page_->RefreshClick();

  SelectRow(name);
  page_->LaunchProgramClick();
  page_->OpenDirectoryClick();
  page_->FilePropertyClick();
  page_->ViewEntryClick();
  const std::vector<std::string> expected = {
      "open C:\\PROGRAM FILES\\WL TEST\\APP.EXE", "open C:\\PROGRAM FILES\\WL TEST",
      "properties C:\\PROGRAM FILES\\WL TEST\\APP.EXE", "registry " + std::string(test::kCuRunText) + "|" + name};
  EXPECT_EQ(opened_, expected);

  // "View Entry" opens the folder of a shortcut's program, in either Startup folder.
  opened_.clear();
  SelectRow("Linked");
  page_->ViewEntryClick();
  ASSERT_EQ(opened_.size(), 1u);
  EXPECT_EQ(AsciiLower(opened_[0]), AsciiLower("open " + scratch_.Folder("target")));
  // …and nothing for an INI entry.
  opened_.clear();
  SelectRow("Explorer.exe");
  page_->ViewEntryClick();
  EXPECT_TRUE(opened_.empty());

  page_->UninstallSoftwareClick();
  EXPECT_EQ(ui_.opened, std::vector<std::string>{"software"});
}

TEST_F(StartupPageTest, AddProgramWritesTheRunValueAndRescans) {
  const std::string program = "C:\\Program Files\\WL Test\\" + UniqueName("added") + ".exe";
  values_.Track(CU, test::kRun, RunValueName(program));
  page_->chooseProgram = [&] { return std::optional<std::string>(program); };
  page_->AddProgramClick();
  EXPECT_EQ(win32::RegKey::Open(CU, test::kRun)->ReadString(RunValueName(program)), "\"" + program + "\"");
  const int row = RowOf(RunValueName(program));
  ASSERT_GE(row, 0);
  EXPECT_EQ(page_->List().Rows()[static_cast<std::size_t>(row)].entry.registryKey, test::kCuRunText);
  EXPECT_EQ(page_->ProgramIcons().Count(), static_cast<int>(kFixedStatusImages + page_->List().Count()));

  // Cancelled: nothing written, nothing scanned.
  const std::size_t count = page_->List().Count();
  page_->chooseProgram = [] { return std::optional<std::string>(); };
  page_->AddProgramClick();
  EXPECT_EQ(page_->List().Count(), count);
}

TEST_F(StartupPageTest, TaskRowsCanBeDisabledOrDeletedAndAChangedShellGetsItsDefaultBack) {
  // The user's Winlogon key is read from a private stand-in: parallel tests
  // must not see this test's shell.
  const std::string winlogon = test::kWinlogon, standIn = "Software\\" + UniqueName("winlogon");
  values_.String(CU, standIn, "Shell", "C:\\wl\\shell.exe");
  page_->openKey = [&](HKEY root, const std::string& path) {
    return OpenSourceKeyInRegistry(root, root == CU && path == winlogon ? standIn : path);
  };
  const std::string taskPath = "\\" + UniqueName("page") + "\\Updater";
  page_->listTasks = [&] {
    ScheduledTask task;
    task.path = taskPath;
    task.triggers = {"At log on"};
    task.actions.resize(2);
    task.actions[0].command = "C:\\wl\\up.exe";
    task.actions[1].command = "C:\\wl\\up2.exe";
    TaskListing listing;
    listing.tasks.push_back(task);
    return listing;
  };
  page_->RefreshClick();
  auto rowOfTask = [&] {
    for (std::size_t i = 0; i < page_->List().Count(); ++i)
      if (page_->List().Rows()[i].entry.taskPath == taskPath) return static_cast<int>(i);
    return -1;
  };
  const int task = rowOfTask();
  ASSERT_GE(task, 0);
  page_->List().Select(static_cast<std::size_t>(task));
  page_->RunPopup();
  for (int id : {StartupPage::kDisableTaskMenuItem, StartupPage::kDisableButton})
    EXPECT_TRUE(page_->IsActionEnabled(id));
  for (int id : {StartupPage::kRestoreDefaultMenuItem, StartupPage::kRestoreDefaultButton})
    EXPECT_FALSE(page_->IsActionEnabled(id));

  // Disable asks first; a task the service cannot disable stays as it was
  // and the user reads why.
  ui_.answer = IDNO;
  page_->DisableTaskClick();
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_NE(ui_.messages[0].find("Disable the scheduled task " + taskPath + "?"), std::string::npos);
  ui_.answer = IDYES;
  page_->DisableTaskClick();
  ASSERT_EQ(ui_.messages.size(), 3u);
  EXPECT_NE(ui_.messages[2].find("Could not disable the scheduled task " + taskPath), std::string::npos)
      << ui_.messages[2];
  EXPECT_NE(page_->List().Rows()[static_cast<std::size_t>(task)].entry.details.find("Task enabled"),
            std::string::npos);

  // Removal takes the task with both its rows.
  onModal_ = [](StartupSetupDialog& form) {
    form.SetChecked(StartupSetupDialog::kDeleteFileCheck, false);
    form.SetChecked(StartupSetupDialog::kDeleteEntryCheck, true);
    form.OkClick();
  };
  page_->DeleteItemClick();
  EXPECT_EQ(rowOfTask(), -1);

  // The changed shell: Restore Default asks, writes "explorer.exe", and the
  // row goes.
  const int shell = RowOf("Shell");
  ASSERT_GE(shell, 0);
  EXPECT_EQ(page_->List().Rows()[static_cast<std::size_t>(shell)].entry.registryKey,
            "HKEY_CURRENT_USER\\" + winlogon + "\\");
  SelectRow("Shell");
  for (int id : {StartupPage::kRestoreDefaultMenuItem, StartupPage::kRestoreDefaultButton})
    EXPECT_TRUE(page_->IsActionEnabled(id));
  EXPECT_FALSE(page_->IsActionEnabled(StartupPage::kDisableTaskMenuItem));
  ui_.answer = IDNO;
  const std::size_t before = ui_.messages.size();
  page_->RestoreDefaultClick();
  EXPECT_EQ(ui_.messages.size(), before + 1);
  EXPECT_EQ(RowOf("Shell"), shell);
  // The row names the real key; the write goes there too. Here it is
  // refused, so the real key is left alone and the row stays.
  ui_.answer = IDYES;
  {
    ScopedWriteInterceptor refuse([](const WriteRequest&) { return static_cast<uint32_t>(ERROR_ACCESS_DENIED); });
    page_->RestoreDefaultClick();
  }
  EXPECT_NE(ui_.messages.back().find("Could not write the value \"Shell\""), std::string::npos);
  EXPECT_EQ(RowOf("Shell"), shell);
}

TEST_F(StartupPageTest, TheCategoryFilterShowsOneKindOfPlaceAndARemovedRowStaysGone) {
  const std::string logon = UniqueName("filter-run"), env = "UserInitMprLogonScript";
  values_.String(CU, test::kRun, logon, "C:\\wl\\logon.exe");
  values_.String(CU, "Environment", env, "C:\\wl\\logon.bat");
  page_->RefreshClick();
  const std::size_t all = page_->List().Count();
  ASSERT_GE(RowOf(logon), 0);
  ASSERT_GE(RowOf(env), 0);
  ASSERT_NE(page_->FilterBox(), nullptr);
  EXPECT_EQ(SendMessageW(page_->FilterBox(), CB_GETCOUNT, 0, 0),
            static_cast<LRESULT>(AutorunCategories().size() + 1));

  // Chosen as the user chooses it: the combo box tells the page.
  const auto environment = std::find(AutorunCategories().begin(), AutorunCategories().end(), "Environment");
  const int choice = static_cast<int>(environment - AutorunCategories().begin()) + 1;
  SendMessageW(page_->FilterBox(), CB_SETCURSEL, static_cast<WPARAM>(choice), 0);
  SendMessageW(page_->hwnd(), WM_COMMAND, MAKEWPARAM(102, CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(page_->FilterBox()));
  EXPECT_EQ(page_->FilterChoice(), choice);
  EXPECT_EQ(RowOf(logon), -1);
  ASSERT_GE(RowOf(env), 0);
  for (const auto& row : page_->List().Rows()) EXPECT_EQ(row.entry.category, "Environment");

  // Removed while filtered: it does not come back with the whole list.
  SelectRow(env);
  onModal_ = [](StartupSetupDialog& f) {
    f.SetChecked(StartupSetupDialog::kDeleteEntryCheck, true);
    f.OkClick();
  };
  page_->DeleteItemClick();
  EXPECT_EQ(RowOf(env), -1);
  EXPECT_FALSE(win32::RegKey::Open(CU, "Environment")->HasValue(env));
  page_->ChooseFilter(0);
  EXPECT_EQ(page_->List().Count(), all - 1);
  EXPECT_GE(RowOf(logon), 0);
  EXPECT_EQ(RowOf(env), -1);

  // A refresh keeps the chosen category.
  page_->ChooseFilter(choice);
  page_->RefreshClick();
  EXPECT_EQ(RowOf(logon), -1);
}

// A scan saved as "wlscan scan --format json" saves it, then an entry planted
// and one changed: the compare marks exactly those and says how many.
TEST_F(StartupPageTest, CompareWithSavedMarksTheEntriesNewOrChangedSinceAndWritesNothing) {
  const std::string kept = UniqueName("saved-kept"), changed = UniqueName("saved-changed"),
                    planted = UniqueName("saved-new");
  values_.String(CU, test::kRun, kept, "C:\\wl\\kept.exe");
  values_.String(CU, test::kRun, changed, "C:\\wl\\before.exe");
  test::ScratchDir dir;
  const std::string file = dir.File("saved scan.json");
  {
    const WindowsFacts facts;
    const Judge judge(tables_, facts);
    AutorunScanResult scan = ScanAutorun(judge, scratch_.Places(), OpenSourceKeyInRegistry, ListTasksOfThisSystem);
    test::WriteBytes(file, ScanJson({}, ScanItems("autorun", AutorunPageTextOf(std::move(scan)))));
  }
  values_.String(CU, test::kRun, changed, "C:\\wl\\after.exe");
  values_.String(CU, test::kRun, planted, "C:\\wl\\new.exe");
  page_->RefreshClick();
  ASSERT_GE(RowOf(planted), 0);
  for (const auto& row : page_->List().Rows()) EXPECT_EQ(row.sinceSaved, "");

  // Cancelled: nothing happens.
  page_->chooseSaved = [] { return std::nullopt; };
  EXPECT_TRUE(page_->InvokeAction(StartupPage::kCompareSaved));
  EXPECT_TRUE(ui_.statuses.empty());

  std::string chosen = file;
  page_->chooseSaved = [&chosen] { return std::optional<std::string>(chosen); };
  const std::string savedBytes = test::ReadBytes(file);
  EXPECT_TRUE(page_->InvokeAction(StartupPage::kCompareSaved));
  auto shown = [this](const std::string& name) {
    const int i = RowOf(name);
    return i < 0 ? std::string("(no row)") : page_->List().View().ShownText(static_cast<std::size_t>(i), 6);
  };
  EXPECT_EQ(shown(planted), "New");
  EXPECT_EQ(shown(changed), "Changed (value)");
  EXPECT_EQ(shown(kept), "");
  // Other tests may plant entries meanwhile: the counts take them in too.
  ASSERT_FALSE(ui_.statuses.empty());
  int news = 0, changes = 0;
  char since[64] = {};
  ASSERT_EQ(std::sscanf(ui_.statuses.back().c_str(), "%d new, %d changed since %63[^\n]", &news, &changes, since), 3)
      << ui_.statuses.back();
  EXPECT_GE(news, 1);
  EXPECT_GE(changes, 1);
  EXPECT_STREQ(since, "saved scan.json");
  EXPECT_TRUE(ui_.messages.empty());
  EXPECT_EQ(test::ReadBytes(file), savedBytes);
  EXPECT_EQ(win32::RegKey::Open(CU, test::kRun)->ReadString(changed), "C:\\wl\\after.exe");

  // The marks stay through the category filter and each new scan.
  const auto logon = std::find(AutorunCategories().begin(), AutorunCategories().end(), "Logon");
  page_->ChooseFilter(static_cast<int>(logon - AutorunCategories().begin()) + 1);
  EXPECT_EQ(shown(planted), "New");
  page_->ChooseFilter(0);
  values_.String(CU, test::kRun, kept, "C:\\wl\\kept2.exe");
  page_->RefreshClick();
  EXPECT_EQ(shown(kept), "Changed (value)");
  EXPECT_EQ(shown(planted), "New");

  // A damaged file says why; the marks of the last good one stay.
  test::WriteBytes(dir.File("cut.json"), savedBytes.substr(0, savedBytes.size() / 2));
  chosen = dir.File("cut.json");
  const std::size_t statuses = ui_.statuses.size();
  EXPECT_TRUE(page_->InvokeAction(StartupPage::kCompareSaved));
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_NE(ui_.messages[0].find("Cannot read the baseline " + chosen + ": not a JSON document"), std::string::npos)
      << ui_.messages[0];
  EXPECT_EQ(ui_.statuses.size(), statuses);
  EXPECT_EQ(shown(planted), "New");
}

}  // namespace
}  // namespace wl
