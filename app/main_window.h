// The main window "Wardenlake": navigation bar on the left, the header strip
// and the pages of the feature table on the right, the status bar HintBar
// below. RunStartUp runs the start-up sequence; a navigation item does what
// its feature's row says (navigation.h), F1 opens the help (help_viewer.h),
// and without administrative rights a line says so above the page
// (rights_notice.h).
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/header_strip.h"
#include "app/help_viewer.h"
#include "app/page_control.h"
#include "app/rights_notice.h"
#include "app/status_page.h"
#include "features/feature_table.h"
#include "ui/page.h"
#include "core/version.h"
#include "refdb/reference_tables.h"
#include "core/hijack_list.h"
#include "judge/windows_facts.h"
#include "settings/association_rules.h"
#include "win32/dialog.h"
#include "win32/group_bar.h"
#include "win32/window.h"

namespace wl::app {

using ui::Page;
using ui::PageContext;
using ui::UiServices;
using ui::ImageList;
using ui::SharedImages;

inline constexpr char kCaption[] = "Wardenlake";
inline constexpr char kHelpHint[] = "For Help,Press F1";
inline constexpr char kProgramVersion[] = "v" WL_VERSION_TEXT;
inline constexpr char kWebAddress[] = "https://wardenlake.example";
inline constexpr char kHomePageAddress[] = "https://wardenlake.example/";
inline constexpr char kSupportMail[] = "support@wardenlake.example";

struct MainOptions {
  std::string appPath;   // the program's folder with a trailing backslash; empty: the executable's folder
  // Makes the page of a feature that has one; empty: the feature's own page.
  // A page it does not make (null) is left out, and the hijack scan reads
  // that feature without its page.
  std::function<std::unique_ptr<Page>(const Feature& feature, PageContext& context)> makePage;
  bool quitOnDestroy = true;  // closing the window ends the message loop
  std::function<bool()> hasAdminRights;  // empty: whether this process runs elevated
};

class MainWindow : public win32::Window, public UiServices {
 public:
  enum class DatabaseState { NotOpened, Loaded, Missing, Damaged };

  explicit MainWindow(MainOptions options = {});
  ~MainWindow() override;

  // Creates the window (hidden) and runs RunStartUp. False when the window
  // could not be made.
  bool Create();
  // The dialogs the window opens (created after it).
  void AttachDialogs(win32::Dialog* startupSetup, win32::Dialog* spywareImmunize, win32::Dialog* siteImmunize);
  // True when start-up decided the program cannot run (Ref.dbd missing).
  bool TerminateRequested() const { return terminate_; }
  // Accelerators, dialog-style keyboard navigation and hint tracking; the
  // program's message loop runs every message through it.
  bool PreTranslate(MSG& msg);

  // ---- handlers ---------------------------------------------------------
  void RunStartUp();
  void SiteImmunizeClick();     // status page and navigation: "Site Immunize"
  void HijackScanClick();       // status page: "Scan PC Hijacker" (the hijack scan)
  void SpywareImmunizeClick();  // status page and navigation: "Spyware Immunize"
  void HelpClick();             // F1: the help topic of what is in view
  void DictionaryClick();       // F3 and navigation: "Process Dictionary"
  void LiveUpdateClick();
  void HomePageClick();
  void HintTimerTick();
  void ShowFailure(const std::string& message);
  void RunAsAdministratorClick();  // system menu and the rights line: restart elevated

  // ---- state ------------------------------------------------------------
  // Shows the named feature's page (nothing when it has none).
  void ShowPage(std::string_view name);
  // The name of the feature whose page is shown; empty before the first is.
  std::string_view ActivePage() const;
  Page* PageAt(std::string_view name) const { return pages_.PageOf(name); }
  StatusPage& Status() { return *status_; }
  win32::GroupBar& NavigationBar() { return groupBar_; }
  HeaderStrip& Header() { return header_; }
  HWND HintBar() const { return hintBar_; }
  std::string HintBarText(int panel) const;
  const ReferenceTables& Tables() const { return tables_; }
  HijackList& Hijack() { return hijack_; }
  DatabaseState Database() const { return database_; }
  const std::string& DatabaseError() const { return databaseError_; }
  bool HasAdminRights() const { return adminRights_; }
  // The line above the page about missing rights; empty while hidden.
  std::string RightsNoticeText() const;

  // ---- UiServices -------------------------------------------------------
  int Message(const std::string& text, const std::string& caption, UINT flags) override;
  void ShowStatus(const std::string& text) override;
  void ShowPageStatus(const Page& page, const std::string& text) override;
  HWND OwnerWindow() const override { return hwnd(); }
  const std::string& AppPath() const override { return appPath_; }
  // Does what the named feature's navigation item does: opens its page, or
  // its dialog, mail or prompt.
  void OpenPage(std::string_view name) override;
  // The caption of the navigation item that shows the page; empty when none does.
  std::string PageCaption(const Page& page) const;
  win32::Dialog* StartupSetup() const override { return startupSetup_; }

  // ---- seams (tests replace them) ----------------------------------------
  // Message boxes; returns the button pressed.
  std::function<int(HWND owner, const std::string& text, const std::string& caption, UINT flags)> messageBox;
  // Opens a file, program or address with the shell's open verb; false with
  // the reason in *error when it cannot.
  std::function<bool(const std::string& target, std::string* error)> shellOpen;
  // Starts a program by its full path with the arguments (the help viewer);
  // false with the reason in *error when it cannot.
  StartProgramFn startProgram;
  // The line-of-text prompt; nullopt on Cancel.
  std::function<std::optional<std::string>(const std::string& title, const std::string& prompt)> inputQuery;
  // Shows a dialog modally.
  std::function<int(win32::Dialog& dialog)> showModal;
  // Starts this program again with administrative rights; true when it
  // started (this instance then closes). The program block replaces it.
  std::function<bool(std::string* error)> runAsAdministrator;


 protected:
  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
  std::optional<std::string> HintAt(HWND control, POINT screenPoint) override;

 private:
  void CreateControls();
  void BuildNavigation();
  void LoadReferenceDatabase();
  void Layout();
  void UpdateStatusParts();
  void Choose(const Feature& feature);
  void ShowPage(const Feature& feature);
  // Runs the page's refresh when its list is empty.
  void RefreshIfEmpty(const Feature& feature);
  void MailSupport();
  void OpenWithShell(const std::string& target, const std::string& what);
  // The help topic of the page in view, or of the dialog that holds from.
  std::string HelpTopicFor(HWND from) const;
  void OpenHelp(const std::string& topic);
  void UpdateHint(const MSG& msg);
  void ShowDialog(win32::Dialog* dialog);
  void UpdateRightsNotice();

  MainOptions options_;
  std::string appPath_;
  ReferenceTables tables_;
  // The judge of every page: what it learns of files is kept for the run.
  WindowsFacts facts_;
  Judge judge_{tables_, facts_, JudgeOptions{.whileWaiting = [] {
                                    // While signatures are verified the window keeps drawing itself
                                    // (paint messages only: no click can start another action).
                                    MSG msg;
                                    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE | PM_QS_PAINT))
                                      DispatchMessageW(&msg);
                                  }}};
  AssociationTables associationTables_;
  HijackList hijack_;
  SharedImages images_;
  std::unique_ptr<PageContext> context_;
  ImageList navImages_;
  win32::GroupBar groupBar_;
  HeaderStrip header_;
  HWND hintBar_ = nullptr;
  StatusPage* status_ = nullptr;
  HACCEL accelerators_ = nullptr;
  win32::Dialog* startupSetup_ = nullptr;
  win32::Dialog* spywareImmunize_ = nullptr;
  win32::Dialog* siteImmunize_ = nullptr;
  DatabaseState database_ = DatabaseState::NotOpened;
  std::string databaseError_;
  bool terminate_ = false;
  bool adminRights_ = true;
  RightsNoticeLine rightsNotice_;
  // The last status text of each page, shown again when the page comes back.
  std::map<const Page*, std::string> pageStatus_;
  // The hint shown last; like the hint text of a fresh program, empty.
  std::string lastHint_;
  // Declared last so that the pages go before what their context refers to.
  PageControl pages_;
};

}  // namespace wl::app
