#include "autorun/startup_page.h"

#include <algorithm>
#include <unordered_map>

#include "core/ascii.h"
#include "core/path_text.h"
#include "process/process_rows.h"
#include "documents/baseline_file.h"
#include "sysroutines/registry_viewer.h"
#include "sysroutines/shell_routines.h"
#include "sysroutines/system_info.h"
#include "sysroutines/version_info.h"
#include "win32/file_dialog.h"
#include "win32/unicode.h"

namespace wl {
namespace {

constexpr char kMessageCaption[] = "Wardenlake";
// The page's name in the scan documents: "autorun/<key>\<value>".
constexpr char kDocumentPage[] = "autorun";

}  // namespace

StartupPage::StartupPage(ui::PageContext& context)
    : ListPage(context,
               {{"Item Name", 100, [](const StartupRow& r) { return r.entry.itemName; },
                 [](const StartupRow& r) { return r.image; }},
                {"Value", 200, [](const StartupRow& r) { return r.entry.value; }},
                {"Registry Key", 200, [](const StartupRow& r) { return r.entry.registryKey; }},
                {"Analysis", 150, [](const StartupRow& r) { return r.entry.analysis; },
                 [](const StartupRow& r) { return r.entry.statusImage; }},
                {"Signer", 150, [](const StartupRow& r) { return r.entry.judgement.signer; }},
                {"Category", 100, [](const StartupRow& r) { return r.entry.category; }},
                {"Since Saved", 110, [](const StartupRow& r) { return r.sinceSaved; }}},
               win32::ListStyle{.subItemImages = true}) {
  // The popup menu's items first: the toolbar then starts with its own.
  AddAction({.id = kSetupMenuItem, .caption = "Setup...", .handler = [this] { SetupClick(); }, .toolbar = false});
  AddAction({.id = kDeleteItemMenuItem, .caption = "Delete Item...", .handler = [this] { DeleteItemClick(); },
             .toolbar = false});
  AddAction({.id = kDisableTaskMenuItem, .caption = "Disable Task", .hint = "Disable the selected scheduled task.",
             .handler = [this] { DisableTaskClick(); }, .toolbar = false});
  AddAction({.id = kRestoreDefaultMenuItem, .caption = "Restore Default",
             .hint = "Write the system's default back into the selected entry.",
             .handler = [this] { RestoreDefaultClick(); }, .toolbar = false});
  AddSeparator();
  AddAction({.id = kRefreshMenuItem, .caption = "Refresh", .handler = [this] { RefreshClick(); }, .toolbar = false});
  AddSeparator();
  AddAction({.id = kFilePropertyMenuItem, .caption = "File Poperty", .hint = "Show file poperty.",
             .handler = [this] { FilePropertyClick(); }, .toolbar = false});
  AddAction({.id = kOpenDirectoryMenuItem, .caption = "Open Directory", .hint = "Open the directory of the file.",
             .handler = [this] { OpenDirectoryClick(); }, .toolbar = false});
  AddAction({.id = kViewEntryMenuItem, .caption = "View Entry", .hint = "View the entry from registry or Start menu.",
             .handler = [this] { ViewEntryClick(); }, .toolbar = false});
  AddAction({.id = kRefreshButton, .caption = "Refresh", .hint = "Reload system startup items.",
             .glyph = ui::Glyph::Refresh, .handler = [this] { RefreshClick(); }, .menu = false});
  AddAction({.id = kDeleteItemButton, .caption = "Delete Item", .hint = "Delete the selected item.",
             .glyph = ui::Glyph::Delete, .handler = [this] { DeleteItemClick(); }, .menu = false});
  AddAction({.id = kAddProgramButton, .caption = "Add Program", .hint = "Add a new program to startup list.",
             .glyph = ui::Glyph::Add, .handler = [this] { AddProgramClick(); }, .menu = false});
  AddAction({.id = kLaunchProgramButton, .caption = "Launch Program", .hint = "Launch select program.",
             .glyph = ui::Glyph::Run, .handler = [this] { LaunchProgramClick(); }, .menu = false});
  AddAction({.id = kDisableButton, .caption = "Disable", .hint = "Disable the selected scheduled task.",
             .glyph = ui::Glyph::Stop, .handler = [this] { DisableTaskClick(); }, .menu = false});
  AddAction({.id = kRestoreDefaultButton, .caption = "Restore Default",
             .hint = "Write the system's default back into the selected entry.", .glyph = ui::Glyph::Registry,
             .handler = [this] { RestoreDefaultClick(); }, .menu = false});
  AddAction({.id = kUninstallSoftwareButton, .caption = "Uninstall Software", .glyph = ui::Glyph::Package,
             .handler = [this] { UninstallSoftwareClick(); }, .menu = false});
  AddAction({.id = kCompareSaved, .caption = "Compare with Saved...",
             .hint = "Mark the entries that are new or changed since a saved scan.", .glyph = ui::Glyph::Notepad,
             .handler = [this] { CompareSavedClick(); }});
  std::vector<std::string> categories{kAllCategories};
  for (std::string_view category : AutorunCategories()) categories.emplace_back(category);
  AddFilter(std::move(categories), [this](int) { CategoryFilterChange(); });
  OnPopup([this] { PMStartupPopup(); });
  OnDoubleClick([this] { StartupListDblClick(); });
  OnColumnClick([this](int) { StartupListColumnClick(); });

  places = [] { return AutorunPlaces::OfThisSystem(); };
  openKey = OpenSourceKeyInRegistry;
  listTasks = ListTasksOfThisSystem;
  chooseProgram = [this] {
    return win32::AskOpenFile(context_.ui.OwnerWindow(), {.filter = "Application(*.exe;*.dll)|*.exe;*.dll"});
  };
  shellOpen = [](const std::string& target) { return ShellOpen(target); };
  showProperties = [this](const std::string& path) { return ShowFileProperties(path, context_.ui.OwnerWindow()); };
  jumpToRegistry = [](const std::string& key, const std::string& value) { return JumpToRegistryEntry(key, value); };
  fileIcon = [](const std::string& text, bool small) { return GetFileIcon(text, small); };
  showModal = [this](win32::Dialog& dialog) { return dialog.ShowModal(context_.ui.OwnerWindow()); };
  chooseSaved = [this] {
    return win32::AskOpenFile(context_.ui.OwnerWindow(),
                              {.filter = "Scan document (*.json)|*.json|All Files|*.*",
                               .title = "Compare with Saved"});
  };
}

StartupPage::~StartupPage() = default;

void StartupPage::OnCreate() {
  programIcons_ = ui::ImageList(S(16), {ui::Glyph::Warning, ui::Glyph::Check, ui::Glyph::Cross});
  ListPage::OnCreate();
  List().View().SetSmallImages(programIcons_.get());
  // Rows new or changed since the saved scan stand out.
  List().View().backgroundOf = [this](std::size_t i) {
    return i < List().Count() && !List().Rows()[i].sinceSaved.empty() ? RGB(255, 243, 205) : CLR_DEFAULT;
  };
}

StartupSetupDialog& StartupPage::StartupSetup() {
  if (auto* form = dynamic_cast<StartupSetupDialog*>(context_.ui.StartupSetup())) return *form;
  if (!ownStartupSetup_) ownStartupSetup_ = std::make_unique<StartupSetupDialog>();
  return *ownStartupSetup_;
}

// ---- the scan ---------------------------------------------------------------

void StartupPage::RefreshClick() {
  lastPlaces_ = places();
  AutorunScanResult scan = ScanAutorun(PageJudge(), lastPlaces_, openKey, listTasks);

  // One program icon per row after the three fixed images, row i (in scan
  // order) at image i + 3. The list is sized once, not grown icon by icon.
  // Only the program's file type decides its icon, so each type is asked once.
  HIMAGELIST images = programIcons_.get();
  ImageList_SetImageCount(images, static_cast<UINT>(kFixedStatusImages + scan.rows.size()));
  // Drawing an icon costs far more than storing ready bitmaps: each type's
  // icon is drawn once, for its first row, and its bitmaps go to the others.
  struct Drawn {
    win32::UniqueGdiObject color, mask;
  };
  std::unordered_map<std::string, Drawn> drawnFor;  // file type -> its picture
  win32::UniqueHicon fallback(static_cast<HICON>(
      CopyImage(LoadIconW(nullptr, IDI_APPLICATION), IMAGE_ICON, programIcons_.Size(), programIcons_.Size(), 0)));
  // The flagged rows as a scan document would name them (the hijack rows
  // still give each row's place in the scan).
  flaggedItems_.clear();
  {
    const PageText text = AutorunPageTextOf(scan);
    std::vector<ScanItem> items = ScanItems(kDocumentPage, text);
    for (std::size_t k = 0; k < items.size(); ++k)
      flaggedItems_.emplace_back(FlaggedRowOf(text, text.hijack[k]), std::move(items[k]));
  }
  std::vector<StartupRow> rows;
  rows.reserve(scan.rows.size());
  for (std::size_t i = 0; i < scan.rows.size(); ++i) {
    AutorunRow& entry = scan.rows[i];
    const std::string program = ResolveProgramPath(entry.iconText);
    const auto mark = program.find_last_of(".\\");
    std::string type = mark != std::string::npos && program[mark] == '.' ? AsciiLower(program.substr(mark)) : "";
    type += entry.largeIcon ? "|large" : "|small";
    const int image = kFixedStatusImages + static_cast<int>(i);
    const auto drawn = drawnFor.find(type);
    if (drawn == drawnFor.end() ||
        !ImageList_Replace(images, image, static_cast<HBITMAP>(drawn->second.color.get()),
                           static_cast<HBITMAP>(drawn->second.mask.get()))) {
      const win32::UniqueHicon icon = fileIcon(entry.iconText, !entry.largeIcon);
      ImageList_ReplaceIcon(images, image, icon ? icon.get() : fallback.get());
      // The picture as the list holds it (a large icon scaled down).
      const win32::UniqueHicon stored(ImageList_GetIcon(images, image, ILD_NORMAL));
      ICONINFO info{};
      if (drawn == drawnFor.end() && stored && GetIconInfo(stored.get(), &info))
        drawnFor.emplace(type, Drawn{win32::UniqueGdiObject(info.hbmColor), win32::UniqueGdiObject(info.hbmMask)});
    }
    rows.push_back({std::move(entry), image, static_cast<int>(i)});
  }
  allRows_ = rows;
  // The report names each row by its place in the list, top to bottom.
  ShowRowsOfScan(std::move(rows), scan.hijack, &StartupRow::scanIndex);
  std::stable_sort(scan.hijack.begin(), scan.hijack.end(),
                   [](const HijackRow& a, const HijackRow& b) { return a.index < b.index; });
  context_.hijack.Append(scan.hijack);
  // The report numbers the rows of the whole list; the filter then applies.
  if (FilterChoice() != 0) ShowChosenCategory();
  if (saved_) ShowComparison();
}

// ---- comparing with a saved scan ---------------------------------------------

void StartupPage::CompareSavedClick() {
  const auto file = chooseSaved();
  if (!file || file->empty()) return;
  Baseline baseline;
  std::string error;
  if (!ReadBaselineFile(*file, baseline, error)) {
    context_.ui.Message(error, kMessageCaption, MB_OK | MB_ICONERROR);
    return;
  }
  saved_ = std::move(baseline);
  savedFile_ = *file;
  if (allRows_.empty())
    RefreshClick();  // compares when done
  else
    ShowComparison();
}

void StartupPage::ShowComparison() {
  if (!saved_) return;
  // Rows removed since the scan are left out.
  std::vector<bool> listed;
  for (const StartupRow& row : allRows_) {
    if (row.scanIndex >= static_cast<int>(listed.size())) listed.resize(static_cast<std::size_t>(row.scanIndex) + 1);
    listed[static_cast<std::size_t>(row.scanIndex)] = true;
  }
  std::vector<ScanItem> items;
  std::vector<int> places;
  for (const auto& [place, item] : flaggedItems_)
    if (place >= 0 && static_cast<std::size_t>(place) < listed.size() && listed[static_cast<std::size_t>(place)]) {
      items.push_back(item);
      places.push_back(place);
    }
  const BaselineComparison comparison = CompareWithBaseline(*saved_, items);
  std::unordered_map<int, std::string> marks;
  for (std::size_t k = 0; k < items.size(); ++k) {
    if (comparison.items[k] == SinceBaseline::New) marks[places[k]] = "New";
    if (comparison.items[k] != SinceBaseline::Changed) continue;
    std::string fields;
    for (const auto& field : comparison.was[k]) fields += (fields.empty() ? "" : ", ") + field.first;
    marks[places[k]] = "Changed (" + fields + ")";
  }
  const auto markOf = [&marks](const StartupRow& row) {
    const auto mark = marks.find(row.scanIndex);
    return mark == marks.end() ? std::string() : mark->second;
  };
  for (StartupRow& row : allRows_) row.sinceSaved = markOf(row);
  {
    win32::ListUpdate update(List().View());
    for (std::size_t i = 0; i < List().Count(); ++i) {
      StartupRow row = List().Rows()[i];
      row.sinceSaved = markOf(row);
      List().Update(i, std::move(row));
    }
  }
  ShowStatus(BaselineSummary(comparison, std::string(FileNameOf(savedFile_))));
}

void StartupPage::CategoryFilterChange() { ShowChosenCategory(); }

void StartupPage::ShowChosenCategory() {
  const int choice = FilterChoice();
  const auto categories = AutorunCategories();
  std::vector<StartupRow> shown;
  for (const StartupRow& row : allRows_)
    if (choice <= 0 || static_cast<std::size_t>(choice) > categories.size() ||
        row.entry.category == categories[static_cast<std::size_t>(choice - 1)])
      shown.push_back(row);
  ShowRows(std::move(shown));
}

void StartupPage::ForgetRow(int scanIndex) {
  std::erase_if(allRows_, [scanIndex](const StartupRow& row) { return row.scanIndex == scanIndex; });
}

// ---- enabling ---------------------------------------------------------------

void StartupPage::PMStartupPopup() {
  const bool selected = List().Selected() != nullptr;
  for (int id : {kSetupMenuItem, kDeleteItemMenuItem, kFilePropertyMenuItem, kOpenDirectoryMenuItem, kViewEntryMenuItem,
                 kDeleteItemButton})
    EnableAction(id, selected);
  const StartupRow* row = List().Selected();
  const bool task = row && CanDisable(row->entry);
  const bool restorable = row && CanRestoreDefault(row->entry);
  for (int id : {kDisableTaskMenuItem, kDisableButton}) EnableAction(id, task);
  for (int id : {kRestoreDefaultMenuItem, kRestoreDefaultButton}) EnableAction(id, restorable);
}

void StartupPage::StartupListDblClick() {
  if (List().Selected()) SetupClick();
}

void StartupPage::StartupListColumnClick() { List().SortByCaption(); }

// ---- the dialog -------------------------------------------------------------

StartupEntry StartupPage::EntryOf(std::size_t index) const {
  const StartupRow& row = List().Rows()[index];
  StartupEntry e;
  e.index = static_cast<int>(index);
  e.itemName = row.entry.itemName;
  e.value = row.entry.value;
  e.analysis = row.entry.analysis;
  const Judgement& judged = row.entry.judgement;
  if (!judged.signer.empty()) e.analysis += "\r\nSigner: " + judged.signer;
  if (!judged.payload.empty()) e.analysis += "\r\nRuns: " + judged.payload;
  if (!judged.sha256.empty()) e.analysis += "\r\nSHA-256: " + judged.sha256;
  if (!row.entry.details.empty()) e.analysis += "\r\n" + row.entry.details;
  // The company of the program that runs, as the judge resolved it.
  e.companyName = GetFileVersionText(judged.program.empty() ? row.entry.value : judged.program, kCompanyName);
  if (row.image >= 0) e.icon = ImageList_GetIcon(programIcons_.get(), row.image, ILD_NORMAL);
  return e;
}

void StartupPage::OpenStartupSetup(bool removal) {
  const auto selected = List().SelectedIndex();
  if (!selected) return;
  StartupSetupDialog& form = StartupSetup();
  StartupEntry entry = EntryOf(*selected);
  win32::UniqueHicon icon(entry.icon);  // the dialog keeps its own copy
  if (removal)
    form.ShowRemoveItemPage(context_.ui.OwnerWindow(), entry);
  else
    form.ShowGeneralPage(context_.ui.OwnerWindow(), entry);
  form.onRemove = [this](int index, const RemovalChoice& choice) { RemoveItem(index, choice); };
  form.onFileProperty = [this] { FilePropertyClick(); };
  form.onOpenDirectory = [this] { OpenDirectoryClick(); };
  showModal(form);
}

void StartupPage::SetupClick() { OpenStartupSetup(false); }

void StartupPage::DeleteItemClick() { OpenStartupSetup(true); }

void StartupPage::RemoveItem(int index, const RemovalChoice& choice) {
  if (index < 0 || static_cast<std::size_t>(index) >= List().Count()) return;
  const AutorunRow entry = List().Rows()[static_cast<std::size_t>(index)].entry;
  const RemovalOutcome out = RemoveAutorunItem(entry, choice, lastPlaces_);
  if (!out.programsEnded.empty()) ShowStatus(out.programsEnded);
  if (out.programFileNotRemoved) {
    std::string text = "Can not remove " + entry.value;
    if (!out.programFileReason.empty()) text += "\r\n\r\n" + out.programFileReason;
    context_.ui.Message(text, kMessageCaption, MB_OK);
  }
  if (choice.deleteEntry) {
    if (out.entryRemoved && !entry.taskPath.empty()) {
      // The task is gone with all its actions: each had a row.
      for (std::size_t i = List().Count(); i-- > 0;)
        if (List().Rows()[i].entry.taskPath == entry.taskPath) List().RemoveAt(i);
      std::erase_if(allRows_, [&](const StartupRow& row) { return row.entry.taskPath == entry.taskPath; });
    } else if (out.entryRemoved) {
      ForgetRow(List().Rows()[static_cast<std::size_t>(index)].scanIndex);
      List().RemoveAt(static_cast<std::size_t>(index));
    } else {
      // The entry is still there (e.g. the user may not change that key):
      // its row stays, and the user learns why.
      context_.ui.Message(out.entryError, kMessageCaption, MB_OK | MB_ICONERROR);
    }
  }
  RunPopup();
}

// ---- tasks and defaults -----------------------------------------------------

void StartupPage::DisableTaskClick() {
  const auto selected = List().SelectedIndex();
  if (!selected) return;
  const AutorunRow entry = List().Rows()[*selected].entry;
  if (!CanDisable(entry)) return;
  if (context_.ui.Message("Disable the scheduled task " + entry.taskPath +
                              "?\r\n\r\nIt stays in the task list and can be enabled again.",
                          kMessageCaption, MB_YESNO | MB_ICONQUESTION) != IDYES)
    return;
  const WriteResult done = DisableAutorunTask(entry);
  if (!done.ok()) {
    context_.ui.Message(done.message, kMessageCaption, MB_OK | MB_ICONERROR);
    return;
  }
  // Every row of the task says it is disabled now.
  for (std::size_t i = 0; i < List().Count(); ++i) {
    StartupRow row = List().Rows()[i];
    if (row.entry.taskPath != entry.taskPath) continue;
    const auto state = row.entry.details.find("Task enabled");
    if (state != std::string::npos) row.entry.details.replace(state, 12, "Task disabled");
    for (StartupRow& kept : allRows_)
      if (kept.scanIndex == row.scanIndex) kept = row;
    List().Update(i, std::move(row));
  }
  ShowStatus("The scheduled task " + entry.taskPath + " is disabled.");
  RunPopup();
}

void StartupPage::RestoreDefaultClick() {
  const auto selected = List().SelectedIndex();
  if (!selected) return;
  const AutorunRow entry = List().Rows()[*selected].entry;
  if (!CanRestoreDefault(entry)) return;
  const std::string shown = entry.defaultValue->empty() ? "an empty value" : *entry.defaultValue;
  const std::string name = RowValueName(entry).empty() ? std::string("(Default)") : RowValueName(entry);
  if (context_.ui.Message("Restore the default of " + name + " in " + entry.registryKey + "?\r\n\r\n" +
                              entry.value + "\r\nbecomes\r\n" + shown,
                          kMessageCaption, MB_YESNO | MB_ICONQUESTION) != IDYES)
    return;
  const WriteResult done = RestoreAutorunDefault(entry);
  if (!done.ok()) {
    context_.ui.Message(done.message, kMessageCaption, MB_OK | MB_ICONERROR);
    return;
  }
  // The default is no autorun entry: the row goes.
  ForgetRow(List().Rows()[*selected].scanIndex);
  List().RemoveAt(*selected);
  RunPopup();
}

// ---- shell actions ----------------------------------------------------------

void StartupPage::FilePropertyClick() {
  const StartupRow* row = List().Selected();
  if (!row) return;
  const std::string path = ResolveProgramPath(row->entry.value);
  if (!showProperties(path)) ShowStatus("No properties can be shown for " + path + ".");
}

void StartupPage::OpenDirectoryOf(const std::string& value) {
  // The folder of the program path: quotes and arguments in the text would
  // name a folder that does not exist.
  const std::string folder = FolderPart(ResolveProgramPath(value));
  if (folder.empty()) return;
  if (!shellOpen(folder)) ShowStatus("The folder " + folder + " cannot be opened.");
}

void StartupPage::OpenDirectoryClick() {
  if (const StartupRow* row = List().Selected()) OpenDirectoryOf(row->entry.value);
}

void StartupPage::ViewEntryClick() {
  const StartupRow* row = List().Selected();
  if (!row) return;
  switch (EntryKindOf(row->entry.registryKey)) {
    case AutorunEntryKind::RegistryValue:
      if (!jumpToRegistry(row->entry.registryKey, RowValueName(row->entry)))
        ShowStatus("The registry editor cannot be started.");
      break;
    case AutorunEntryKind::UserShortcut:
    case AutorunEntryKind::CommonShortcut: OpenDirectoryOf(row->entry.value); break;
    case AutorunEntryKind::Other:
      // A file found by its place: its folder.
      if (!row->entry.filePath.empty()) OpenDirectoryOf(row->entry.filePath);
      break;
    default: break;
  }
}

void StartupPage::LaunchProgramClick() {
  const StartupRow* row = List().Selected();
  if (!row) return;
  const std::string program = ExtractExecutablePath(row->entry.value);
  if (!shellOpen(program)) ShowStatus(program + " cannot be started.");
}

void StartupPage::AddProgramClick() {
  const auto program = chooseProgram();
  if (!program || program->empty()) return;
  const WriteResult written = AddProgramToRun(*program);
  if (!written.ok()) context_.ui.Message(written.message, kMessageCaption, MB_OK | MB_ICONERROR);
  RefreshClick();
}

void StartupPage::UninstallSoftwareClick() { context_.ui.OpenPage(kSoftwarePage); }

}  // namespace wl
