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
  AddAction({.id = kSetup1, .caption = "Setup...", .handler = [this] { Setup1Click(); }, .toolbar = false});
  AddAction({.id = kDisableItem1, .caption = "Delete Item...", .handler = [this] { DisableItem1Click(); },
             .toolbar = false});
  AddAction({.id = kDisableTask1, .caption = "Disable Task", .hint = "Disable the selected scheduled task.",
             .handler = [this] { DisableTask1Click(); }, .toolbar = false});
  AddAction({.id = kRestoreDefault1, .caption = "Restore Default",
             .hint = "Write the system's default back into the selected entry.",
             .handler = [this] { RestoreDefault1Click(); }, .toolbar = false});
  AddSeparator();
  AddAction({.id = kRefresh1, .caption = "Refresh", .handler = [this] { Refresh1Click(); }, .toolbar = false});
  AddSeparator();
  AddAction({.id = kDeleteFile1, .caption = "File Poperty", .hint = "Show file poperty.",
             .handler = [this] { DeleteFile1Click(); }, .toolbar = false});
  AddAction({.id = kOpenFolder1, .caption = "Open Directory", .hint = "Open the directory of the file.",
             .handler = [this] { OpenFolder1Click(); }, .toolbar = false});
  AddAction({.id = kProperty1, .caption = "View Entry", .hint = "View the entry from registry or Start menu.",
             .handler = [this] { Property1Click(); }, .toolbar = false});
  AddAction({.id = kToolButton7, .caption = "Refresh", .hint = "Reload system startup items.",
             .glyph = ui::Glyph::Refresh, .handler = [this] { ToolButton7Click(); }, .menu = false});
  AddAction({.id = kToolButton8, .caption = "Delete Item", .hint = "Delete the selected item.",
             .glyph = ui::Glyph::Delete, .handler = [this] { ToolButton8Click(); }, .menu = false});
  AddAction({.id = kToolButton11, .caption = "Add Program", .hint = "Add a new program to startup list.",
             .glyph = ui::Glyph::Add, .handler = [this] { ToolButton11Click(); }, .menu = false});
  AddAction({.id = kToolButton4, .caption = "Launch Program", .hint = "Launch select program.",
             .glyph = ui::Glyph::Run, .handler = [this] { ToolButton4Click(); }, .menu = false});
  AddAction({.id = kToolButton12, .caption = "Disable", .hint = "Disable the selected scheduled task.",
             .glyph = ui::Glyph::Stop, .handler = [this] { ToolButton12Click(); }, .menu = false});
  AddAction({.id = kToolButton13, .caption = "Restore Default",
             .hint = "Write the system's default back into the selected entry.", .glyph = ui::Glyph::Registry,
             .handler = [this] { ToolButton13Click(); }, .menu = false});
  AddAction({.id = kToolButton30, .caption = "Uninstall Software", .glyph = ui::Glyph::Package,
             .handler = [this] { ToolButton30Click(); }, .menu = false});
  AddAction({.id = kCompareSaved1, .caption = "Compare with Saved...",
             .hint = "Mark the entries that are new or changed since a saved scan.", .glyph = ui::Glyph::Notepad,
             .handler = [this] { CompareSaved1Click(); }});
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
    return win32::AskOpenFile(context_.ui.MainWindow(), {.filter = "Application(*.exe;*.dll)|*.exe;*.dll"});
  };
  shellOpen = [](const std::string& target) { return ShellOpen(target); };
  showProperties = [this](const std::string& path) { return ShowFileProperties(path, context_.ui.MainWindow()); };
  jumpToRegistry = [](const std::string& key, const std::string& value) { return JumpToRegistryEntry(key, value); };
  fileIcon = [](const std::string& text, bool small) { return GetFileIcon(text, small); };
  showModal = [this](win32::Dialog& dialog) { return dialog.ShowModal(context_.ui.MainWindow()); };
  chooseSaved = [this] {
    return win32::AskOpenFile(context_.ui.MainWindow(),
                              {.filter = "Scan document (*.json)|*.json|All Files|*.*",
                               .title = "Compare with Saved"});
  };
}

StartupPage::~StartupPage() = default;

void StartupPage::OnCreate() {
  imageList3_ = ui::ImageList(S(16), {ui::Glyph::Warning, ui::Glyph::Check, ui::Glyph::Cross});
  ListPage::OnCreate();
  List().View().SetSmallImages(imageList3_.get());
  // Rows new or changed since the saved scan stand out.
  List().View().backgroundOf = [this](std::size_t i) {
    return i < List().Count() && !List().Rows()[i].sinceSaved.empty() ? RGB(255, 243, 205) : CLR_DEFAULT;
  };
}

TForm2& StartupPage::Form2() {
  if (auto* form = dynamic_cast<TForm2*>(context_.ui.Form2())) return *form;
  if (!ownForm2_) ownForm2_ = std::make_unique<TForm2>();
  return *ownForm2_;
}

// ---- the scan ---------------------------------------------------------------

void StartupPage::Refresh1Click() {
  lastPlaces_ = places();
  AutorunScanResult scan = ScanAutorun(PageJudge(), lastPlaces_, openKey, listTasks);

  // One program icon per row after the three fixed images, row i (in scan
  // order) at image i + 3. The list is sized once, not grown icon by icon.
  // Only the program's file type decides its icon, so each type is asked once.
  HIMAGELIST images = imageList3_.get();
  ImageList_SetImageCount(images, static_cast<UINT>(kFixedStatusImages + scan.rows.size()));
  // Drawing an icon costs far more than storing ready bitmaps: each type's
  // icon is drawn once, for its first row, and its bitmaps go to the others.
  struct Drawn {
    win32::UniqueGdiObject color, mask;
  };
  std::unordered_map<std::string, Drawn> drawnFor;  // file type -> its picture
  win32::UniqueHicon fallback(static_cast<HICON>(
      CopyImage(LoadIconW(nullptr, IDI_APPLICATION), IMAGE_ICON, imageList3_.Size(), imageList3_.Size(), 0)));
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

void StartupPage::CompareSaved1Click() {
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
    Refresh1Click();  // compares when done
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
  for (int id : {kSetup1, kDisableItem1, kDeleteFile1, kOpenFolder1, kProperty1, kToolButton8})
    EnableAction(id, selected);
  const StartupRow* row = List().Selected();
  const bool task = row && CanDisable(row->entry);
  const bool restorable = row && CanRestoreDefault(row->entry);
  for (int id : {kDisableTask1, kToolButton12}) EnableAction(id, task);
  for (int id : {kRestoreDefault1, kToolButton13}) EnableAction(id, restorable);
}

void StartupPage::StartupListDblClick() {
  if (List().Selected()) Setup1Click();
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
  if (row.image >= 0) e.icon = ImageList_GetIcon(imageList3_.get(), row.image, ILD_NORMAL);
  return e;
}

void StartupPage::OpenForm2(bool removal) {
  const auto selected = List().SelectedIndex();
  if (!selected) return;
  TForm2& form = Form2();
  StartupEntry entry = EntryOf(*selected);
  win32::UniqueHicon icon(entry.icon);  // the dialog keeps its own copy
  if (removal)
    form.ShowRemoveItemPage(context_.ui.MainWindow(), entry);
  else
    form.ShowGeneralPage(context_.ui.MainWindow(), entry);
  form.onRemove = [this](int index, const RemovalChoice& choice) { RemoveItem(index, choice); };
  form.onFileProperty = [this] { DeleteFile1Click(); };
  form.onOpenDirectory = [this] { OpenFolder1Click(); };
  showModal(form);
}

void StartupPage::Setup1Click() { OpenForm2(false); }

void StartupPage::DisableItem1Click() { OpenForm2(true); }

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

void StartupPage::DisableTask1Click() {
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

void StartupPage::RestoreDefault1Click() {
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

void StartupPage::DeleteFile1Click() {
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

void StartupPage::OpenFolder1Click() {
  if (const StartupRow* row = List().Selected()) OpenDirectoryOf(row->entry.value);
}

void StartupPage::Property1Click() {
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

void StartupPage::ToolButton4Click() {
  const StartupRow* row = List().Selected();
  if (!row) return;
  const std::string program = ExtractExecutablePath(row->entry.value);
  if (!shellOpen(program)) ShowStatus(program + " cannot be started.");
}

void StartupPage::ToolButton11Click() {
  const auto program = chooseProgram();
  if (!program || program->empty()) return;
  const WriteResult written = AddProgramToRun(*program);
  if (!written.ok()) context_.ui.Message(written.message, kMessageCaption, MB_OK | MB_ICONERROR);
  Refresh1Click();
}

void StartupPage::ToolButton30Click() { context_.ui.OpenPage(kSoftwarePageIndex); }

}  // namespace wl
