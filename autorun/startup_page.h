// The Startup page (page 0): StartupList shows the autorun entries with their
// program icons (ImageList3) and verdicts; its toolbar and its popup menu
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
#include "autorun/startup_setup_form.h"
#include "documents/scan_baseline.h"
#include "win32/handles.h"

namespace wl {

// A row of StartupList: the entry and the image appended for it.
struct StartupRow {
  AutorunRow entry;
  int image = -1;     // its program icon in ImageList3
  int scanIndex = 0;  // its place in the scan's order
  // After "Compare with Saved...": "New", "Changed (value)" …; empty when
  // the saved scan has the entry as it is, or the entry is not flagged.
  std::string sinceSaved;
};

class StartupPage : public ui::ListPage<StartupRow> {
 public:
  // Popup menu PMStartup.
  static constexpr int kSetup1 = 1001;
  static constexpr int kDisableItem1 = 1002;
  static constexpr int kRefresh1 = 1003;
  static constexpr int kDeleteFile1 = 1004;  // "File Poperty"
  static constexpr int kOpenFolder1 = 1005;
  static constexpr int kProperty1 = 1006;    // "View Entry"
  // Toolbar.
  static constexpr int kToolButton7 = 1007;   // "Refresh"
  static constexpr int kToolButton8 = 1008;   // "Delete Item"
  static constexpr int kToolButton11 = 1009;  // "Add Program"
  static constexpr int kToolButton4 = 1010;   // "Launch Program"
  static constexpr int kToolButton30 = 1011;  // "Uninstall Software"
  // Scheduled tasks and hooks with a system default.
  static constexpr int kDisableTask1 = 1012;     // popup "Disable Task"
  static constexpr int kRestoreDefault1 = 1013;  // popup "Restore Default"
  static constexpr int kToolButton12 = 1014;     // "Disable"
  static constexpr int kToolButton13 = 1015;     // "Restore Default"
  // Marks the rows new or changed since a saved scan document.
  static constexpr int kCompareSaved1 = 1016;  // "Compare with Saved..."

  // The page "Uninstall Software" opens.
  static constexpr char kSoftwarePage[] = "software";

  explicit StartupPage(ui::PageContext& context);
  ~StartupPage() override;

  // ---- handlers ---------------------------------------------------------
  void Refresh1Click();  // the autorun scan
  void ToolButton7Click() { Refresh1Click(); }
  void ToolButton8Click() { DisableItem1Click(); }
  void ToolButton11Click();  // "Add Program"
  void ToolButton4Click();   // "Launch Program"
  void ToolButton30Click();  // "Uninstall Software"
  void Setup1Click();        // properties dialog
  void DisableItem1Click();  // removal dialog
  void DeleteFile1Click();   // "File Poperty"
  void OpenFolder1Click();   // "Open Directory"
  void Property1Click();     // "View Entry"
  void DisableTask1Click();     // disables the selected row's scheduled task
  void RestoreDefault1Click();  // writes the system's default back into the selected hook value
  void ToolButton12Click() { DisableTask1Click(); }
  void ToolButton13Click() { RestoreDefault1Click(); }
  void CompareSaved1Click();  // reads a scan document and marks the rows; writes nothing
  void PMStartupPopup();
  void StartupListDblClick();
  void StartupListColumnClick();
  // The category filter: only the rows of the chosen category are shown.
  void CategoryFilterChange();
  static constexpr const char* kAllCategories = "All Categories";

  bool IsEmpty() const override { return List().Empty(); }
  void RefreshPage() override { Refresh1Click(); }

  const ui::ImageList& ImageList3() const { return imageList3_; }
  // The dialog in use: the program's TForm2, else one of the page's own.
  TForm2& Form2();

  // ---- seams (tests replace them) ---------------------------------------
  std::function<AutorunPlaces()> places;
  SourceKeyOpener openKey;
  TaskLister listTasks;
  // OpenDialog1: the chosen program file, nullopt when cancelled.
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
  void OpenForm2(bool removal);
  void RemoveItem(int index, const RemovalChoice& choice);
  void OpenDirectoryOf(const std::string& value);
  // The rows of the last scan the filter lets through.
  void ShowChosenCategory();
  // A row removed from the list goes from the scan's rows too.
  void ForgetRow(int scanIndex);
  // Marks the rows by the saved scan compared with last, and says how many.
  void ShowComparison();

  ui::ImageList imageList3_;
  AutorunPlaces lastPlaces_;
  std::vector<StartupRow> allRows_;  // every row of the last scan, the filter aside
  // The flagged rows of the last scan as a scan document names them, each
  // with its row's place in the scan.
  std::vector<std::pair<int, ScanItem>> flaggedItems_;
  // The saved scan the rows are compared with, and its file: each scan is
  // compared with it until another is chosen.
  std::optional<Baseline> saved_;
  std::string savedFile_;
  std::unique_ptr<TForm2> ownForm2_;
};

}  // namespace wl
