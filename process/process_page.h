// The process page ("Process Manager"): ProList shows the running processes with their
// verdicts; ModuleList below it the modules of the selected process. The
// toolbar and the popup menu PMProcess act on the selected process.
#pragma once

#include <functional>
#include <string>
#include <unordered_map>

#include "ui/list_page.h"
#include "ui/report_list.h"
#include "process/process_rows.h"

namespace wl {

// A row of ModuleList: the module, its file verdict and its signer.
struct ModuleRow {
  ModuleRecord module;
  std::string analysis;
  std::string signer;
};

class ProcessPage : public ui::ListPage<ProcessRow> {
 public:
  // Popup menu PMProcess.
  static constexpr int kTerminateProcessMenuItem = 1001;  // "&Terminate Process"
  static constexpr int kDeleteFileMenuItem = 1002;        // "Delete File"
  static constexpr int kRefreshMenuItem = 1003;
  static constexpr int kFilePropertyMenuItem = 1004;
  static constexpr int kOpenDirectoryMenuItem = 1005;
  // Toolbar.
  static constexpr int kRefreshButton = 1006;      // "Refresh"
  static constexpr int kKillProcessButton = 1007;  // "Kill Process"
  static constexpr int kModuleListId = 102;

  explicit ProcessPage(ui::PageContext& context);

  // ---- handlers ---------------------------------------------------------
  void RefreshClick();
  void ProListClick();
  void PMProcessPopup();
  void TerminateProcessClick();
  void DeleteFileClick();
  void FilePropertyClick();
  void OpenDirectoryClick();
  void ProListColumnClick();
  void ModuleListColumnClick();

  bool IsEmpty() const override { return List().Empty(); }
  void RefreshPage() override { RefreshClick(); }

  ui::ReportList<ModuleRow>& ModuleList() { return moduleList_; }

  // ---- seams (tests replace them) ---------------------------------------
  std::function<bool(const std::string& target)> shellOpen;
  std::function<bool(const std::string& path)> showProperties;
  // The judgement of a module file (the page's judge unless a test gives another).
  std::function<Judgement(const std::string& path)> judgeModule;

 protected:
  void OnCreate() override;
  void LayoutBelowToolbar(const RECT& area) override;
  bool OnNotify(const NMHDR* header, LRESULT* result) override;
  void OnDpiChanged() override;

 private:
  ui::ReportList<ModuleRow> moduleList_;
  std::unordered_map<std::string, Judgement> fileVerdicts_;  // module path -> judgement, per refresh
};

}  // namespace wl
