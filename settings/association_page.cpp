#include "settings/association_page.h"

#include "settings/settings_repair.h"
#include "sysroutines/registry_viewer.h"
#include "sysroutines/shell_routines.h"
#include "sysroutines/system_info.h"
#include "win32/file_dialog.h"
#include "win32/file_path.h"
#include "win32/unicode.h"

namespace wl {
namespace {

// The folder of a program path: up to its last backslash ("C:\" for a file
// at the root of a drive); empty when it has none.
std::string FolderOf(const std::string& program) {
  const auto slash = program.rfind('\\');
  if (slash == std::string::npos) return {};
  std::string folder = program.substr(0, slash);
  if (folder.size() == 2 && folder[1] == ':') folder += '\\';
  return folder;
}

}  // namespace

AssociationPage::AssociationPage(ui::PageContext& context)
    : ListPage(context,
               {{"File Association", 125, [](const AssociationItem& r) { return r.row.caption; },
                 [](const AssociationItem& r) { return r.icon; }},
                {"Relative Program", 280, [](const AssociationItem& r) { return r.row.command; }},
                {"Analysis", 250, [](const AssociationItem& r) { return r.row.analysis; },
                 [](const AssociationItem& r) { return r.row.image; }}},
               win32::ListStyle{.subItemImages = true}) {
  chooseProgram = [](HWND owner) {
    return win32::AskOpenFile(owner, {.filter = "Programs (*.exe)|*.exe|All Files (*.*)|*.*", .title = "Custom Set"});
  };
  showProperties = [](const std::string& path, HWND owner) { return ShowFileProperties(path, owner); };
  shellOpen = [](const std::string& target) { return ShellOpen(target); };
  jumpToRegistry = [](const std::string& key, const std::string& value) { return JumpToRegistryEntry(key, value); };
  if (!context.associationTables) ownTables_ = BuildAssociationTables();

  // The popup menu PMFileAss.
  AddAction({.id = kReset1, .caption = "Restore Defaults", .hint = "Fix and restore the setting to the default value.",
             .handler = [this] { Reset1Click(); }, .toolbar = false});
  AddAction({.id = kSetFile1, .caption = "Custom Set...", .hint = "Set your custom program.",
             .handler = [this] { SetFile1Click(); }, .toolbar = false});
  AddSeparator();
  AddAction({.id = kFilePoperty2, .caption = "File Poperty", .handler = [this] { FilePoperty2Click(); },
             .toolbar = false});
  AddAction({.id = kFileFolder1, .caption = "Open Directory", .handler = [this] { FileFolder1Click(); },
             .toolbar = false});
  AddAction({.id = kViewRegKey1, .caption = "View Entry", .handler = [this] { ViewRegKey1Click(); },
             .toolbar = false});
  AddSeparator();
  AddAction({.id = kRefresh4, .caption = "Refresh", .handler = [this] { Refresh4Click(); }, .toolbar = false});
  // The toolbar.
  AddAction({.id = kToolButton18, .caption = "Refresh", .hint = "Check the file associations again.",
             .glyph = ui::Glyph::Refresh, .handler = [this] { ToolButton18Click(); }, .menu = false});
  AddAction({.id = kToolButton19, .caption = "Restore Default", .hint = "Restore to default settings.",
             .glyph = ui::Glyph::Check, .handler = [this] { ToolButton19Click(); }, .menu = false});
  AddAction({.id = kToolButton20, .caption = "Custom Set", .hint = "Set your custom program.",
             .glyph = ui::Glyph::Properties, .handler = [this] { ToolButton20Click(); }, .menu = false});

  OnPopup([this] { PMFileAssPopup(); });
  OnDoubleClick([this] { FileSListDblClick(); });
}

const AssociationTables& AssociationPage::Tables() const {
  return context_.associationTables ? *context_.associationTables : ownTables_;
}

void AssociationPage::OnCreate() {
  ListPage::OnCreate();
  icons_ = ui::ImageList(context_.images.imageList2.Size(), context_.images.imageList2.Glyphs());
  List().View().SetSmallImages(icons_.get());
}

void AssociationPage::Refresh4Click() {
  AssociationScanResult scan = ScanAssociations(Tables());
  // The stock images first, then one program icon per row, made afresh.
  icons_.TruncateTo(static_cast<int>(context_.images.imageList2.Glyphs().size()));
  std::vector<AssociationItem> items;
  for (std::size_t i = 0; i < scan.rows.size(); ++i) {
    const win32::UniqueHicon icon = GetFileIcon(scan.rows[i].command, true);
    items.push_back({i, std::move(scan.rows[i]), icon ? icons_.Add(icon.get()) : -1});
  }
  context_.hijack.Append(scan.hijack);
  ShowRows(std::move(items));
}

void AssociationPage::PMFileAssPopup() {
  const AssociationItem* item = List().Selected();
  const bool restorable = item && HasDefaultCommand(item->index);
  for (int id : {kReset1, kToolButton19}) EnableAction(id, restorable);
  for (int id : {kSetFile1, kToolButton20}) EnableAction(id, item && !restorable);
  for (int id : {kFilePoperty2, kFileFolder1, kViewRegKey1}) EnableAction(id, item != nullptr);
}

void AssociationPage::Reset1Click() {
  const AssociationItem* item = List().Selected();
  if (!item || !HasDefaultCommand(item->index)) return;
  const std::size_t index = item->index;
  const RestoreCommand command = DefaultCommandFor(Tables(), index);
  const std::string question = "Restore the open command of \"" + item->row.caption + "\" to its default?\r\n\r\n" +
                               command.command;
  if (context_.ui.Message(question, "Restore Default", MB_YESNO | MB_ICONQUESTION) != IDYES) return;
  const WriteResult result = RestoreDefaultAssociation(Tables(), index);
  if (!result) context_.ui.Message(result.message, "Restore Default", MB_OK | MB_ICONERROR);
  Refresh4Click();
  List().Select(index);
  PMFileAssPopup();
}

void AssociationPage::SetFile1Click() {
  const AssociationItem* item = List().Selected();
  if (!item || HasDefaultCommand(item->index)) return;
  const std::size_t index = item->index;
  const auto program = chooseProgram(context_.ui.MainWindow());
  if (!program || program->empty()) return;
  const WriteResult result = SetCustomAssociation(Tables(), index, *program);
  if (!result) context_.ui.Message(result.message, "Custom Set", MB_OK | MB_ICONERROR);
  Refresh4Click();
  List().Select(index);
  PMFileAssPopup();
}

void AssociationPage::FilePoperty2Click() {
  const AssociationItem* item = List().Selected();
  if (!item) return;
  const std::string program = ExtractExecutablePath(item->row.command);
  if (!showProperties(program, context_.ui.MainWindow()))
    ShowStatus(program.empty() ? "The command names no program."
                                           : "Cannot show the properties of " + program + ".");
}

void AssociationPage::FileFolder1Click() {
  const AssociationItem* item = List().Selected();
  if (!item) return;
  const std::string folder = FolderOf(ExtractExecutablePath(item->row.command));
  // Only a folder is ever handed to the shell: anything else would be run.
  if (folder.empty() || !win32::DirectoryExists(folder)) {
    ShowStatus("The folder of the program \"" + item->row.command + "\" names was not found.");
    return;
  }
  if (!shellOpen(folder)) ShowStatus("Cannot open the folder " + folder + ".");
}

void AssociationPage::ViewRegKey1Click() {
  const AssociationItem* item = List().Selected();
  if (!item) return;
  if (!jumpToRegistry(AssociationRegistryPath(Tables(), item->index), ""))
    ShowStatus("The registry editor could not be opened.");
}

}  // namespace wl
