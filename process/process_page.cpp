#include "process/process_page.h"

#include <algorithm>

#include "process/operate_process.h"
#include "process/process_actions.h"
#include "process/process_scan.h"
#include "sysroutines/shell_routines.h"
#include "sysroutines/version_info.h"

namespace wl {

ProcessPage::ProcessPage(ui::PageContext& context)
    : ListPage(context,
               {{"Process Name", 150, [](const ProcessRow& r) { return r.name; },
                 [](const ProcessRow&) { return kProcessRowImage; }},
                {"Process ID", 100, [](const ProcessRow& r) { return std::to_string(r.id); }},
                {"Size", 100, [](const ProcessRow& r) { return KilobyteText(r.imageSize); }},
                {"Analysis", 300, [](const ProcessRow& r) { return r.analysis; },
                 [](const ProcessRow& r) { return ProcessRowImage(r); }},
                {"Signer", 150, [](const ProcessRow& r) { return r.judgement.signer; }}},
               win32::ListStyle{.subItemImages = true}),
      moduleList_({{"Module Files", 210, [](const ModuleRow& r) { return r.module.path; },
                    [](const ModuleRow&) { return kModuleRowImage; }},
                   {"File SIze", 140, [](const ModuleRow& r) { return KilobyteText(r.module.imageSize); }},
                   {"Address", 100, [](const ModuleRow& r) { return AddressText(r.module.entryPoint); }},
                   {"Analysis", 200, [](const ModuleRow& r) { return r.analysis; },
                    [](const ModuleRow& r) { return ModuleVerdictImage(r.analysis); }},
                   {"Signer", 150, [](const ModuleRow& r) { return r.signer; }}},
                  win32::ListStyle{.subItemImages = true}) {
  // The popup menu's items first: the toolbar then starts with its own.
  AddAction({.id = kTerminateProcessMenuItem, .caption = "&Terminate Process", .hint = "Terminate the process.",
             .handler = [this] { TerminateProcessClick(); }, .toolbar = false});
  AddAction({.id = kDeleteFileMenuItem, .caption = "Delete File", .hint = "Delete the file",
             .handler = [this] { DeleteFileClick(); }, .toolbar = false});
  AddSeparator();
  AddAction({.id = kRefreshMenuItem, .caption = "Refresh", .handler = [this] { RefreshClick(); }, .toolbar = false});
  AddSeparator();
  AddAction({.id = kFilePropertyMenuItem, .caption = "File Poperty", .hint = "Show file poperty",
             .handler = [this] { FilePropertyClick(); }, .toolbar = false});
  AddAction({.id = kOpenDirectoryMenuItem, .caption = "&Open Directory", .hint = "Open the directory of the file.",
             .handler = [this] { OpenDirectoryClick(); }, .toolbar = false});
  AddAction({.id = kRefreshButton, .caption = "Refresh", .hint = "Reload the running process.",
             .glyph = ui::Glyph::Refresh, .handler = [this] { RefreshClick(); }, .menu = false});
  AddAction({.id = kKillProcessButton, .caption = "Kill Process", .hint = "Kill the selected process.",
             .glyph = ui::Glyph::Stop, .handler = [this] { TerminateProcessClick(); }, .menu = false});
  OnPopup([this] { PMProcessPopup(); });
  OnColumnClick([this](int) { ProListColumnClick(); });

  shellOpen = [](const std::string& target) { return ShellOpen(target); };
  showProperties = [this](const std::string& path) { return ShowFileProperties(path, context_.ui.OwnerWindow()); };
  judgeModule = [this](const std::string& path) { return PageJudge().Assess({path, Origin::Module, true}); };
}

void ProcessPage::OnCreate() {
  ListPage::OnCreate();
  List().View().SetSmallImages(context_.images.rowImages.get());
  // A click or a new selection shows the process's modules.
  List().View().onClick = [this] { ProListClick(); };
  List().View().onSelectionChanged = [this] { ProListClick(); };
  moduleList_.Create(hwnd(), kModuleListId, Dpi());
  moduleList_.View().SetSmallImages(context_.images.rowImages.get());
  moduleList_.View().onColumnClick = [this](int) { ModuleListColumnClick(); };
  Relayout();
}

void ProcessPage::LayoutBelowToolbar(const RECT& area) {
  // ModuleList is aligned to the bottom, ProList takes the rest.
  const int height = area.bottom - area.top;
  const int modules = std::max(S(120), height * 2 / 5);
  const int split = std::max<int>(area.top, area.bottom - modules);
  MoveWindow(List().hwnd(), area.left, area.top, area.right - area.left, split - area.top - S(3), TRUE);
  if (moduleList_.hwnd())
    MoveWindow(moduleList_.hwnd(), area.left, split, area.right - area.left, area.bottom - split, TRUE);
}

bool ProcessPage::OnNotify(const NMHDR* header, LRESULT* result) {
  if (moduleList_.View().HandleNotify(header, result)) return true;
  return ListPage::OnNotify(header, result);
}

void ProcessPage::OnDpiChanged() {
  ListPage::OnDpiChanged();
  moduleList_.ScaleColumns(Dpi());
}

void ProcessPage::RefreshClick() {
  EnableDebugPrivilege(true);
  fileVerdicts_.clear();
  ProcessScan scan = ScanProcesses(PageJudge());
  ShowRows(std::move(scan.rows));
  if (!scan.error.empty()) context_.ui.Message(scan.error, "Wardenlake", MB_OK | MB_ICONERROR);
}

void ProcessPage::PMProcessPopup() {
  const bool selected = List().Selected() != nullptr;
  for (int id : {kTerminateProcessMenuItem, kKillProcessButton, kDeleteFileMenuItem, kOpenDirectoryMenuItem,
                 kFilePropertyMenuItem})
    EnableAction(id, selected);
}

void ProcessPage::ProListClick() {
  PMProcessPopup();
  const ProcessRow* row = List().Selected();
  if (!row) return;
  std::vector<ModuleRow> modules;
  modules.reserve(row->modules.size());
  for (const ModuleRecord& m : row->modules) {
    auto it = fileVerdicts_.find(m.path);
    if (it == fileVerdicts_.end()) it = fileVerdicts_.emplace(m.path, judgeModule(m.path)).first;
    modules.push_back({m, FileVerdictText(it->second), it->second.signer});
  }
  moduleList_.SetRows(std::move(modules));
}

void ProcessPage::TerminateProcessClick() {
  const ProcessRow* row = List().Selected();
  if (!row) return;
  const ProcessRow selected = *row;
  if (!KillProcess(selected))
    ShowStatus("The process " + selected.name + " (" + std::to_string(selected.id) +
                           ") could not be ended.");
  RefreshClick();
  moduleList_.Clear();
}

void ProcessPage::DeleteFileClick() {
  const ProcessRow* row = List().Selected();
  if (!row) return;
  const ProcessRow selected = *row;
  if (context_.ui.Message("Are you sure to remove this file?", "Remove File", MB_ICONQUESTION | MB_YESNO) == IDYES) {
    EndProgramResult ended;
    const WriteResult recycled = DeleteProcessFile(selected, &ended);
    if (!ended.Text().empty()) ShowStatus(ended.Text());
    if (!recycled.ok()) context_.ui.Message(recycled.message, "Remove File", MB_OK | MB_ICONERROR);
  }
  RefreshClick();
  moduleList_.Clear();
}

void ProcessPage::FilePropertyClick() {
  const ProcessRow* row = List().Selected();
  if (!row) return;
  const std::string path = row->MainExecutable();
  if (!showProperties(path)) ShowStatus("No properties can be shown for " + path + ".");
}

void ProcessPage::OpenDirectoryClick() {
  const ProcessRow* row = List().Selected();
  if (!row) return;
  const std::string folder = FolderPart(row->MainExecutable());
  if (folder.empty()) return;
  if (!shellOpen(folder)) ShowStatus("The folder " + folder + " cannot be opened.");
}

void ProcessPage::ProListColumnClick() { List().SortByCaption(); }

void ProcessPage::ModuleListColumnClick() { moduleList_.SortByCaption(); }

}  // namespace wl
