// The process page (page 1): ProList shows the running processes with their
// verdicts; ModuleList below it the modules of the selected process. The
// toolbar ToolBar5 and the popup menu PMProcess act on the selected process.
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
  static constexpr int kErminate1 = 1001;    // "&Terminate Process"
  static constexpr int kDeleteFile2 = 1002;  // "Delete File"
  static constexpr int kRefresh3 = 1003;
  static constexpr int kFilePoperty1 = 1004;
  static constexpr int kOpenFolder2 = 1005;
  // Toolbar ToolBar5.
  static constexpr int kToolButton9 = 1006;   // "Refresh"
  static constexpr int kToolButton10 = 1007;  // "Kill Process"
  static constexpr int kModuleListId = 102;

  explicit ProcessPage(ui::PageContext& context);

  // ---- handlers ---------------------------------------------------------
  void Refresh3Click();
  void ToolButton9Click() { Refresh3Click(); }
  void ProListClick();
  void PMProcessPopup();
  void erminate1Click();
  void ToolButton10Click() { erminate1Click(); }
  void DeleteFile2Click();
  void FilePoperty1Click();
  void OpenFolder2Click();
  void ProListColumnClick();
  void ModuleListColumnClick();

  bool IsEmpty() const override { return List().Empty(); }
  void RefreshPage() override { Refresh3Click(); }

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
