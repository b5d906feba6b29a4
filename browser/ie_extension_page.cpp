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
  AddAction({.id = kRefresh6, .caption = "&Refresh", .handler = [this] { Refresh6Click(); }, .toolbar = false});
  AddSeparator();
  AddAction({.id = kSelectAll1, .caption = "Select &All", .handler = [this] { SelectAll1Click(); }, .toolbar = false});
  AddAction({.id = kUnSelectAll1, .caption = "&UnSelect All", .handler = [this] { UnSelectAll1Click(); },
             .toolbar = false});
  AddAction({.id = kDeleteItems1, .caption = "&Delete Items", .handler = [this] { DeleteItems1Click(); },
             .toolbar = false});
  AddSeparator();
  AddAction({.id = kFilePoperty3, .caption = "File &Poperty", .handler = [this] { FilePoperty3Click(); },
             .toolbar = false});
  AddAction({.id = kF1, .caption = "&Open Directory", .handler = [this] { F1Click(); }, .toolbar = false});
  // The toolbar.
  AddAction({.id = kToolButton21, .caption = "Refresh", .hint = "Reload the IE extensions.",
             .glyph = ui::Glyph::Refresh, .handler = [this] { ToolButton21Click(); }, .menu = false});
  AddAction({.id = kToolButton22, .caption = "Remove Item", .hint = "Remove the checked items.",
             .glyph = ui::Glyph::Delete, .handler = [this] { ToolButton22Click(); }, .menu = false});

  OnPopup([this] { PMIEExPopup(); });
  OnColumnClick([this](int) { IEExListColumnClick(); });
  OnDoubleClick([this] { IEExListDblClick(); });
}

void IeExtensionPage::OnCreate() {
  ListPage::OnCreate();
  List().View().SetSmallImages(context_.images.imageListMain.get());
}

void IeExtensionPage::Refresh6Click() {
  IeExtensionScanResult result = scan();
  // The icons of the previous listing go with it.
  context_.images.imageListMain.TruncateTo(0);
  std::vector<IeExListRow> rows;
  rows.reserve(result.rows.size());
  for (auto& entry : result.rows) {
    int image = -1;
    if (const win32::UniqueHicon icon = LoadRowIcon(entry.icon)) image = context_.images.imageListMain.Add(icon.get());
    rows.push_back({std::move(entry), image});
  }
  context_.hijack.Append(result.hijack);
  ShowRows(std::move(rows));
}

void IeExtensionPage::PMIEExPopup() {
  const bool selected = List().Selected() != nullptr;
  const bool any = !List().Empty();
  EnableAction(kFilePoperty3, selected);
  EnableAction(kF1, selected);
  for (int id : {kSelectAll1, kUnSelectAll1, kDeleteItems1, kToolButton22}) EnableAction(id, any);
}

void IeExtensionPage::DeleteItems1Click() {
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

void IeExtensionPage::FilePoperty3Click() {
  const IeExListRow* row = List().Selected();
  if (!row) return;
  const std::string program = RowProgram(row->entry);
  if (!showProperties(program, context_.ui.MainWindow()))
    ShowStatus("Cannot show the properties of " + (program.empty() ? row->entry.itemName : program) +
                           ".");
}

void IeExtensionPage::F1Click() {
  const IeExListRow* row = List().Selected();
  if (!row) return;
  const std::string program = RowProgram(row->entry);
  const std::string folder = FolderOf(program);
  if (folder.empty() || !openFolder(folder))
    ShowStatus("Cannot open the folder of " + (program.empty() ? row->entry.itemName : program) + ".");
}

void IeExtensionPage::IEExListDblClick() {
  if (List().Selected()) FilePoperty3Click();
}

}  // namespace wl
