// The Startup page ("Autorun List"): StartupList shows the autorun entries with their
// program icons (ProgramIcons) and verdicts; its toolbar and its popup menu
// PMStartup act on the selected row through the "Startup Setup" dialog and
// the shell.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ui/list_page.h"
#include "autorun/autorun_actions.h"
#include "autorun/autorun_scan.h"
#include "autorun/startup_setup_dialog.h"
#include "documents/scan_baseline.h"
#include "win32/handles.h"

namespace wl {

// A row of StartupList: the entry and the image appended for it.
struct StartupRow {
  AutorunRow entry;
  int image = -1;     // its program icon in ProgramIcons
  int scanIndex = 0;  // its place in the scan's order
  // After "Compare with Saved...": "New", "Changed (value)" …; empty when
  // the saved scan has the entry as it is, or the entry is not flagged.
  std::string sinceSaved;
};

class StartupPage : public ui::ListPage<StartupRow> {
 public:
  // Popup menu PMStartup.
  static constexpr int kSetupMenuItem = 1001;
  static constexpr int kDeleteItemMenuItem = 1002;
  static constexpr int kRefreshMenuItem = 1003;
  static constexpr int kFilePropertyMenuItem = 1004;  // "File Poperty"
  static constexpr int kOpenDirectoryMenuItem = 1005;
  static constexpr int kViewEntryMenuItem = 1006;    // "View Entry"
  // Toolbar.
  static constexpr int kRefreshButton = 1007;            // "Refresh"
  static constexpr int kDeleteItemButton = 1008;         // "Delete Item"
  static constexpr int kAddProgramButton = 1009;         // "Add Program"
  static constexpr int kLaunchProgramButton = 1010;      // "Launch Program"
  static constexpr int kUninstallSoftwareButton = 1011;  // "Uninstall Software"
  // Scheduled tasks and hooks with a system default.
  static constexpr int kDisableTaskMenuItem = 1012;     // popup "Disable Task"
  static constexpr int kRestoreDefaultMenuItem = 1013;  // popup "Restore Default"
  static constexpr int kDisableButton = 1014;           // "Disable"
  static constexpr int kRestoreDefaultButton = 1015;    // "Restore Default"
  // Marks the rows new or changed since a saved scan document.
  static constexpr int kCompareSaved = 1016;  // "Compare with Saved..."

  // The page "Uninstall Software" opens.
  static constexpr char kSoftwarePage[] = "software";

  explicit StartupPage(ui::PageContext& context);
  ~StartupPage() override;

  // ---- handlers ---------------------------------------------------------
  void RefreshClick();            // the autorun scan
  void AddProgramClick();         // "Add Program"
  void LaunchProgramClick();      // "Launch Program"
  void UninstallSoftwareClick();  // "Uninstall Software"
  void SetupClick();              // properties dialog
  void DeleteItemClick();         // removal dialog
  void FilePropertyClick();       // "File Poperty"
  void OpenDirectoryClick();      // "Open Directory"
  void ViewEntryClick();          // "View Entry"
  void DisableTaskClick();        // disables the selected row's scheduled task
  void RestoreDefaultClick();     // writes the system's default back into the selected hook value
  void CompareSavedClick();       // reads a scan document and marks the rows; writes nothing
  void PMStartupPopup();
  void StartupListDblClick();
  void StartupListColumnClick();
  // The category filter: only the rows of the chosen category are shown.
  void CategoryFilterChange();
  static constexpr const char* kAllCategories = "All Categories";

  bool IsEmpty() const override { return List().Empty(); }
  void RefreshPage() override { RefreshClick(); }

  const ui::ImageList& ProgramIcons() const { return programIcons_; }
  // The dialog in use: the program's StartupSetupDialog, else one of the page's own.
  StartupSetupDialog& StartupSetup();

  // ---- seams (tests replace them) ---------------------------------------
  std::function<AutorunPlaces()> places;
  SourceKeyOpener openKey;
  TaskLister listTasks;
  // "Add Program": the chosen program file, nullopt when cancelled.
  std::function<std::optional<std::string>()> chooseProgram;
  std::function<bool(const std::string& target)> shellOpen;
  std::function<bool(const std::string& path)> showProperties;
  std::function<bool(const std::string& keyPath, const std::string& valueName)> jumpToRegistry;
  std::function<win32::UniqueHicon(const std::string& text, bool small)> fileIcon;
  std::function<int(win32::Dialog& dialog)> showModal;
  // The scan document to compare with, nullopt when cancelled.
  std::function<std::optional<std::string>()> chooseSaved;

 protected:
  void OnCreate() override;

 private:
  StartupEntry EntryOf(std::size_t index) const;
  void OpenStartupSetup(bool removal);
  void RemoveItem(int index, const RemovalChoice& choice);
  void OpenDirectoryOf(const std::string& value);
  // The rows of the last scan the filter lets through.
  void ShowChosenCategory();
  // A row removed from the list goes from the scan's rows too.
  void ForgetRow(int scanIndex);
  // Marks the rows by the saved scan compared with last, and says how many.
  void ShowComparison();

  ui::ImageList programIcons_;
  AutorunPlaces lastPlaces_;
  std::vector<StartupRow> allRows_;  // every row of the last scan, the filter aside
  // The flagged rows of the last scan as a scan document names them, each
  // with its row's place in the scan.
  std::vector<std::pair<int, ScanItem>> flaggedItems_;
  // The saved scan the rows are compared with, and its file: each scan is
  // compared with it until another is chosen.
  std::optional<Baseline> saved_;
  std::string savedFile_;
  std::unique_ptr<StartupSetupDialog> ownStartupSetup_;
};

}  // namespace wl
