#include "app/main_form.h"

#include <shellapi.h>
#include <windowsx.h>

#include <utility>

#include "app/forms.h"
#include "app/help_topics.h"
#include "app/process_dictionary.h"
#include "app/resource.h"
#include "app/rights_notice.h"
#include "refdb/zlb_archive.h"
#include "console/hijack_scan.h"
#include "settings/association_scan.h"
#include "sysroutines/shell_routines.h"
#include "sysroutines/store_folder.h"
#include "sysroutines/system_paths.h"
#include "sysroutines/system_info.h"
#include "win32/dpi.h"
#include "win32/system_error.h"
#include "win32/unicode.h"

namespace wl::app {

using ui::Page;
using ui::PageContext;
using ui::Glyph;
using ui::ImageList;
using ui::MakeSharedImages;

std::unique_ptr<Page> MakePage(int index, PageContext& context);  // page_registry.cpp

namespace {

constexpr int kNavId = 200;
constexpr int kHeaderId = 201;
constexpr int kHintBarId = 202;
constexpr int kRightsTextId = 203;
constexpr int kRightsButtonId = 204;
constexpr UINT_PTR kTimer1 = 1;

// The navigation bar's colours (start-up step 3).
constexpr COLORREF kBarColor = RGB(122, 150, 223);
constexpr COLORREF kGroupColor = RGB(216, 228, 248);
constexpr COLORREF kDividerColor = RGB(49, 106, 197);
constexpr COLORREF kHotColor = RGB(61, 149, 255);

struct NavItem {
  const char* caption;
  const char* hint;
  Glyph glyph;
  void (TForm1::*handler)();
  int page;  // the page the item shows, -1 for none
};
struct NavGroup {
  const char* caption;
  std::vector<NavItem> items;
};

const std::vector<NavGroup>& Navigation() {
  static const std::vector<NavGroup> groups = {
      {"Summary",
       {{"Status", "View summary and status.", Glyph::Status, &TForm1::RzGroup1Items0Click, 10},
        {"Contact Us", "", Glyph::Mail, &TForm1::RzGroup1Items2Click, -1}}},
      {"Immunize",
       {{"Spyware Immunize", "Perform a scan task of your computer.", Glyph::ShieldCheck,
         &TForm1::RzGroup6Items0Click, -1},
        {"Site Immunize", "View scan report.", Glyph::GlobeShield, &TForm1::RzGroup6Items1Click, -1}}},
      {"Wardenlake",
       {{"Autorun List", "View/Manage the startup items.", Glyph::Rocket, &TForm1::RzGroup4Items0Click, 0},
        {"System Service", "View/Manage system service.", Glyph::Gear, &TForm1::RzGroup4Items1Click, 2},
        {"System Association", "View/Fix system association.", Glyph::Link, &TForm1::RzGroup4Items2Click, 4},
        {"Shell Extensions", "View/Fix the system shell extensions.", Glyph::Menu, &TForm1::RzGroup4Items3Click,
         14},
        {"Browser Settings", "Fix the browser settings.", Glyph::GlobeGear, &TForm1::RzGroup4Items4Click, 15},
        {"BHO/Browser ActiveX", "View browser help objects and browser ActiveX controls.", Glyph::Puzzle,
         &TForm1::RzGroup4Items5Click, 7},
        {"Browser Extensions", "View browser extensions.", Glyph::Toolbar, &TForm1::RzGroup4Items6Click, 6},
        {"Other Browsers", "View/Fix the settings and add-ons of Edge, Chrome, Firefox and other browsers.",
         Glyph::GlobeGear, &TForm1::RzGroup4Items7Click, 11},
        {"Network Settings", "View/Fix the hosts file, proxies, proxy scripts and DNS servers.", Glyph::Plug,
         &TForm1::RzGroup4Items8Click, 17}}},
      {"Tools",
       {{"Process Manager", "Manage the running process.", Glyph::Window, &TForm1::RzGroup2Items0Click, 1},
        {"Uninstall Software", "Uninstall or log-on software.", Glyph::Package, &TForm1::RzGroup2Items1Click, 12},
        {"Active Ports", "View active ports.", Glyph::Plug, &TForm1::RzGroup2Items2Click, 5},
        {"Net Sniffer", "Capture internet data packge.", Glyph::Wave, &TForm1::RzGroup2Items3Click, 9},
        {"Process Dictionary", "Look up a process from Process Dictionary.(F3)", Glyph::Book,
         &TForm1::RzGroup2Items4Click, -1},
        {"Backups", "View and restore the backups of every change.", Glyph::Save, &TForm1::BackupsItemClick, 16}}},
  };
  return groups;
}

// A page that a later part of the program fills; empty for now.
class EmptyPage : public Page {
 public:
  using Page::Page;
};

bool IsFile(const std::string& path) {
  const DWORD attr = GetFileAttributesW(win32::Widen(path).c_str());
  return attr != INVALID_FILE_ATTRIBUTES && !(attr & FILE_ATTRIBUTE_DIRECTORY);
}

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

// Whether the line about missing rights is meant to show (the main window
// itself may still be hidden).
bool RightsLineShown(HWND text) { return text && (GetWindowLongW(text, GWL_STYLE) & WS_VISIBLE); }

// Posted by the system along with a pressed F1; DefWindowProc turns it into
// WM_HELP.
constexpr UINT kKeyF1Message = 0x004D;

// The system's help viewer: in the Windows folder, else in the system folder.
std::string HelpViewerPath() {
  const std::string inWindows = WindowsProgramPath(kHelpViewer);
  if (IsFile(inWindows)) return inWindows;
  const std::string inSystem = SystemProgramPath(kHelpViewer);
  return IsFile(inSystem) ? inSystem : inWindows;
}

// The help viewer reads its command line in the ANSI code page: a path with
// characters outside it is given by its short form, when the volume has one.
std::string PathForAnsiProgram(const std::string& path) {
  const std::wstring wide = win32::Widen(path);
  BOOL lost = FALSE;
  const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), static_cast<int>(wide.size()),
                                    nullptr, 0, nullptr, &lost);
  if (n > 0 && !lost) return path;
  std::wstring shortPath(32768, L'\0');
  const DWORD got = GetShortPathNameW(wide.c_str(), shortPath.data(), static_cast<DWORD>(shortPath.size()));
  if (got == 0 || got >= shortPath.size()) return path;
  shortPath.resize(got);
  return win32::Narrow(shortPath);
}

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

// ---- PageControl ------------------------------------------------------------

void PageControl::Set(int index, std::unique_ptr<Page> page) {
  if (index < 0 || index >= kPageCount) return;
  pages_[static_cast<std::size_t>(index)] = std::move(page);
}

Page* PageControl::PageAt(int index) const {
  if (index < 0 || index >= kPageCount) return nullptr;
  return pages_[static_cast<std::size_t>(index)].get();
}

void PageControl::SetActivePageIndex(int index) {
  Page* next = PageAt(index);
  if (!next) return;
  if (index == active_) {
    next->OnShow();
    return;
  }
  Page* previous = PageAt(active_);
  active_ = index;
  next->OnShow();
  // The page that goes is hidden first and the new one put on top and
  // painted whole, so that nothing of the old page (its title, say) stays
  // on the screen where the new page's controls leave a gap.
  if (previous) ShowWindow(previous->hwnd(), SW_HIDE);
  SetWindowPos(next->hwnd(), HWND_TOP, area_.left, area_.top, area_.right - area_.left, area_.bottom - area_.top,
               SWP_SHOWWINDOW);
  RedrawWindow(next->hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_FRAME);
}

void PageControl::Resize(const RECT& area) {
  area_ = area;
  if (Page* p = PageAt(active_))
    MoveWindow(p->hwnd(), area.left, area.top, area.right - area.left, area.bottom - area.top, TRUE);
}

// ---- TForm1 -----------------------------------------------------------------

TForm1::TForm1(MainOptions options) : options_(std::move(options)) {
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

TForm1::~TForm1() {
  if (accelerators_) DestroyAcceleratorTable(accelerators_);
  win32::SetExceptionHook(nullptr);
}

bool TForm1::Create() {
  win32::WindowClass cls;
  cls.name = L"TForm1";
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
  win32::SetExceptionHook([this](const std::string& message) { ApplicationEvents1Exception(message); });
  CreateControls();
  win32::GuardCall([this] { FormCreate(); });
  return true;
}

void TForm1::AttachDialogs(win32::Dialog* form2, win32::Dialog* form5, win32::Dialog* form4) {
  form2_ = form2;
  form5_ = form5;
  form4_ = form4;
}

void TForm1::CreateControls() {
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
  CreateRightsControls();
  UpdateStatusParts();
  ShowStatus(kHelpHint);
  // A leading tab centres a panel's text.
  SendMessageW(hintBar_, SB_SETTEXTW, 1, reinterpret_cast<LPARAM>((L"\t" + win32::Widen(kWebAddress)).c_str()));
  if (!adminRights_)
    SendMessageW(hintBar_, SB_SETTEXTW, 2, reinterpret_cast<LPARAM>(win32::Widen(kNoRightsStatus).c_str()));

  const PageFactory& factory = options_.makePage ? options_.makePage : PageFactory(MakePage);
  for (int i = 0; i < kPageCount; ++i) {
    std::unique_ptr<Page> page;
    if (i == kStatusPageIndex) {
      auto status = std::make_unique<StatusPage>(*context_);
      status_ = status.get();
      page = std::move(status);
    } else {
      page = factory(i, *context_);
      if (!page) page = std::make_unique<EmptyPage>(*context_);
    }
    page->Create(hwnd());
    PageControl1.Set(i, std::move(page));
  }
  status_->onSiteImmunize = [this] { Label1Click(); };
  status_->onScan = [this] { Label15Click(); };
  status_->onSpywareImmunize = [this] { Label3Click(); };

  ACCEL keys[] = {{FVIRTKEY, VK_F1, kCmdHelp}, {FVIRTKEY, VK_F3, kCmdDictionary}};
  accelerators_ = CreateAcceleratorTableW(keys, 2);
  SetTimer(hwnd(), kTimer1, 1000, nullptr);
  Layout();
}

void TForm1::BuildNavigation() {
  std::vector<Glyph> glyphs;
  std::vector<win32::GroupBarGroup> groups;
  for (const auto& g : Navigation()) {
    win32::GroupBarGroup group{g.caption, {}};
    for (const auto& item : g.items) {
      group.items.push_back({item.caption, item.hint, static_cast<int>(glyphs.size())});
      glyphs.push_back(item.glyph);
    }
    groups.push_back(std::move(group));
  }
  navImages_ = ImageList(win32::Scale(16, win32::DpiOf(hwnd())), glyphs);
  groupBar_.SetImages(navImages_.get());
  groupBar_.SetGroups(std::move(groups));
  groupBar_.onItemClick = [this](win32::GroupBarPos pos) { OnNavigation(pos); };
}

void TForm1::OpenPage(int pageIndex) {
  for (const auto& g : Navigation())
    for (const auto& item : g.items)
      if (item.page == pageIndex) {
        (this->*item.handler)();
        return;
      }
  ShowPage(pageIndex);
}

void TForm1::OnNavigation(win32::GroupBarPos pos) {
  const auto& groups = Navigation();
  if (pos.group < 0 || pos.group >= static_cast<int>(groups.size())) return;
  const auto& items = groups[static_cast<std::size_t>(pos.group)].items;
  if (pos.item < 0 || pos.item >= static_cast<int>(items.size())) return;
  (this->*items[static_cast<std::size_t>(pos.item)].handler)();
}

void TForm1::MarkNavigationFor(int pageIndex) {
  const auto& groups = Navigation();
  for (std::size_t g = 0; g < groups.size(); ++g)
    for (std::size_t i = 0; i < groups[g].items.size(); ++i)
      if (groups[g].items[i].page == pageIndex) {
        groupBar_.SetCurrent({static_cast<int>(g), static_cast<int>(i)});
        return;
      }
  groupBar_.SetCurrent({});
}

// ---- start-up ---------------------------------------------------------------

void TForm1::FormCreate() {
  // 1. The program's folder.
  appPath_ = options_.appPath.empty() ? OwnProgramFolder() : options_.appPath;
  if (!appPath_.empty() && appPath_.back() != '\\' && appPath_.back() != '/') appPath_ += '\\';
  // 2. The association tables.
  associationTables_ = BuildAssociationTables();
  // 3. Navigation colours.
  win32::GroupBarColors colors;
  colors.bar = kBarColor;
  colors.group = kGroupColor;
  colors.divider = kDividerColor;
  colors.captionFont = kDividerColor;
  colors.itemFont = kDividerColor;
  colors.itemHot = kHotColor;
  colors.captionHot = kHotColor;
  colors.caption = RGB(255, 255, 255);
  // 6. The action pictures start in their normal state.
  status_->SiteAction().SetButtonPicture(Glyph::GoButton);
  status_->ScanAction().SetButtonPicture(Glyph::GoButton);
  status_->SpywareAction().SetButtonPicture(Glyph::GoButton);
  // 7 to 10, 13. The reference database.
  LoadReferenceDatabase();
  if (terminate_) return;
  // 12. Page tabs stay hidden; the navigation bar gets its colours.
  groupBar_.SetColors(colors);
  // 14.
  ShowPage(kStatusPageIndex);
}

void TForm1::LoadReferenceDatabase() {
  const std::string path = appPath_ + "Ref.dbd";
  if (!IsFile(path)) {
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

void TForm1::ShowPage(int index) {
  if (!PageAt(index)) return;
  PageControl1.SetActivePageIndex(index);
  // The page's own status text; the help text where it has none.
  const auto own = pageStatus_.find(PageAt(index));
  ShowStatus(own != pageStatus_.end() && !own->second.empty() ? own->second : kHelpHint);
  MarkNavigationFor(index);
  UpdateRightsNotice();
  // Paint the page now: a scan may follow and keep the window busy.
  if (IsWindowVisible(hwnd())) UpdateWindow(hwnd());
}

void TForm1::RefreshIfEmpty(int pageIndex) {
  Page* page = PageAt(pageIndex);
  if (page && page->IsEmpty()) page->RefreshPage();
}

void TForm1::RzGroup1Items0Click() { ShowPage(kStatusPageIndex); }

void TForm1::RzGroup1Items2Click() {
  const std::string subject = win32::GetText(hwnd()) + " " + status_->LabelText(StatusPage::kLabel13) + " Technical Suuport";
  OpenWithShell(std::string("mailto:") + kSupportMail + "?subject=" + UrlEncode(subject), "the mail program");
}

void TForm1::RzGroup6Items0Click() { ShowDialog(form5_); }
void TForm1::RzGroup6Items1Click() { ShowDialog(form4_); }

void TForm1::RzGroup4Items0Click() {
  RefreshIfEmpty(0);
  ShowPage(0);
}

void TForm1::RzGroup4Items1Click() {
  ShowPage(2);
  RefreshIfEmpty(2);
}

void TForm1::RzGroup4Items2Click() {
  RefreshIfEmpty(4);
  ShowPage(4);
}

void TForm1::RzGroup4Items3Click() {
  RefreshIfEmpty(14);
  ShowPage(14);
}

void TForm1::RzGroup4Items4Click() {
  if (Page* page = PageAt(15)) page->RefreshPage();
  ShowPage(15);
}

void TForm1::RzGroup4Items5Click() {
  RefreshIfEmpty(7);
  ShowPage(7);
}

void TForm1::RzGroup4Items6Click() {
  RefreshIfEmpty(6);
  ShowPage(6);
}

void TForm1::RzGroup4Items7Click() {
  RefreshIfEmpty(11);
  ShowPage(11);
}

void TForm1::RzGroup4Items8Click() {
  RefreshIfEmpty(17);
  ShowPage(17);
}

void TForm1::RzGroup2Items0Click() {
  RefreshIfEmpty(1);
  ShowPage(1);
}

std::string TForm1::PageCaption(const Page& page) const {
  for (int i = 0; i < kPageCount; ++i) {
    if (PageControl1.PageAt(i) != &page) continue;
    for (const auto& group : Navigation())
      for (const auto& item : group.items)
        if (item.page == i) return item.caption;
  }
  return {};
}

void TForm1::BackupsItemClick() {
  RefreshIfEmpty(16);
  ShowPage(16);
}

void TForm1::RzGroup2Items1Click() {
  RefreshIfEmpty(12);
  ShowPage(12);
}

void TForm1::RzGroup2Items2Click() {
  RefreshIfEmpty(5);
  ShowPage(5);
}

void TForm1::RzGroup2Items3Click() { ShowPage(9); }

void TForm1::RzGroup2Items4Click() {
  const auto typed = inputQuery(kDictionaryTitle, kDictionaryPrompt);
  if (!typed || typed->empty()) return;
  const DictionaryAnswer answer = LookupProcessDictionary(*typed, tables_, GetWindowsDir());
  Message(DictionaryMessage(answer), kDictionaryResultTitle, MB_OK | MB_ICONINFORMATION);
}

void TForm1::Label1Click() { ShowDialog(form4_); }
void TForm1::Label3Click() { ShowDialog(form5_); }

void TForm1::Label15Click() {
  // Each scanner refreshes its own page and appends its flagged rows.
  // A scanner whose page is not in this window runs headless. One scan:
  // nothing is looked up twice.
  const Judge::ScanScope scan(judge_);
  RunHijackScan(hijack_, [this](const HijackScanStep& step) {
    Page* p = PageAt(step.pageIndex);
    if (p && !dynamic_cast<EmptyPage*>(p))
      p->RefreshPage();
    else if (step.scan)
      hijack_.Append(step.scan(judge_).hijack);
  });
  ShowPage(kHijackPageIndex);
  Message(
      "This hijack report is used for those people who are familiar with computer knowlege.You can not remove them "
      "here,but you can pick a category at left-side,then remove them.",
      "Important", MB_OK | MB_ICONINFORMATION);
}

void TForm1::Help1Click() { OpenHelp(HelpTopicFor(nullptr)); }
void TForm1::Dictionary1Click() { RzGroup2Items4Click(); }
void TForm1::LiveUpdateClick() { OpenWithShell(appPath_ + "Kestrup.exe", "the updater"); }
void TForm1::HomePageClick() { OpenWithShell(kHomePageAddress, "the home page"); }

void TForm1::ShowDialog(win32::Dialog* dialog) {
  if (dialog) showModal(*dialog);
}

void TForm1::OpenWithShell(const std::string& target, const std::string& what) {
  std::string error;
  if (!shellOpen(target, &error)) ShowStatus("Cannot open " + what + " (" + target + "): " + error);
}

std::string TForm1::HelpTopicFor(HWND from) const {
  const auto topicOfItem = [](void (TForm1::*handler)()) {
    for (const auto& g : Navigation())
      for (const auto& item : g.items)
        if (item.handler == handler) return HelpTopicOf(item.caption);
    return std::string();
  };
  // The immunization dialogs have topics of their own; the other dialogs
  // belong to the page that opened them.
  if (from) {
    const HWND root = GetAncestor(from, GA_ROOT);
    if (form5_ && root && root == form5_->hwnd()) return topicOfItem(&TForm1::RzGroup6Items0Click);
    if (form4_ && root && root == form4_->hwnd()) return topicOfItem(&TForm1::RzGroup6Items1Click);
  }
  const int page = ActivePageIndex();
  if (page == kHijackPageIndex) return kHijackReportTopic;
  for (const auto& g : Navigation())
    for (const auto& item : g.items)
      if (item.page == page) {
        std::string topic = HelpTopicOf(item.caption);
        if (!topic.empty()) return topic;
      }
  return kHelpHomeTopic;
}

void TForm1::OpenHelp(const std::string& topic) {
  const std::string file = appPath_ + kHelpFileName;
  if (!IsFile(file)) {
    Message("The help file \"" + file + "\" is missing.\r\n\r\nInstall the program again to restore the file.",
            kCaption, MB_OK | MB_ICONWARNING);
    return;
  }
  const std::string viewer = HelpViewerPath();
  std::string error;
  if (!startProgram(viewer, HelpViewerArgument(PathForAnsiProgram(file), topic), &error))
    Message("The help viewer \"" + viewer + "\" could not be started:\r\n" + error, kCaption, MB_OK | MB_ICONWARNING);
}

// ---- status bar, hints, failures --------------------------------------------

void TForm1::Timer1Timer() {
  if (HintBarText(0).empty()) ShowStatus(kHelpHint);
}

void TForm1::ApplicationEvents1Exception(const std::string& message) {
  if (hwnd()) SetWindowTextW(hwnd(), win32::Widen(kCaption).c_str());
  ShowStatus(message);
}

// ---- administrative rights --------------------------------------------------

void TForm1::CreateRightsControls() {
  if (adminRights_) return;
  rightsText_ = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | SS_LEFTNOWORDWRAP | SS_CENTERIMAGE | SS_NOPREFIX, 0, 0,
                                0, 0, hwnd(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(kRightsTextId)),
                                win32::ModuleInstance(), nullptr);
  rightsButton_ = CreateWindowExW(0, L"BUTTON", win32::Widen(kRunAsAdministrator).c_str(),
                                  WS_CHILD | WS_TABSTOP | BS_PUSHBUTTON, 0, 0, 0, 0, hwnd(),
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(kRightsButtonId)),
                                  win32::ModuleInstance(), nullptr);
  const auto font = reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT));
  SendMessageW(rightsText_, WM_SETFONT, font, FALSE);
  SendMessageW(rightsButton_, WM_SETFONT, font, FALSE);
  // The same item on the window menu, reachable from every page.
  if (HMENU menu = GetSystemMenu(hwnd(), FALSE)) {
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, kSysCmdRunAsAdministrator, win32::Widen(kRunAsAdministrator).c_str());
  }
}

void TForm1::UpdateRightsNotice() {
  if (!rightsText_) return;
  const std::string text = RightsNoticeFor(ActivePageIndex());
  const bool shown = RightsLineShown(rightsText_);
  SetWindowTextW(rightsText_, win32::Widen(text).c_str());
  ShowWindow(rightsText_, text.empty() ? SW_HIDE : SW_SHOWNA);
  ShowWindow(rightsButton_, text.empty() ? SW_HIDE : SW_SHOWNA);
  if (shown != !text.empty()) Layout();
}

std::string TForm1::RightsNoticeText() const {
  if (!RightsLineShown(rightsText_)) return {};
  return win32::GetText(rightsText_);
}

void TForm1::RunAsAdministratorClick() {
  std::string error;
  if (runAsAdministrator(&error)) {
    PostMessageW(hwnd(), WM_CLOSE, 0, 0);
    return;
  }
  if (!error.empty()) ShowStatus("Cannot start Wardenlake with administrative rights: " + error);
}

void TForm1::ShowPageStatus(const Page& page, const std::string& text) {
  pageStatus_[&page] = text;
  if (PageAt(ActivePageIndex()) == &page) ShowStatus(text);
}

void TForm1::ShowStatus(const std::string& text) {
  if (hintBar_) SendMessageW(hintBar_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(win32::Widen(text).c_str()));
}

std::string TForm1::HintBarText(int panel) const {
  if (!hintBar_) return {};
  const LRESULT info = SendMessageW(hintBar_, SB_GETTEXTLENGTHW, static_cast<WPARAM>(panel), 0);
  std::wstring text(LOWORD(info) + 1, L'\0');
  SendMessageW(hintBar_, SB_GETTEXTW, static_cast<WPARAM>(panel), reinterpret_cast<LPARAM>(text.data()));
  text.resize(LOWORD(info));
  while (!text.empty() && text.front() == L'\t') text.erase(text.begin());
  return win32::Narrow(text);
}

int TForm1::Message(const std::string& text, const std::string& caption, UINT flags) {
  HWND owner = hwnd() && IsWindowVisible(hwnd()) ? hwnd() : nullptr;
  return messageBox(owner, text, caption, flags);
}

std::optional<std::string> TForm1::HintAt(HWND, POINT) { return std::string(); }

void TForm1::UpdateHint(const MSG& msg) {
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

bool TForm1::PreTranslate(MSG& msg) {
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

void TForm1::UpdateStatusParts() {
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

void TForm1::Layout() {
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
  int pageTop = headerHeight;
  if (RightsLineShown(rightsText_)) {
    // The line about missing rights sits above the page.
    const int line = win32::Scale(30, dpi), gap = win32::Scale(6, dpi), button = win32::Scale(150, dpi);
    MoveWindow(rightsText_, navWidth + gap, pageTop + gap / 2, r.right - navWidth - button - 3 * gap, line - gap, TRUE);
    MoveWindow(rightsButton_, r.right - button - gap, pageTop + gap / 2, button, line - gap, TRUE);
    pageTop += line;
  }
  PageControl1.Resize(RECT{navWidth, pageTop, r.right, r.bottom - statusHeight});
}

LRESULT TForm1::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
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
      if (wParam == kTimer1) {
        Timer1Timer();
        return 0;
      }
      break;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case kCmdHelp:
          Help1Click();
          return 0;
        case kCmdDictionary:
          Dictionary1Click();
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
      KillTimer(hwnd(), kTimer1);
      // Closing the main window ends the program.
      if (options_.quitOnDestroy) PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return Default(msg, wParam, lParam);
}

}  // namespace wl::app
