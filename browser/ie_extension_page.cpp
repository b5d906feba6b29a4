#include "browser/ie_extension_page.h"

#include "browser/browser_icons.h"
#include "sysroutines/shell_routines.h"
#include "sysroutines/system_info.h"
#include "sysroutines/text_routines.h"

namespace wl {

IeExtensionPage::IeExtensionPage(ui::PageContext& context)
    : ListPage(context,
               {{"Item Name", 160, [](const IeExListRow& r) { return r.entry.itemName; },
                 [](const IeExListRow& r) { return r.image; }},
                {"CLSID", 100, [](const IeExListRow& r) { return r.entry.clsid; }},
                {"File Path", 150, [](const IeExListRow& r) { return r.entry.filePath; }},
                {"Item Type", 200, [](const IeExListRow& r) { return r.entry.itemType; }},
                {"Signer", 150, [](const IeExListRow& r) { return r.entry.judgement.signer; }}},
               win32::ListStyle{.checkBoxes = true}) {
  scan = [this] {
    IeExtensionScanResult result = ScanIeExtensions(context_.tables);
    JudgeIeExtensions(result.rows, PageJudge());
    return result;
  };
  showProperties = [](const std::string& path, HWND owner) { return ShowFileProperties(path, owner); };
  openFolder = [](const std::string& folder) { return ShellOpen(folder); };

  // The popup menu PMIEEx, in its order.
  AddAction({.id = kRefreshMenuItem, .caption = "&Refresh", .handler = [this] { RefreshClick(); }, .toolbar = false});
  AddSeparator();
  AddAction(
      {.id = kSelectAllMenuItem, .caption = "Select &All", .handler = [this] { SelectAllClick(); }, .toolbar = false});
  AddAction({.id = kUnselectAllMenuItem, .caption = "&UnSelect All", .handler = [this] { UnselectAllClick(); },
             .toolbar = false});
  AddAction({.id = kDeleteItemsMenuItem, .caption = "&Delete Items", .handler = [this] { DeleteItemsClick(); },
             .toolbar = false});
  AddSeparator();
  AddAction({.id = kFilePropertyMenuItem, .caption = "File &Poperty", .handler = [this] { FilePropertyClick(); },
             .toolbar = false});
  AddAction({.id = kOpenDirectoryMenuItem, .caption = "&Open Directory", .handler = [this] { OpenDirectoryClick(); },
             .toolbar = false});
  // The toolbar.
  AddAction({.id = kRefreshButton, .caption = "Refresh", .hint = "Reload the IE extensions.",
             .glyph = ui::Glyph::Refresh, .handler = [this] { RefreshClick(); }, .menu = false});
  AddAction({.id = kRemoveItemButton, .caption = "Remove Item", .hint = "Remove the checked items.",
             .glyph = ui::Glyph::Delete, .handler = [this] { DeleteItemsClick(); }, .menu = false});

  OnPopup([this] { PMIEExPopup(); });
  OnColumnClick([this](int) { IEExListColumnClick(); });
  OnDoubleClick([this] { IEExListDblClick(); });
}

void IeExtensionPage::OnCreate() {
  ListPage::OnCreate();
  List().View().SetSmallImages(context_.images.extensionIcons.get());
}

void IeExtensionPage::RefreshClick() {
  IeExtensionScanResult result = scan();
  // The icons of the previous listing go with it.
  context_.images.extensionIcons.TruncateTo(0);
  std::vector<IeExListRow> rows;
  rows.reserve(result.rows.size());
  for (auto& entry : result.rows) {
    int image = -1;
    if (const win32::UniqueHicon icon = LoadRowIcon(entry.icon)) image = context_.images.extensionIcons.Add(icon.get());
    rows.push_back({std::move(entry), image});
  }
  context_.hijack.Append(result.hijack);
  ShowRows(std::move(rows));
}

void IeExtensionPage::PMIEExPopup() {
  const bool selected = List().Selected() != nullptr;
  const bool any = !List().Empty();
  EnableAction(kFilePropertyMenuItem, selected);
  EnableAction(kOpenDirectoryMenuItem, selected);
  for (int id : {kSelectAllMenuItem, kUnselectAllMenuItem, kDeleteItemsMenuItem, kRemoveItemButton})
    EnableAction(id, any);
}

void IeExtensionPage::DeleteItemsClick() {
  // From the last row to the first, so that the places of the rows still to
  // come stay as they are.
  const std::vector<std::size_t> checked = List().CheckedIndices();
  std::vector<std::string> failures;
  for (auto it = checked.rbegin(); it != checked.rend(); ++it) {
    const IeExtensionRow entry = List().Rows()[*it].entry;
    const WriteResult result = remove(entry);
    // A failed removal keeps its row; one that found nothing left to remove
    // does not.
    if (!result && !result.NotFound()) {
      failures.push_back(result.message);
      continue;
    }
    List().RemoveAt(*it);
  }
  RunPopup();
  if (failures.size() == 1) ShowStatus(failures.front());
  if (failures.size() > 1)
    ShowStatus(failures.front() + " (and " + std::to_string(failures.size() - 1) +
                           " more items could not be removed)");
}

std::string IeExtensionPage::RowProgram(const IeExtensionRow& row) const { return ExtractExecutablePath(row.filePath); }

void IeExtensionPage::FilePropertyClick() {
  const IeExListRow* row = List().Selected();
  if (!row) return;
  const std::string program = RowProgram(row->entry);
  if (!showProperties(program, context_.ui.OwnerWindow()))
    ShowStatus("Cannot show the properties of " + (program.empty() ? row->entry.itemName : program) +
                           ".");
}

void IeExtensionPage::OpenDirectoryClick() {
  const IeExListRow* row = List().Selected();
  if (!row) return;
  const std::string program = RowProgram(row->entry);
  const std::string folder = FolderOf(program);
  if (folder.empty() || !openFolder(folder))
    ShowStatus("Cannot open the folder of " + (program.empty() ? row->entry.itemName : program) + ".");
}

void IeExtensionPage::IEExListDblClick() {
  if (List().Selected()) FilePropertyClick();
}

}  // namespace wl
