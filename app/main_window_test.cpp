// The main window in-process: start-up with good, damaged and missing
// reference databases, navigation, lazy refresh, the hijack scan and its
// report page, keys, hints, the status page and the failure rule.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>

#include "app/application.h"
#include "app/help_topics.h"
#include "app/resource.h"
#include "ui/list_page.h"
#include "app/process_dictionary.h"
#include "ui/ui_test_support.h"
#include "core/utf8_path.h"
#include "scan/hijack_page.h"
#include "sysroutines/system_paths.h"
#include "win32/handles.h"
#include "win32/unicode.h"

namespace wl::app {

using ui::Page;
using ui::PageContext;
using ui::ListPage;
using ui::ActionTile;
using ui::Glyph;
namespace test = ui::test;
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using test::Click;
using test::EnsureUi;
using test::MoveMouse;
using test::Pump;
using wl::test::BinaryDir;
using wl::test::ScratchDir;
using wl::test::WriteBytes;

const char kProcessDb[] = "svchost.exe=@Generic host\r\nevil.exe=$Test worm\r\n";
const char kMainDb[] = "2024-05-01\r\n1234\r\n";
// Posted by the system along with a pressed F1.
constexpr UINT kKeyF1 = 0x004D;

// What happened to one stand-in list page.
struct Probe {
  int refreshes = 0;
  std::vector<std::string> activeAtRefresh;  // the page shown while it refreshed
  bool fill = true;                  // the refresh leaves a row in the list
  std::string throwMessage;          // the refresh fails with this
  std::vector<HijackRow> flagged;    // rows the refresh reports to the hijack list
  std::string status;                // the refresh ends with this status text
};

class StandInPage : public ListPage<std::string> {
 public:
  StandInPage(PageContext& c, Probe& probe, std::function<std::string()> activePage, std::vector<std::string>& order,
              std::string name)
      : ListPage(c, {{"Name", 200, [](const std::string& s) { return s; }}}),
        probe_(probe),
        activePage_(std::move(activePage)),
        order_(order),
        name_(std::move(name)) {}
  void RefreshPage() override {
    ++probe_.refreshes;
    order_.push_back(name_);
    probe_.activeAtRefresh.push_back(activePage_());
    if (!probe_.throwMessage.empty()) throw std::runtime_error(probe_.throwMessage);
    context_.hijack.Append(probe_.flagged);
    ShowRows(probe_.fill ? std::vector<std::string>{"row"} : std::vector<std::string>{});
    if (!probe_.status.empty()) ShowStatus(probe_.status);
  }

 private:
  Probe& probe_;
  std::function<std::string()> activePage_;
  std::vector<std::string>& order_;
  std::string name_;
};

struct Shown {
  std::string text;
  std::string caption;
  UINT flags;
};

class MainFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureUi();
    appPath_ = Utf8FromPath(dir_.Path()) + "\\";
    WriteDatabase(test::TestArchive(kProcessDb, kMainDb));
    WriteBytes(dir_.File("Qvor.chm"), "ITSF");
  }
  void TearDown() override {
    app_.reset();
    Pump();
  }

  void WriteDatabase(const std::string& bytes) { WriteBytes(dir_.File("Ref.dbd"), bytes); }

  MainWindow& Start() {
    MainOptions options;
    options.appPath = appPath_;
    options.quitOnDestroy = false;
    options.hasAdminRights = hasAdminRights_;
    options.makePage = [this](const Feature& feature, PageContext& c) -> std::unique_ptr<Page> {
      if (feature.name == std::string_view(kHijackReportPage)) return std::make_unique<HijackPage>(c);
      return std::make_unique<StandInPage>(
          c, probes_[feature.name], [this] { return std::string(app_->Main().ActivePage()); }, order_,
          feature.name);
    };
    app_ = std::make_unique<Application>(options);
    MainWindow& f = app_->Main();
    f.messageBox = [this](HWND, const std::string& text, const std::string& caption, UINT flags) {
      messages_.push_back({text, caption, flags});
      return IDOK;
    };
    f.shellOpen = [this](const std::string& target, std::string* error) {
      opened_.push_back(target);
      if (!shellWorks_) *error = "The system cannot find the file specified.";
      return shellWorks_;
    };
    if (!realViewer_) {
      f.startProgram = [this](const std::string& program, const std::string& arguments, std::string* error) {
        started_.push_back(program + " " + arguments);
        if (!startWorks_) *error = "Access is denied.";
        return startWorks_;
      };
    }
    f.inputQuery = [this](const std::string& title, const std::string& prompt) -> std::optional<std::string> {
      prompts_.push_back(title + "|" + prompt);
      if (answers_.empty()) return std::nullopt;
      auto a = answers_.front();
      answers_.pop_front();
      return a;
    };
    f.showModal = [this](win32::Dialog& d) {
      modals_.push_back(&d);
      return IDCANCEL;
    };
    EXPECT_TRUE(app_->CreateWindows());
    ShowWindow(f.hwnd(), SW_SHOWNORMAL);
    Pump();
    return f;
  }

  MainWindow& Window() { return app_->Main(); }
  void ClickNav(int group, int item) {
    auto& bar = Window().NavigationBar();
    Click(bar.hwnd(), test::Center(bar.ItemRect({group, item})));
  }
  HijackPage& Report() { return *dynamic_cast<HijackPage*>(Window().PageAt(kHijackReportPage)); }
  void PressKey(HWND target, WPARAM key) {
    PostMessageW(target, WM_KEYDOWN, key, 1);
    PostMessageW(target, WM_KEYUP, key, 0xC0000001);
    Pump();
  }

  ScratchDir dir_{"wlform"};
  std::string appPath_;
  std::unique_ptr<Application> app_;
  std::map<std::string, Probe> probes_;  // by page
  std::vector<std::string> order_;
  std::vector<Shown> messages_;
  std::vector<std::string> opened_;
  bool shellWorks_ = true;
  std::vector<std::string> started_;  // program and arguments
  bool startWorks_ = true;
  bool realViewer_ = false;  // F1 starts the system's help viewer for real
  std::vector<std::string> prompts_;
  std::deque<std::optional<std::string>> answers_;
  std::vector<win32::Dialog*> modals_;
  std::function<bool()> hasAdminRights_ = [] { return true; };
};

TEST_F(MainFormTest, StartUpLoadsTheDatabaseAndShowsTheStatusPage) {
  MainWindow& f = Start();
  EXPECT_EQ(f.Database(), MainWindow::DatabaseState::Loaded);
  EXPECT_TRUE(messages_.empty());
  EXPECT_FALSE(f.TerminateRequested());
  EXPECT_EQ(win32::GetText(f.hwnd()), "Wardenlake");
  EXPECT_EQ(f.ActivePage(), kStatusPage);
  EXPECT_EQ(f.Status().LabelText(StatusPage::kVersionLabel), "v1.20");
  EXPECT_EQ(f.Status().LabelText(StatusPage::kDefinitionsLabel), "1234");
  EXPECT_EQ(f.Status().LabelText(StatusPage::kLastUpdatedLabel), "2024-05-01");
  EXPECT_FALSE(IsWindowVisible(GetDlgItem(f.Status().hwnd(), StatusPage::kNotice)));
  EXPECT_EQ(ClassifyProcess("svchost.exe", f.Tables()), "(System Process) Generic host");
  EXPECT_EQ(f.Tables().sites.Count(), 1u);
  EXPECT_EQ(f.HintBarText(0), "For Help,Press F1");
  EXPECT_EQ(f.HintBarText(1), "https://wardenlake.example");
  EXPECT_EQ(f.NavigationBar().Colors().bar, RGB(122, 150, 223));
  EXPECT_EQ(f.NavigationBar().Colors().itemHot, RGB(61, 149, 255));
  // Windows made in order and attached; the dialogs exist before first use.
  EXPECT_NE(app_->StartupSetup().hwnd(), nullptr);
  EXPECT_NE(app_->SpywareImmunize().hwnd(), nullptr);
  EXPECT_NE(app_->SiteImmunize().hwnd(), nullptr);
}

TEST_F(MainFormTest, DamagedDatabaseIsReportedOnceAndTheProgramRunsOnWithEmptyTables) {
  std::string corrupted = test::TestArchive(kProcessDb, kMainDb);
  corrupted[corrupted.size() / 3] ^= 0x5A;
  const struct {
    std::string bytes;
    std::string readerMessage;
  } cases[] = {{corrupted, "The archive file appears to be corrupted"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.readerMessage);
    messages_.clear();
    WriteDatabase(c.bytes);
    MainWindow& f = Start();
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_THAT(messages_[0].text, HasSubstr(c.readerMessage));
    EXPECT_THAT(messages_[0].text, HasSubstr("Ref.dbd"));
    EXPECT_EQ(messages_[0].flags & MB_ICONMASK, static_cast<UINT>(MB_ICONWARNING));
    EXPECT_EQ(f.Database(), MainWindow::DatabaseState::Damaged);
    EXPECT_FALSE(f.TerminateRequested());
    EXPECT_EQ(ClassifyProcess("svchost.exe", f.Tables()), "(Unknown)");
    EXPECT_EQ(f.Tables().process.Count(), 0u);
    EXPECT_EQ(f.Status().LabelText(StatusPage::kDefinitionsLabel), "Not loaded");
    EXPECT_EQ(f.Status().LabelText(StatusPage::kLastUpdatedLabel), "Not loaded");
    HWND notice = GetDlgItem(f.Status().hwnd(), StatusPage::kNotice);
    EXPECT_TRUE(IsWindowVisible(notice));
    EXPECT_THAT(win32::GetText(notice), HasSubstr("not loaded"));
    // The window is fully usable.
    EXPECT_EQ(f.ActivePage(), kStatusPage);
    ClickNav(3, 0);
    EXPECT_EQ(f.ActivePage(), "processes");
    app_.reset();
  }
}

// Main.db feeds only the status page's two values: a short one costs those,
// not the verdicts of every other table.
TEST_F(MainFormTest, AShortMainDbLeavesTheOtherTablesLoaded) {
  WriteDatabase(test::TestArchive(kProcessDb, "2024-05-01\r\n"));
  MainWindow& f = Start();
  EXPECT_TRUE(messages_.empty());
  EXPECT_EQ(f.Database(), MainWindow::DatabaseState::Loaded);
  EXPECT_EQ(ClassifyProcess("svchost.exe", f.Tables()), "(System Process) Generic host");
  EXPECT_EQ(f.Status().LabelText(StatusPage::kDefinitionsLabel), "Not loaded");
  EXPECT_EQ(f.Status().LabelText(StatusPage::kLastUpdatedLabel), "Not loaded");
}

TEST_F(MainFormTest, MissingDatabaseNamesTheFileAndStopsStartUp) {
  DeleteFileW(win32::Widen(appPath_ + "Ref.dbd").c_str());
  MainWindow& f = Start();
  EXPECT_TRUE(f.TerminateRequested());
  EXPECT_EQ(f.Database(), MainWindow::DatabaseState::Missing);
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_THAT(messages_[0].text, HasSubstr(appPath_ + "Ref.dbd"));
  EXPECT_EQ(messages_[0].flags & MB_ICONMASK, static_cast<UINT>(MB_ICONERROR));
}

TEST_F(MainFormTest, EveryNavigationItemReachesItsPageAndScansOnlyAnEmptyList) {
  MainWindow& f = Start();
  const struct {
    int group, item;
    std::string page;
    int scansAfterTwoClicks;
  } items[] = {{2, 0, "autorun", 1},  {2, 1, "services", 1},         {2, 2, "associations", 1}, {2, 3, "shellext", 1},
               {2, 4, "browser-settings", 2}, {2, 5, "bho", 1},    {2, 6, "ieext", 1},        {2, 7, "browsers", 1},
               {2, 8, "network-settings", 1}, {3, 0, "processes", 1}, {3, 1, "software", 1},   {3, 2, "ports", 1},
               {3, 3, "sniffer", 0},          {3, 5, "backups", 1},   {0, 0, kStatusPage, 0}};
  for (const auto& it : items) {
    SCOPED_TRACE(f.NavigationBar().Groups()[it.group].items[it.item].caption);
    ClickNav(it.group, it.item);
    EXPECT_EQ(f.ActivePage(), it.page);
    EXPECT_EQ(f.NavigationBar().Current(), (win32::GroupBarPos{it.group, it.item}));
    ClickNav(0, 0);
    ClickNav(it.group, it.item);
    EXPECT_EQ(f.ActivePage(), it.page);
    if (it.page == kStatusPage) continue;
    const Probe& probe = probes_[it.page];
    EXPECT_EQ(probe.refreshes, it.scansAfterTwoClicks);
    // "System Service" switches first and then scans; the others scan first.
    if (probe.refreshes > 0) {
      if (it.page == "services") {
        EXPECT_EQ(probe.activeAtRefresh[0], "services");
      } else {
        EXPECT_NE(probe.activeAtRefresh[0], it.page);
      }
    }
  }

  // The items that open something else.
  ClickNav(1, 0);
  ClickNav(1, 1);
  EXPECT_THAT(modals_, ElementsAre(&app_->SpywareImmunize(), &app_->SiteImmunize()));
  ClickNav(0, 1);
  EXPECT_THAT(opened_,
              ElementsAre("mailto:support@wardenlake.example?subject=Wardenlake%20v1.20%20Technical%20Suuport"));
  ClickNav(3, 4);
  EXPECT_EQ(prompts_.size(), 1u);
}

TEST_F(MainFormTest, AListThatStaysEmptyIsScannedOnEveryVisit) {
  probes_["autorun"].fill = false;
  Start();
  ClickNav(2, 0);
  ClickNav(2, 0);
  EXPECT_EQ(probes_["autorun"].refreshes, 2);
}

TEST_F(MainFormTest, HijackScanRunsItsScansInOrderAndShowsTheirRowsOnce) {
  probes_["autorun"].flagged = {{"run.exe", "Startup Item", 3, {}, 21}};
  probes_["services"].flagged = {{"BadSvc", "System Service", 0, {}, 7}};
  probes_["ieext"].flagged = {{"Bar", "IE ToolBar", 0, "{11111111-2222-3333-4444-555555555555}", 25}};
  MainWindow& f = Start();
  f.Hijack().Add("stale", "Startup Item", 0);
  for (int round = 0; round < 2; ++round) {
    order_.clear();
    messages_.clear();
    Click(f.Status().ScanAction().hwnd(), {10, 10});
    EXPECT_THAT(order_, ElementsAre("autorun", "associations", "services", "ieext", "bho", "browsers",
                                    "network-settings"));
    EXPECT_EQ(f.ActivePage(), kHijackReportPage);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].caption, "Important");
    EXPECT_EQ(messages_[0].text,
              "This hijack report is used for those people who are familiar with computer knowlege.You can not "
              "remove them here,but you can pick a category at left-side,then remove them.");
    auto& list = Report().List();
    ASSERT_EQ(list.Count(), 3u);
    EXPECT_EQ(list.CellText(0, 0), "run.exe");
    EXPECT_EQ(list.CellText(1, 1), "System Service");
    EXPECT_EQ(list.CellText(2, 2), "{11111111-2222-3333-4444-555555555555}");
    EXPECT_EQ(list.CellText(0, 2), "3");
  }
  // "Index" is hidden; "Description" carries the category's image.
  auto& view = Report().List().View();
  EXPECT_EQ(view.ColumnWidth(2), 0);
  LVITEMW item{};
  item.mask = LVIF_IMAGE;
  item.iItem = 0;
  item.iSubItem = 1;
  SendMessageW(view.hwnd(), LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
  EXPECT_EQ(item.iImage, 21);
}

TEST_F(MainFormTest, ReportSortsByItemNameAndSavesItsRows) {
  probes_["autorun"].flagged = {{"zeta.exe", "Startup Item", 0, {}, 21}, {"Alpha: two", "Startup Item", 1, {}, 21}};
  MainWindow& f = Start();
  f.HijackScanClick();
  HijackPage& page = Report();
  page.HijackListColumnClick();
  EXPECT_EQ(page.List().CellText(0, 0), "Alpha: two");
  EXPECT_EQ(page.List().CellText(1, 0), "zeta.exe");

  const std::string file = dir_.File("report.txt");
  std::string suggested;
  page.chooseFile = [&](const std::string& name) -> std::optional<std::string> {
    suggested = name;
    return file;
  };
  page.today = [] { return std::string("2024/05/01"); };
  page.systemName = [] { return std::string("Windows Test"); };
  EXPECT_TRUE(page.InvokeAction(HijackPage::kSaveReportButton));
  EXPECT_EQ(suggested, "Hijack_Report(2024-05-01).txt");
  EXPECT_EQ(wl::test::ReadBytes(file),
            "---Quellstone Hijack Report---\r\n---Date: 2024/05/01\r\n---Operation System: Windows Test\r\n \r\n "
            "\r\nStartup Item: Alpha: two\r\nStartup Item: zeta.exe\r\n");

  // A file that cannot be written is reported, not passed over.
  messages_.clear();
  page.chooseFile = [&](const std::string&) -> std::optional<std::string> {
    return dir_.File("no such folder\\report.txt");
  };
  page.InvokeAction(HijackPage::kSaveReportButton);
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].caption, "Save Report");
  // Cancel writes nothing and says nothing.
  messages_.clear();
  page.chooseFile = [](const std::string&) -> std::optional<std::string> { return std::nullopt; };
  page.InvokeAction(HijackPage::kSaveReportButton);
  EXPECT_TRUE(messages_.empty());
}

// What F1 starts for a topic: the help viewer by its full path, the help
// file beside the program and the topic.
std::string HelpCommand(const std::string& appPath, const std::string& topic) {
  return WindowsProgramPath("hh.exe") + " \"" + appPath + "Qvor.chm::/" + topic + "\"";
}

TEST_F(MainFormTest, F1AndF3WorkFromAnyPage) {
  MainWindow& f = Start();
  int expectedPrompts = 0;
  const std::pair<const char*, const char*> pages[] = {{kStatusPage, "status.html"},
                                                       {"autorun", "autorun_list.html"},
                                                       {kHijackReportPage, "hijack_scan.html"},
                                                       {"sniffer", "net_sniffer.html"}};
  for (const auto& [page, topic] : pages) {
    SCOPED_TRACE(page);
    f.ShowPage(page);
    HWND target = GetWindow(f.PageAt(page)->hwnd(), GW_CHILD);
    if (!target) target = f.PageAt(page)->hwnd();
    started_.clear();
    PressKey(target, VK_F1);
    EXPECT_THAT(started_, ElementsAre(HelpCommand(appPath_, topic)));
    PressKey(target, VK_F3);
    EXPECT_EQ(prompts_.size(), static_cast<std::size_t>(++expectedPrompts));
  }
  EXPECT_EQ(prompts_[0], std::string(kDictionaryTitle) + "|" + kDictionaryPrompt);
  EXPECT_TRUE(opened_.empty());
}

TEST_F(MainFormTest, F1OpensTheHelpTopicOfEveryNavigationItem) {
  MainWindow& f = Start();
  const auto& groups = f.NavigationBar().Groups();
  int items = 0;
  for (std::size_t g = 0; g < groups.size(); ++g) {
    for (std::size_t i = 0; i < groups[g].items.size(); ++i) {
      const std::string caption = groups[g].items[i].caption;
      SCOPED_TRACE(caption);
      ++items;
      const std::string topic = HelpTopicOf(caption);
      ASSERT_FALSE(topic.empty()) << "no help topic for the item";
      const std::string before(f.ActivePage());
      ClickNav(static_cast<int>(g), static_cast<int>(i));
      if (f.ActivePage() == before && caption != "Status") continue;  // a dialog, a prompt or a mail
      started_.clear();
      f.HelpClick();
      EXPECT_THAT(started_, ElementsAre(HelpCommand(appPath_, topic)));
    }
  }
  EXPECT_EQ(items, static_cast<int>(NavigationHelpTopics().size()));
  // F1 in an immunization dialog: its own topic. In the autorun removal
  // dialog: the topic of the page that opened it.
  f.ShowPage("autorun");
  const std::pair<HWND, std::string> dialogs[] = {{app_->SpywareImmunize().hwnd(), HelpTopicOf("Spyware Immunize")},
                                                  {app_->SiteImmunize().hwnd(), HelpTopicOf("Site Immunize")},
                                                  {app_->StartupSetup().hwnd(), HelpTopicOf("Autorun List")}};
  for (const auto& [dialog, topic] : dialogs) {
    SCOPED_TRACE(topic);
    HWND control = GetWindow(dialog, GW_CHILD);
    ASSERT_NE(control, nullptr);
    started_.clear();
    // What the system sends a control when F1 is pressed in it.
    SendMessageW(control, kKeyF1, 0, 0);
    EXPECT_THAT(started_, ElementsAre(HelpCommand(appPath_, topic)));
  }
}

TEST_F(MainFormTest, OneF1OpensTheHelpOnce) {
  MainWindow& f = Start();
  f.ShowPage("services");
  HWND target = GetWindow(f.PageAt("services")->hwnd(), GW_CHILD);
  // A pressed key comes with WM_KEYF1 from the system, which asks for help
  // again unless the first request swallows it.
  PostMessageW(target, WM_KEYDOWN, VK_F1, 1);
  PostMessageW(target, kKeyF1, 0, 0);
  PostMessageW(target, WM_KEYUP, VK_F1, 0xC0000001);
  Pump();
  EXPECT_THAT(started_, ElementsAre(HelpCommand(appPath_, "system_service.html")));
}

TEST_F(MainFormTest, F1StartsTheSystemsHelpViewerOnTheBuiltHelpFile) {
  ASSERT_TRUE(
      CopyFileW(win32::Widen(BinaryDir() + "\\Qvor.chm").c_str(), win32::Widen(dir_.File("Qvor.chm")).c_str(), FALSE));
  realViewer_ = true;
  MainWindow& f = Start();
  f.ShowPage("autorun");
  f.HelpClick();
  // The viewer's main window, titled as the help file says.
  HWND viewer = nullptr;
  EXPECT_TRUE(test::PumpUntil([&] { return (viewer = FindWindowW(L"HH Parent", nullptr)) != nullptr; },
                              std::chrono::seconds(30)));
  ASSERT_NE(viewer, nullptr) << "no help viewer window";
  DWORD pid = 0;
  GetWindowThreadProcessId(viewer, &pid);
  win32::UniqueHandle process(
      OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
  // The viewer goes with the test, whatever it finds.
  struct CloseViewer {
    HWND window;
    HANDLE process;
    ~CloseViewer() {
      PostMessageW(window, WM_CLOSE, 0, 0);
      if (process && WaitForSingleObject(process, 10000) != WAIT_OBJECT_0) {
        TerminateProcess(process, 0);
        WaitForSingleObject(process, 5000);
      }
    }
  } closeViewer{viewer, process.get()};
  EXPECT_EQ(win32::GetText(viewer), "Wardenlake Help");
  ASSERT_TRUE(process);
  std::wstring image(MAX_PATH, L'\0');
  DWORD size = static_cast<DWORD>(image.size());
  ASSERT_TRUE(QueryFullProcessImageNameW(process.get(), 0, image.data(), &size));
  image.resize(size);
  EXPECT_EQ(CompareStringOrdinal(image.c_str(), -1, win32::Widen(WindowsProgramPath("hh.exe")).c_str(), -1, TRUE),
            CSTR_EQUAL)
      << win32::Narrow(image);
  EXPECT_TRUE(messages_.empty());
}

TEST_F(MainFormTest, AProgramFolderOutsideTheAnsiCodePageReachesTheViewerByItsShortPath) {
  // The viewer reads its command line in the ANSI code page.
  const std::wstring folder = win32::Widen(Utf8FromPath(dir_.Path())) + L"\\\u0416\u0430\u043d\u043d\u0430 \u4e2d";
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  appPath_ = win32::Narrow(folder) + "\\";
  WriteBytes(appPath_ + "Ref.dbd", test::TestArchive(kProcessDb, kMainDb));
  WriteBytes(appPath_ + "Qvor.chm", "ITSF");
  MainWindow& f = Start();
  f.ShowPage("autorun");
  f.HelpClick();
  ASSERT_EQ(started_.size(), 1u);
  const std::string prefix = WindowsProgramPath("hh.exe") + " \"", suffix = "::/autorun_list.html\"";
  ASSERT_TRUE(started_[0].starts_with(prefix) && started_[0].ends_with(suffix)) << started_[0];
  const std::string given = started_[0].substr(prefix.size(), started_[0].size() - prefix.size() - suffix.size());
  const std::wstring wide = win32::Widen(given);
  BOOL lost = FALSE;
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), -1, nullptr, 0, nullptr, &lost);
  EXPECT_FALSE(lost) << given;
  // The same file.
  std::wstring full(32768, L'\0');
  full.resize(GetLongPathNameW(wide.c_str(), full.data(), static_cast<DWORD>(full.size())));
  EXPECT_EQ(CompareStringOrdinal(full.c_str(), -1, win32::Widen(appPath_ + "Qvor.chm").c_str(), -1, TRUE), CSTR_EQUAL)
      << given;
}

TEST_F(MainFormTest, WithoutTheHelpFileF1SaysWhereItWasLookedFor) {
  DeleteFileW(win32::Widen(dir_.File("Qvor.chm")).c_str());
  MainWindow& f = Start();
  f.HelpClick();
  EXPECT_TRUE(started_.empty());
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_THAT(messages_[0].text, HasSubstr("\"" + appPath_ + "Qvor.chm\""));
  EXPECT_THAT(messages_[0].text, HasSubstr("missing"));
  EXPECT_EQ(messages_[0].caption, "Wardenlake");

  WriteBytes(dir_.File("Qvor.chm"), "ITSF");
  startWorks_ = false;
  f.HelpClick();
  ASSERT_EQ(messages_.size(), 2u);
  EXPECT_THAT(messages_[1].text, HasSubstr(WindowsProgramPath("hh.exe")));
  EXPECT_THAT(messages_[1].text, HasSubstr("Access is denied."));
}

TEST_F(MainFormTest, ProcessDictionaryShowsTheVerdictOfTheTypedName) {
  MainWindow& f = Start();
  answers_ = {std::string("SVCHOST.EXE"), std::string("C:\\Windows\\evil.exe"), std::string(), std::nullopt};
  for (int i = 0; i < 4; ++i) f.OpenPage("process-dictionary");
  ASSERT_EQ(messages_.size(), 2u);
  EXPECT_EQ(messages_[0].caption, "Process Dictionary Result");
  EXPECT_EQ(messages_[0].text, "Process Name: svchost.exe\r\nProcess Information: \r\n(System Process) Generic host");
  EXPECT_EQ(messages_[0].flags & MB_ICONMASK, static_cast<UINT>(MB_ICONINFORMATION));
  EXPECT_EQ(messages_[1].text, "Process Name: c:\\windows\\evil.exe\r\nProcess Information: \r\n(Unknown)");
}

TEST_F(MainFormTest, FailuresOfTheShellAreShownInTheStatusBar) {
  shellWorks_ = false;
  MainWindow& f = Start();
  f.LiveUpdateClick();
  EXPECT_THAT(f.HintBarText(0), HasSubstr("Kestrup.exe"));
}

TEST_F(MainFormTest, AnExceptionInAHandlerLeavesTheWindowUsableAndSaysWhy) {
  probes_["autorun"].throwMessage = "Cannot read the startup entries";
  MainWindow& f = Start();
  SetWindowTextW(f.hwnd(), L"Scanning...");
  ClickNav(2, 0);
  EXPECT_EQ(win32::GetText(f.hwnd()), "Wardenlake");
  EXPECT_EQ(f.HintBarText(0), "Cannot read the startup entries");
  EXPECT_TRUE(IsWindowEnabled(f.hwnd()));
  ClickNav(3, 0);
  EXPECT_EQ(f.ActivePage(), "processes");
}

// A page's status text stays with that page: the next page shows its own (or
// the help text), and the first shows its text again when it comes back. A
// page out of view that reports something keeps it until it is shown.
TEST_F(MainFormTest, EachPageShowsItsOwnStatusText) {
  probes_["autorun"].status = "3 startup items.";
  probes_["services"].status = "0 browser settings and add-ons, 0 distrustful.";
  MainWindow& f = Start();
  ClickNav(2, 0);  // the autorun page scans before it is shown
  EXPECT_EQ(f.HintBarText(0), "3 startup items.");
  ClickNav(2, 1);  // the service page is shown first and then scans
  EXPECT_EQ(f.HintBarText(0), "0 browser settings and add-ons, 0 distrustful.");
  ClickNav(2, 2);  // the association page says nothing of its own
  EXPECT_EQ(f.HintBarText(0), "For Help,Press F1");
  f.ShowPage(kHijackReportPage);
  EXPECT_EQ(f.HintBarText(0), "For Help,Press F1");
  ClickNav(2, 0);
  EXPECT_EQ(f.HintBarText(0), "3 startup items.");

  f.PageAt("services")->ShowStatus("Capture: no socket could be opened.");
  EXPECT_EQ(f.HintBarText(0), "3 startup items.");
  ClickNav(2, 1);
  EXPECT_EQ(f.HintBarText(0), "Capture: no socket could be opened.");
  f.PageAt("services")->ShowStatus("Capturing on 1 address(es).");
  EXPECT_EQ(f.HintBarText(0), "Capturing on 1 address(es).");
}

TEST_F(MainFormTest, HintsFollowTheMouseAndTheTimerRestoresTheHelpText) {
  MainWindow& f = Start();
  auto& bar = f.NavigationBar();
  const POINT onItem = test::Center(bar.ItemRect({2, 0}));
  PostMessageW(bar.hwnd(), WM_MOUSEMOVE, 0, MAKELPARAM(onItem.x, onItem.y));
  Pump();
  EXPECT_EQ(f.HintBarText(0), "View/Manage the startup items.");
  EXPECT_EQ(bar.Hot(), (win32::GroupBarPos{2, 0}));
  PostMessageW(bar.hwnd(), WM_MOUSEMOVE, 0, MAKELPARAM(2, 2));
  Pump();
  EXPECT_EQ(f.HintBarText(0), "");
  f.HintTimerTick();
  EXPECT_EQ(f.HintBarText(0), "For Help,Press F1");
  // A toolbar button's hint.
  f.ShowPage(kHijackReportPage);
  HWND toolbar = Report().Toolbar();
  RECT button{};
  SendMessageW(toolbar, TB_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&button));
  const POINT onButton = test::Center(button);
  PostMessageW(toolbar, WM_MOUSEMOVE, 0, MAKELPARAM(onButton.x, onButton.y));
  Pump();
  EXPECT_EQ(f.HintBarText(0), "Save scan report to text file.");
}

TEST_F(MainFormTest, StatusActionsLightUpPressAndOpenTheirDialogs) {
  MainWindow& f = Start();
  StatusPage& page = f.Status();
  ActionTile& site = page.SiteAction();
  MoveMouse(site.hwnd(), {20, 20});
  EXPECT_EQ(site.CaptionColor(), ui::kHighlight);
  MoveMouse(page.SpywareAction().hwnd(), {20, 20});
  EXPECT_EQ(site.CaptionColor(), ui::kSkyBlue);
  EXPECT_EQ(page.SpywareAction().CaptionColor(), ui::kHighlight);
  MoveMouse(page.hwnd(), {2, 2});  // the bare group box
  EXPECT_EQ(page.SpywareAction().CaptionColor(), ui::kSkyBlue);

  SendMessageW(site.hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 20));
  EXPECT_EQ(site.ButtonPicture(), Glyph::GoButtonPressed);
  SendMessageW(site.hwnd(), WM_LBUTTONUP, 0, MAKELPARAM(20, 20));
  EXPECT_EQ(site.ButtonPicture(), Glyph::GoButton);
  Click(page.SpywareAction().hwnd(), {20, 20});
  EXPECT_THAT(modals_, ElementsAre(&app_->SiteImmunize(), &app_->SpywareImmunize()));
}

TEST_F(MainFormTest, HeaderLinksTurnRedUnderTheMouseAndOpen) {
  MainWindow& f = Start();
  HeaderStrip& header = f.Header();
  const POINT update = test::Center(header.LinkRect(HeaderStrip::Link::LiveUpdate));
  MoveMouse(header.hwnd(), update);
  EXPECT_EQ(header.LinkColor(HeaderStrip::Link::LiveUpdate), RGB(255, 64, 64));
  EXPECT_EQ(header.LinkColor(HeaderStrip::Link::HomePage), RGB(255, 255, 255));
  MoveMouse(header.hwnd(), {3, 3});
  EXPECT_EQ(header.HotLink(), HeaderStrip::Link::None);
  Click(header.hwnd(), update);
  Click(header.hwnd(), test::Center(header.LinkRect(HeaderStrip::Link::HomePage)));
  // And from the keyboard.
  SetFocus(header.hwnd());
  SendMessageW(header.hwnd(), WM_KEYDOWN, VK_RIGHT, 0);
  SendMessageW(header.hwnd(), WM_KEYDOWN, VK_RETURN, 0);
  EXPECT_THAT(opened_,
              ElementsAre(appPath_ + "Kestrup.exe", "https://wardenlake.example/", "https://wardenlake.example/"));
}

TEST_F(MainFormTest, NavigationBarWorksFromTheKeyboard) {
  MainWindow& f = Start();
  HWND bar = f.NavigationBar().hwnd();
  SetFocus(bar);
  for (int i = 0; i < 4; ++i) SendMessageW(bar, WM_KEYDOWN, VK_DOWN, 0);
  EXPECT_EQ(f.NavigationBar().Focused(), (win32::GroupBarPos{2, 0}));
  SendMessageW(bar, WM_KEYDOWN, VK_RETURN, 0);
  EXPECT_EQ(f.ActivePage(), "autorun");
}

TEST(DialogTest, InputBoxReturnsTheTypedTextOrNothingOnCancel) {
  EnsureUi();
  test::WindowWatcher ok(L"Process Dictionary", [](HWND box) {
    SetDlgItemTextW(box, InputBox::kEditId, L"smss.exe");
    PostMessageW(box, WM_COMMAND, IDOK, 0);
  });
  EXPECT_EQ(InputQuery(nullptr, kDictionaryTitle, kDictionaryPrompt), std::optional<std::string>("smss.exe"));
  test::WindowWatcher cancel(L"Process Dictionary", [](HWND box) {
    SetDlgItemTextW(box, InputBox::kEditId, L"typed");
    PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
  });
  EXPECT_EQ(InputQuery(nullptr, kDictionaryTitle, kDictionaryPrompt), std::nullopt);
}

TEST(DialogTest, DialogsAreMadeOnceAndKeepTheirWindowBetweenOpenings) {
  EnsureUi();
  const ReferenceTables tables;
  wl::SpywareImmunizeDialog dialog(tables);
  ASSERT_TRUE(dialog.Create(nullptr));
  const HWND made = dialog.hwnd();
  EXPECT_EQ(win32::GetText(made), "Immunize Spyware,Adware,Malware");
  for (int i = 0; i < 2; ++i) {
    test::WindowWatcher closer(L"Immunize Spyware,Adware,Malware",
                               [](HWND d) { PostMessageW(d, WM_CLOSE, 0, 0); });
    EXPECT_EQ(dialog.ShowModal(nullptr), IDCANCEL);
    EXPECT_TRUE(closer.Seen());
    EXPECT_EQ(dialog.hwnd(), made);
    EXPECT_FALSE(IsWindowVisible(made));
  }
}

}  // namespace
}  // namespace wl::app

namespace wl::app {
namespace {

TEST_F(MainFormTest, WithoutAdministrativeRightsTheWindowSaysSoAndOffersARestart) {
  hasAdminRights_ = [] { return false; };
  MainWindow& f = Start();
  int restarts = 0;
  bool restartWorks = false;
  f.runAsAdministrator = [&](std::string* error) {
    ++restarts;
    if (!restartWorks) *error = "The operation was refused.";
    return restartWorks;
  };
  EXPECT_FALSE(f.HasAdminRights());
  EXPECT_EQ(f.HintBarText(2), "No administrative rights");
  EXPECT_EQ(f.HintBarText(1), "https://wardenlake.example");
  // The status page's immunizing needs the rights: the line says so above it.
  EXPECT_THAT(f.RightsNoticeText(), HasSubstr("Immunizing"));
  EXPECT_THAT(f.RightsNoticeText(), HasSubstr("\"Run as administrator\""));
  f.ShowPage("services");
  EXPECT_THAT(f.RightsNoticeText(), HasSubstr("services"));
  // The page moved down to make room for the line.
  RECT line{}, page{};
  GetWindowRect(GetDlgItem(f.hwnd(), 203), &line);
  GetWindowRect(f.PageAt("services")->hwnd(), &page);
  EXPECT_GE(page.top, line.bottom);
  // The pages that repair settings of the whole machine say so too.
  f.ShowPage("browsers");
  EXPECT_THAT(f.RightsNoticeText(), HasSubstr("browser policies"));
  f.ShowPage("network-settings");
  EXPECT_THAT(f.RightsNoticeText(), HasSubstr("hosts file"));
  // The hijack report and the ports change nothing: no line.
  f.ShowPage(kHijackReportPage);
  EXPECT_EQ(f.RightsNoticeText(), "");
  f.ShowPage("ports");
  EXPECT_EQ(f.RightsNoticeText(), "");
  f.ShowPage("autorun");
  EXPECT_NE(f.RightsNoticeText(), "");

  // The button restarts; a refusal is told in the status bar and the window stays.
  SendMessageW(f.hwnd(), WM_COMMAND, MAKEWPARAM(204, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(f.hwnd(), 204)));
  Pump();
  EXPECT_EQ(restarts, 1);
  EXPECT_THAT(f.HintBarText(0), HasSubstr("The operation was refused."));
  EXPECT_TRUE(IsWindow(f.hwnd()));
  // The window menu has the item too; a restart that works closes this window.
  restartWorks = true;
  SendMessageW(f.hwnd(), WM_SYSCOMMAND, kSysCmdRunAsAdministrator, 0);
  Pump();
  EXPECT_EQ(restarts, 2);
  EXPECT_FALSE(IsWindow(f.hwnd()));
}

TEST_F(MainFormTest, WithAdministrativeRightsThereIsNoLineAndNoPanel) {
  MainWindow& f = Start();
  EXPECT_TRUE(f.HasAdminRights());
  EXPECT_EQ(f.HintBarText(2), "");
  f.ShowPage("services");
  EXPECT_EQ(f.RightsNoticeText(), "");
  EXPECT_EQ(GetDlgItem(f.hwnd(), 204), nullptr);
}

}  // namespace
}  // namespace wl::app
