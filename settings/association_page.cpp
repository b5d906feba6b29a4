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
  AddAction({.id = kRestoreDefaultsMenuItem, .caption = "Restore Defaults",
             .hint = "Fix and restore the setting to the default value.", .handler = [this] { RestoreDefaultsClick(); },
             .toolbar = false});
  AddAction({.id = kCustomSetMenuItem, .caption = "Custom Set...", .hint = "Set your custom program.",
             .handler = [this] { CustomSetClick(); }, .toolbar = false});
  AddSeparator();
  AddAction({.id = kFilePropertyMenuItem, .caption = "File Poperty", .handler = [this] { FilePropertyClick(); },
             .toolbar = false});
  AddAction({.id = kOpenDirectoryMenuItem, .caption = "Open Directory", .handler = [this] { OpenDirectoryClick(); },
             .toolbar = false});
  AddAction({.id = kViewEntryMenuItem, .caption = "View Entry", .handler = [this] { ViewEntryClick(); },
             .toolbar = false});
  AddSeparator();
  AddAction({.id = kRefreshMenuItem, .caption = "Refresh", .handler = [this] { RefreshClick(); }, .toolbar = false});
  // The toolbar.
  AddAction({.id = kRefreshButton, .caption = "Refresh", .hint = "Check the file associations again.",
             .glyph = ui::Glyph::Refresh, .handler = [this] { RefreshClick(); }, .menu = false});
  AddAction({.id = kRestoreDefaultButton, .caption = "Restore Default", .hint = "Restore to default settings.",
             .glyph = ui::Glyph::Check, .handler = [this] { RestoreDefaultsClick(); }, .menu = false});
  AddAction({.id = kCustomSetButton, .caption = "Custom Set", .hint = "Set your custom program.",
             .glyph = ui::Glyph::Properties, .handler = [this] { CustomSetClick(); }, .menu = false});

  OnPopup([this] { PMFileAssPopup(); });
  OnDoubleClick([this] { FileSListDblClick(); });
}

const AssociationTables& AssociationPage::Tables() const {
  return context_.associationTables ? *context_.associationTables : ownTables_;
}

void AssociationPage::OnCreate() {
  ListPage::OnCreate();
  icons_ = ui::ImageList(context_.images.rowImages.Size(), context_.images.rowImages.Glyphs());
  List().View().SetSmallImages(icons_.get());
}

void AssociationPage::RefreshClick() {
  AssociationScanResult scan = ScanAssociations(Tables());
  // The stock images first, then one program icon per row, made afresh.
  icons_.TruncateTo(static_cast<int>(context_.images.rowImages.Glyphs().size()));
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
  for (int id : {kRestoreDefaultsMenuItem, kRestoreDefaultButton}) EnableAction(id, restorable);
  for (int id : {kCustomSetMenuItem, kCustomSetButton}) EnableAction(id, item && !restorable);
  for (int id : {kFilePropertyMenuItem, kOpenDirectoryMenuItem, kViewEntryMenuItem}) EnableAction(id, item != nullptr);
}

void AssociationPage::RestoreDefaultsClick() {
  const AssociationItem* item = List().Selected();
  if (!item || !HasDefaultCommand(item->index)) return;
  const std::size_t index = item->index;
  const RestoreCommand command = DefaultCommandFor(Tables(), index);
  const std::string question = "Restore the open command of \"" + item->row.caption + "\" to its default?\r\n\r\n" +
                               command.command;
  if (context_.ui.Message(question, "Restore Default", MB_YESNO | MB_ICONQUESTION) != IDYES) return;
  const WriteResult result = RestoreDefaultAssociation(Tables(), index);
  if (!result) context_.ui.Message(result.message, "Restore Default", MB_OK | MB_ICONERROR);
  RefreshClick();
  List().Select(index);
  PMFileAssPopup();
}

void AssociationPage::CustomSetClick() {
  const AssociationItem* item = List().Selected();
  if (!item || HasDefaultCommand(item->index)) return;
  const std::size_t index = item->index;
  const auto program = chooseProgram(context_.ui.OwnerWindow());
  if (!program || program->empty()) return;
  const WriteResult result = SetCustomAssociation(Tables(), index, *program);
  if (!result) context_.ui.Message(result.message, "Custom Set", MB_OK | MB_ICONERROR);
  RefreshClick();
  List().Select(index);
  PMFileAssPopup();
}

void AssociationPage::FilePropertyClick() {
  const AssociationItem* item = List().Selected();
  if (!item) return;
  const std::string program = ExtractExecutablePath(item->row.command);
  if (!showProperties(program, context_.ui.OwnerWindow()))
    ShowStatus(program.empty() ? "The command names no program."
                                           : "Cannot show the properties of " + program + ".");
}

void AssociationPage::OpenDirectoryClick() {
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

void AssociationPage::ViewEntryClick() {
  const AssociationItem* item = List().Selected();
  if (!item) return;
  if (!jumpToRegistry(AssociationRegistryPath(Tables(), item->index), ""))
    ShowStatus("The registry editor could not be opened.");
}

}  // namespace wl
