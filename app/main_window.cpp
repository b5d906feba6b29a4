#include "app/main_window.h"

#include <shellapi.h>
#include <windowsx.h>

#include <utility>

#include "app/input_box.h"
#include "app/help_topics.h"
#include "app/navigation.h"
#include "app/process_dictionary.h"
#include "app/resource.h"
#include "console/hijack_scan.h"
#include "refdb/zlb_archive.h"
#include "settings/association_scan.h"
#include "sysroutines/shell_routines.h"
#include "sysroutines/store_folder.h"
#include "sysroutines/system_paths.h"
#include "sysroutines/system_info.h"
#include "win32/dpi.h"
#include "win32/file_path.h"
#include "win32/system_error.h"
#include "win32/unicode.h"

namespace wl::app {

using ui::Page;
using ui::PageContext;
using ui::Glyph;
using ui::ImageList;
using ui::MakeSharedImages;

namespace {

constexpr int kNavId = 200;
constexpr int kHeaderId = 201;
constexpr int kHintBarId = 202;
constexpr int kRightsTextId = 203;
constexpr int kRightsButtonId = 204;
constexpr UINT_PTR kHintTimer = 1;

// Percent-encodes the text of a mailto link's field.
std::string UrlEncode(const std::string& text) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
        c == '_' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

// Posted by the system along with a pressed F1; DefWindowProc turns it into
// WM_HELP.
constexpr UINT kKeyF1Message = 0x004D;

bool StartProgramDefault(const std::string& program, const std::string& arguments, std::string* error) {
  uint32_t code = 0;
  if (StartProgram(program, arguments, &code)) return true;
  if (error) *error = win32::SystemErrorText(code);
  return false;
}

bool ShellOpenDefault(const std::string& target, std::string* error) {
  SetLastError(0);
  if (ShellOpen(target)) return true;
  const DWORD code = GetLastError();
  if (error) *error = code ? win32::SystemErrorText(code) : "the system could not open it.";
  return false;
}

}  // namespace

// ---- MainWindow -----------------------------------------------------------------

MainWindow::MainWindow(MainOptions options) : options_(std::move(options)) {
  messageBox = [](HWND owner, const std::string& text, const std::string& caption, UINT flags) {
    return MessageBoxW(owner, win32::Widen(text).c_str(), win32::Widen(caption).c_str(), flags);
  };
  shellOpen = ShellOpenDefault;
  startProgram = StartProgramDefault;
  inputQuery = [this](const std::string& title, const std::string& prompt) {
    return InputQuery(hwnd(), title, prompt);
  };
  showModal = [this](win32::Dialog& dialog) { return dialog.ShowModal(hwnd()); };
  runAsAdministrator = [](std::string* error) {
    uint32_t code = 0;
    if (StartProgramElevated(OwnProgramPath(), &code)) return true;
    if (error) *error = code == ERROR_CANCELLED ? std::string() : win32::SystemErrorText(code);
    return false;
  };
}

MainWindow::~MainWindow() {
  if (accelerators_) DestroyAcceleratorTable(accelerators_);
  win32::SetExceptionHook(nullptr);
}

bool MainWindow::Create() {
  win32::WindowClass cls;
  cls.name = L"WardenlakeMainWindow";
  cls.background = nullptr;
  cls.icon = LoadIconW(win32::ModuleInstance(), MAKEINTRESOURCEW(IDI_WARDENLAKE));
  cls.smallIcon = static_cast<HICON>(LoadImageW(win32::ModuleInstance(), MAKEINTRESOURCEW(IDI_WARDENLAKE), IMAGE_ICON,
                                                GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
  const UINT dpi = GetDpiForSystem();
  const int width = win32::Scale(1000, dpi);
  const int height = win32::Scale(720, dpi);
  if (!CreateWindowOf(cls, WS_EX_CONTROLPARENT, win32::Widen(kCaption), WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                      CW_USEDEFAULT, CW_USEDEFAULT, width, height, nullptr, nullptr))
    return false;
  win32::SetExceptionHook([this](const std::string& message) { ShowFailure(message); });
  CreateControls();
  win32::GuardCall([this] { RunStartUp(); });
  return true;
}

void MainWindow::AttachDialogs(win32::Dialog* startupSetup, win32::Dialog* spywareImmunize,
                               win32::Dialog* siteImmunize) {
  startupSetup_ = startupSetup;
  spywareImmunize_ = spywareImmunize;
  siteImmunize_ = siteImmunize;
}

void MainWindow::CreateControls() {
  const UINT dpi = win32::DpiOf(hwnd());
  images_ = MakeSharedImages(win32::Scale(16, dpi));
  context_ = std::make_unique<PageContext>(PageContext{tables_, hijack_, images_, *this});
  context_->associationTables = &associationTables_;
  context_->judge = &judge_;

  header_.Create(hwnd(), kHeaderId);
  header_.onLinkClick = [this](HeaderStrip::Link link) {
    if (link == HeaderStrip::Link::LiveUpdate) LiveUpdateClick();
    if (link == HeaderStrip::Link::HomePage) HomePageClick();
  };
  groupBar_.Create(hwnd(), kNavId);
  BuildNavigation();

  hintBar_ = CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0, 0, hwnd(),
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(kHintBarId)), win32::ModuleInstance(),
                             nullptr);
  adminRights_ = options_.hasAdminRights ? options_.hasAdminRights() : IsProcessElevated();
  if (!adminRights_) rightsNotice_.Create(hwnd(), kRightsTextId, kRightsButtonId, kSysCmdRunAsAdministrator);
  UpdateStatusParts();
  ShowStatus(kHelpHint);
  // A leading tab centres a panel's text.
  SendMessageW(hintBar_, SB_SETTEXTW, 1, reinterpret_cast<LPARAM>((L"\t" + win32::Widen(kWebAddress)).c_str()));
  if (!adminRights_)
    SendMessageW(hintBar_, SB_SETTEXTW, 2, reinterpret_cast<LPARAM>(win32::Widen(kNoRightsStatus).c_str()));

  for (const Feature& feature : Features()) {
    std::unique_ptr<Page> page;
    if (feature.name == std::string_view(kStatusPage)) {
      auto status = std::make_unique<StatusPage>(*context_);
      status_ = status.get();
      page = std::move(status);
    } else if (feature.makePage) {
      page = options_.makePage ? options_.makePage(feature, *context_) : feature.makePage(*context_);
    }
    if (!page) continue;
    page->Create(hwnd());
    pages_.Set(feature, std::move(page));
  }
  status_->onSiteImmunize = [this] { SiteImmunizeClick(); };
  status_->onScan = [this] { HijackScanClick(); };
  status_->onSpywareImmunize = [this] { SpywareImmunizeClick(); };

  ACCEL keys[] = {{FVIRTKEY, VK_F1, kCmdHelp}, {FVIRTKEY, VK_F3, kCmdDictionary}};
  accelerators_ = CreateAcceleratorTableW(keys, 2);
  SetTimer(hwnd(), kHintTimer, 1000, nullptr);
  Layout();
}

void MainWindow::BuildNavigation() {
  std::vector<Glyph> glyphs;
  std::vector<win32::GroupBarGroup> groups = NavigationGroups(glyphs);
  navImages_ = ImageList(win32::Scale(16, win32::DpiOf(hwnd())), glyphs);
  groupBar_.SetImages(navImages_.get());
  groupBar_.SetGroups(std::move(groups));
  groupBar_.onItemClick = [this](win32::GroupBarPos pos) {
    if (const Feature* feature = FeatureAt(pos)) Choose(*feature);
  };
}

// ---- start-up ---------------------------------------------------------------

void MainWindow::RunStartUp() {
  // 1. The program's folder.
  appPath_ = options_.appPath.empty() ? OwnProgramFolder() : options_.appPath;
  if (!appPath_.empty() && appPath_.back() != '\\' && appPath_.back() != '/') appPath_ += '\\';
  // 2. The association tables.
  associationTables_ = BuildAssociationTables();
  // 6. The action pictures start in their normal state.
  status_->SiteAction().SetButtonPicture(Glyph::GoButton);
  status_->ScanAction().SetButtonPicture(Glyph::GoButton);
  status_->SpywareAction().SetButtonPicture(Glyph::GoButton);
  // 7 to 10, 13. The reference database.
  LoadReferenceDatabase();
  if (terminate_) return;
  // 12. Page tabs stay hidden; the navigation bar has the program's colours
  // from its creation (win32::GroupBarColors).
  // 14.
  ShowPage(kStatusPage);
}

void MainWindow::LoadReferenceDatabase() {
  const std::string path = appPath_ + "Ref.dbd";
  if (!win32::FileExists(path)) {
    database_ = DatabaseState::Missing;
    terminate_ = true;
    Message("The reference database \"" + path +
                "\" is missing.\r\n\r\nWardenlake cannot run without it. Install the program again to restore "
                "the file.",
            kCaption, MB_OK | MB_ICONERROR);
    return;
  }
  try {
    TZLBArchive MyZip;
    MyZip.Open(path);
    ReferenceTables loaded;
    MainDbValues mainDb;
    const bool mainDbRead = LoadReferenceTables(MyZip, loaded, mainDb);
    MyZip.Close();
    tables_ = std::move(loaded);
    database_ = DatabaseState::Loaded;
    if (mainDbRead) {
      status_->SetDefinitions(mainDb.definitions);
      status_->SetLastUpdated(mainDb.lastUpdated);
    } else {
      // Only the two status values come from Main.db: the verdicts stand.
      status_->SetDefinitions("Not loaded");
      status_->SetLastUpdated("Not loaded");
    }
  } catch (const std::exception& e) {
    // Run on with empty tables, and say so.
    database_ = DatabaseState::Damaged;
    databaseError_ = e.what();
    status_->SetDefinitions("Not loaded");
    status_->SetLastUpdated("Not loaded");
    status_->SetDatabaseNotice("The reference database is not loaded (" + databaseError_ +
                               "). Every verdict shows \"(Unknown)\".");
    Message("The reference database \"" + path + "\" could not be loaded:\r\n" + databaseError_ +
                "\r\n\r\nWardenlake runs on, but every verdict shows \"(Unknown)\" until the file is replaced.",
            kCaption, MB_OK | MB_ICONWARNING);
  }
}

// ---- pages and navigation ---------------------------------------------------

void MainWindow::ShowPage(std::string_view name) {
  if (const Feature* feature = FindFeature(name)) ShowPage(*feature);
}

void MainWindow::ShowPage(const Feature& feature) {
  Page* page = pages_.PageOf(feature);
  if (!page) return;
  pages_.Show(feature);
  // The page's own status text; the help text where it has none.
  const auto own = pageStatus_.find(page);
  ShowStatus(own != pageStatus_.end() && !own->second.empty() ? own->second : kHelpHint);
  groupBar_.SetCurrent(NavigationPlaceOf(feature));
  UpdateRightsNotice();
  // Paint the page now: a scan may follow and keep the window busy.
  if (IsWindowVisible(hwnd())) UpdateWindow(hwnd());
}

std::string_view MainWindow::ActivePage() const {
  const Feature* active = pages_.Active();
  return active ? active->name : std::string_view();
}

void MainWindow::RefreshIfEmpty(const Feature& feature) {
  Page* page = pages_.PageOf(feature);
  if (page && page->IsEmpty()) page->RefreshPage();
}

void MainWindow::OpenPage(std::string_view name) {
  if (const Feature* feature = FindFeature(name)) Choose(*feature);
}

void MainWindow::Choose(const Feature& feature) {
  switch (feature.action) {
    case NavigationAction::ScanEmptyThenShow:
      RefreshIfEmpty(feature);
      ShowPage(feature);
      break;
    case NavigationAction::ShowThenScanEmpty:
      ShowPage(feature);
      RefreshIfEmpty(feature);
      break;
    case NavigationAction::ScanThenShow:
      if (Page* page = pages_.PageOf(feature)) page->RefreshPage();
      ShowPage(feature);
      break;
    case NavigationAction::Show: ShowPage(feature); break;
    case NavigationAction::MailSupport: MailSupport(); break;
    case NavigationAction::SpywareImmunize: SpywareImmunizeClick(); break;
    case NavigationAction::SiteImmunize: SiteImmunizeClick(); break;
    case NavigationAction::ProcessDictionary: DictionaryClick(); break;
  }
}

std::string MainWindow::PageCaption(const Page& page) const {
  const Feature* feature = pages_.FeatureOf(page);
  return feature ? feature->caption : std::string();
}

void MainWindow::MailSupport() {
  const std::string subject =
      win32::GetText(hwnd()) + " " + status_->LabelText(StatusPage::kVersionLabel) + " Technical Suuport";
  OpenWithShell(std::string("mailto:") + kSupportMail + "?subject=" + UrlEncode(subject), "the mail program");
}

void MainWindow::DictionaryClick() {
  const auto typed = inputQuery(kDictionaryTitle, kDictionaryPrompt);
  if (!typed || typed->empty()) return;
  const DictionaryAnswer answer = LookupProcessDictionary(*typed, tables_, GetWindowsDir());
  Message(DictionaryMessage(answer), kDictionaryResultTitle, MB_OK | MB_ICONINFORMATION);
}

void MainWindow::SiteImmunizeClick() { ShowDialog(siteImmunize_); }
void MainWindow::SpywareImmunizeClick() { ShowDialog(spywareImmunize_); }

void MainWindow::HijackScanClick() {
  // Each scanner refreshes its own page and appends its flagged rows.
  // A scanner whose page is not in this window runs headless. One scan:
  // nothing is looked up twice.
  const Judge::ScanScope scan(judge_);
  RunHijackScan(hijack_, [this](const Feature& step) {
    if (Page* page = pages_.PageOf(step))
      page->RefreshPage();
    else
      hijack_.Append(step.listing(judge_).hijack);
  });
  ShowPage(kHijackReportPage);
  Message(
      "This hijack report is used for those people who are familiar with computer knowlege.You can not remove them "
      "here,but you can pick a category at left-side,then remove them.",
      "Important", MB_OK | MB_ICONINFORMATION);
}

void MainWindow::HelpClick() { OpenHelp(HelpTopicFor(nullptr)); }
void MainWindow::LiveUpdateClick() { OpenWithShell(appPath_ + "Kestrup.exe", "the updater"); }
void MainWindow::HomePageClick() { OpenWithShell(kHomePageAddress, "the home page"); }

void MainWindow::ShowDialog(win32::Dialog* dialog) {
  if (dialog) showModal(*dialog);
}

void MainWindow::OpenWithShell(const std::string& target, const std::string& what) {
  std::string error;
  if (!shellOpen(target, &error)) ShowStatus("Cannot open " + what + " (" + target + "): " + error);
}

std::string MainWindow::HelpTopicFor(HWND from) const {
  const auto topicOf = [](NavigationAction action) {
    for (const Feature& f : Features())
      if (f.action == action) return std::string(f.helpTopic);
    return std::string(kHelpHomeTopic);
  };
  // The immunization dialogs have topics of their own; the other dialogs
  // belong to the page that opened them.
  if (from) {
    const HWND root = GetAncestor(from, GA_ROOT);
    if (spywareImmunize_ && root && root == spywareImmunize_->hwnd()) return topicOf(NavigationAction::SpywareImmunize);
    if (siteImmunize_ && root && root == siteImmunize_->hwnd()) return topicOf(NavigationAction::SiteImmunize);
  }
  const Feature* inView = pages_.Active();
  return inView ? inView->helpTopic : kHelpHomeTopic;
}

void MainWindow::OpenHelp(const std::string& topic) {
  const std::string problem = OpenHelpTopic(appPath_, topic, startProgram);
  if (!problem.empty()) Message(problem, kCaption, MB_OK | MB_ICONWARNING);
}

// ---- status bar, hints, failures --------------------------------------------

void MainWindow::HintTimerTick() {
  if (HintBarText(0).empty()) ShowStatus(kHelpHint);
}

void MainWindow::ShowFailure(const std::string& message) {
  if (hwnd()) SetWindowTextW(hwnd(), win32::Widen(kCaption).c_str());
  ShowStatus(message);
}

// ---- administrative rights --------------------------------------------------

void MainWindow::UpdateRightsNotice() {
  if (rightsNotice_.Update(pages_.Active())) Layout();
}

std::string MainWindow::RightsNoticeText() const { return rightsNotice_.Text(); }

void MainWindow::RunAsAdministratorClick() {
  std::string error;
  if (runAsAdministrator(&error)) {
    PostMessageW(hwnd(), WM_CLOSE, 0, 0);
    return;
  }
  if (!error.empty()) ShowStatus("Cannot start Wardenlake with administrative rights: " + error);
}

void MainWindow::ShowPageStatus(const Page& page, const std::string& text) {
  pageStatus_[&page] = text;
  const Feature* active = pages_.Active();
  if (active && pages_.PageOf(*active) == &page) ShowStatus(text);
}

void MainWindow::ShowStatus(const std::string& text) {
  if (hintBar_) SendMessageW(hintBar_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(win32::Widen(text).c_str()));
}

std::string MainWindow::HintBarText(int panel) const {
  if (!hintBar_) return {};
  const LRESULT info = SendMessageW(hintBar_, SB_GETTEXTLENGTHW, static_cast<WPARAM>(panel), 0);
  std::wstring text(LOWORD(info) + 1, L'\0');
  SendMessageW(hintBar_, SB_GETTEXTW, static_cast<WPARAM>(panel), reinterpret_cast<LPARAM>(text.data()));
  text.resize(LOWORD(info));
  while (!text.empty() && text.front() == L'\t') text.erase(text.begin());
  return win32::Narrow(text);
}

int MainWindow::Message(const std::string& text, const std::string& caption, UINT flags) {
  HWND owner = hwnd() && IsWindowVisible(hwnd()) ? hwnd() : nullptr;
  return messageBox(owner, text, caption, flags);
}

std::optional<std::string> MainWindow::HintAt(HWND, POINT) { return std::string(); }

void MainWindow::UpdateHint(const MSG& msg) {
  std::optional<std::string> hint;
  POINT screen{GET_X_LPARAM(msg.lParam), GET_Y_LPARAM(msg.lParam)};
  ClientToScreen(msg.hwnd, &screen);
  for (HWND h = msg.hwnd; h && !hint; h = GetAncestor(h, GA_PARENT)) {
    if (win32::Window* w = win32::Window::FromHandle(h)) hint = w->HintAt(msg.hwnd, screen);
    if (h == hwnd()) break;
  }
  // Only a change of hint reaches the status bar, so that a message shown
  // there stays until the mouse moves to something with another hint.
  const std::string text = hint.value_or(std::string());
  if (text == lastHint_) return;
  lastHint_ = text;
  ShowStatus(text);
}

bool MainWindow::PreTranslate(MSG& msg) {
  if (!hwnd()) return false;
  const bool ours = msg.hwnd == hwnd() || IsChild(hwnd(), msg.hwnd);
  if (!ours) return false;
  if (msg.message == WM_MOUSEMOVE) UpdateHint(msg);
  if (accelerators_ && TranslateAcceleratorW(hwnd(), accelerators_, &msg)) {
    // F1 has opened the help: the WM_KEYF1 the system posted with the key
    // would open it a second time (as WM_HELP).
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_F1) {
      MSG pending;
      while (PeekMessageW(&pending, nullptr, kKeyF1Message, kKeyF1Message, PM_REMOVE)) {
      }
    }
    return true;
  }
  return IsDialogMessageW(hwnd(), &msg) != FALSE;
}

// ---- window -----------------------------------------------------------------

void MainWindow::UpdateStatusParts() {
  RECT r{};
  GetClientRect(hwnd(), &r);
  const int panel1 = win32::Scale(260, win32::DpiOf(hwnd()));
  if (!adminRights_) {
    // A third panel says that the program runs without administrative rights.
    const int panel2 = win32::Scale(170, win32::DpiOf(hwnd()));
    const int right = r.right - panel2 > 0 ? r.right - panel2 : 0;
    int parts[3] = {right - panel1 > 0 ? right - panel1 : 0, right, -1};
    SendMessageW(hintBar_, SB_SETPARTS, 3, reinterpret_cast<LPARAM>(parts));
    return;
  }
  int parts[2] = {r.right - panel1 > 0 ? r.right - panel1 : 0, -1};
  SendMessageW(hintBar_, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(parts));
}

void MainWindow::Layout() {
  if (!hintBar_) return;
  RECT r{};
  GetClientRect(hwnd(), &r);
  SendMessageW(hintBar_, WM_SIZE, 0, 0);
  UpdateStatusParts();
  RECT bar{};
  GetWindowRect(hintBar_, &bar);
  const int statusHeight = bar.bottom - bar.top;
  // Sizes from this window's DPI: after a DPI change the children learn
  // theirs only later.
  const UINT dpi = win32::DpiOf(hwnd());
  const int headerHeight = win32::Scale(64, dpi);
  const int navWidth = win32::Scale(200, dpi);
  MoveWindow(header_.hwnd(), 0, 0, r.right, headerHeight, TRUE);
  MoveWindow(groupBar_.hwnd(), 0, headerHeight, navWidth, r.bottom - headerHeight - statusHeight, TRUE);
  RECT pageArea{navWidth, headerHeight, r.right, r.bottom - statusHeight};
  // The line about missing rights sits above the page.
  pageArea.top += rightsNotice_.Place(pageArea, dpi);
  pages_.Resize(pageArea);
}

LRESULT MainWindow::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_SIZE:
      Layout();
      return 0;
    case WM_GETMINMAXINFO: {
      auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
      const UINT dpi = win32::DpiOf(hwnd());
      info->ptMinTrackSize = POINT{win32::Scale(760, dpi), win32::Scale(660, dpi)};
      return 0;
    }
    case WM_DPICHANGED: {
      const auto* suggested = reinterpret_cast<const RECT*>(lParam);
      SetWindowPos(hwnd(), nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                   suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
      navImages_ = ImageList(win32::Scale(16, win32::DpiOf(hwnd())), navImages_.Glyphs());
      groupBar_.SetImages(navImages_.get());
      Layout();
      return 0;
    }
    case WM_ERASEBKGND: {
      RECT r{};
      GetClientRect(hwnd(), &r);
      FillRect(reinterpret_cast<HDC>(wParam), &r, GetSysColorBrush(COLOR_WINDOW));
      return 1;
    }
    case WM_TIMER:
      if (wParam == kHintTimer) {
        HintTimerTick();
        return 0;
      }
      break;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case kCmdHelp:
          HelpClick();
          return 0;
        case kCmdDictionary:
          DictionaryClick();
          return 0;
        case kRightsButtonId:
          RunAsAdministratorClick();
          return 0;
        default:
          break;
      }
      break;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == kSysCmdRunAsAdministrator) {
        RunAsAdministratorClick();
        return 0;
      }
      break;
    case WM_HELP: {
      // F1 where no accelerator takes it: in a dialog, a menu or a control
      // that keeps its keys; the help goes to what the key was pressed in.
      const auto* info = reinterpret_cast<const HELPINFO*>(lParam);
      HWND from = info && info->iContextType == HELPINFO_WINDOW ? static_cast<HWND>(info->hItemHandle) : nullptr;
      OpenHelp(HelpTopicFor(from));
      return TRUE;
    }
    case WM_DESTROY:
      KillTimer(hwnd(), kHintTimer);
      // Closing the main window ends the program.
      if (options_.quitOnDestroy) PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return Default(msg, wParam, lParam);
}

}  // namespace wl::app
