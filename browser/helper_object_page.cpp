#include "browser/helper_object_page.h"

#include <commctrl.h>

#include "browser/ie_sweeper.h"
#include "sysroutines/shell_routines.h"
#include "win32/unicode.h"

namespace wl {
namespace {

constexpr char kRemoveCaption[] = "Remove";

std::vector<ui::ReportColumn<HelperObjectRow>> Columns() {
  const auto titles = HelperObjectColumns();
  return {{titles[0], 160, [](const HelperObjectRow& r) { return r.itemName; },
           [](const HelperObjectRow& r) { return r.image; }},
          {titles[1], 100, [](const HelperObjectRow& r) { return r.itemType; }},
          {titles[2], 150, [](const HelperObjectRow& r) { return r.filePath; }},
          {titles[3], 220, [](const HelperObjectRow& r) { return r.analysis; }},
          {titles[4], 0, [](const HelperObjectRow& r) { return r.clsid; }},
          {"Signer", 150, [](const HelperObjectRow& r) { return r.judgement.signer; }}};
}

}  // namespace

HelperObjectPage::HelperObjectPage(ui::PageContext& context) : ListPage(context, Columns()) {
  scan = [this] {
    HelperObjectScanResult result = ScanHelperObjects(context_.tables);
    JudgeHelperObjects(result.rows, PageJudge());
    return result;
  };
  showProperties = [](const std::string& path, HWND owner) { return ShowFileProperties(path, owner); };
  openFolder = [](const std::string& folder) { return ShellOpen(folder); };

  // The popup menu PMBHO, in its order.
  AddAction({.id = kStateMenuItem, .caption = "State:", .toolbar = false});
  AddAction({.id = kEnableMenuItem, .caption = "&Enable", .handler = [this] { EnableClick(); }, .toolbar = false});
  AddSeparator();
  AddAction({.id = kRemoveMenuItem, .caption = "Remove", .hint = "Remove the Browser Help Object.",
             .handler = [this] { RemoveClick(); }, .toolbar = false});
  AddAction({.id = kRefreshMenuItem, .caption = "Refresh", .handler = [this] { RefreshClick(); }, .toolbar = false});
  AddSeparator();
  AddAction({.id = kFilePropertyMenuItem, .caption = "File Poperty", .handler = [this] { FilePropertyClick(); },
             .toolbar = false});
  AddAction({.id = kOpenDirectoryMenuItem, .caption = "&Open Directory", .handler = [this] { OpenDirectoryClick(); },
             .toolbar = false});
  // The toolbar.
  AddAction({.id = kRefreshButton, .caption = "Refresh", .hint = "Reload the Browser Help Object.",
             .glyph = ui::Glyph::Refresh, .handler = [this] { RefreshClick(); }, .menu = false});
  AddAction({.id = kRemoveItemButton, .caption = "Remove Item", .hint = "Remove the Browser Help Object.",
             .glyph = ui::Glyph::Delete, .handler = [this] { RemoveClick(); }, .menu = false});

  OnPopup([this] { PMBHOPopup(); });
  OnColumnClick([this](int) { IEBHOListColumnClick(); });
  OnDoubleClick([this] { IEBHOListDblClick(); });
}

void HelperObjectPage::OnCreate() {
  ListPage::OnCreate();
  List().View().SetSmallImages(context_.images.rowImages.get());
  // A label, never an action.
  EnableAction(kStateMenuItem, false);
  EnableAction(kRemoveItemButton, false);
}

void HelperObjectPage::SetHeader(int column, const std::string& text) {
  std::wstring w = win32::Widen(text);
  LVCOLUMNW col{};
  col.mask = LVCF_TEXT;
  col.pszText = w.data();
  SendMessageW(List().hwnd(), LVM_SETCOLUMNW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&col));
}

std::string HelperObjectPage::HeaderText(int column) const {
  wchar_t buf[256] = {};
  LVCOLUMNW col{};
  col.mask = LVCF_TEXT;
  col.pszText = buf;
  col.cchTextMax = 256;
  if (!SendMessageW(List().hwnd(), LVM_GETCOLUMNW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&col)))
    return {};
  return win32::Narrow(buf);
}

void HelperObjectPage::SetMenuCaption(int id, const std::string& caption) {
  std::wstring w = win32::Widen(caption);
  MENUITEMINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = MIIM_STRING;
  info.dwTypeData = w.data();
  SetMenuItemInfoW(PopupMenu(), static_cast<UINT>(id), FALSE, &info);
}

void HelperObjectPage::RefreshClick() {
  HelperObjectScanResult result = scan();
  const std::size_t count = result.rows.size();
  // The hijack rows name each row by its place in the list, sorted or not.
  ShowRowsOfScan(std::move(result.rows), result.hijack, &HelperObjectRow::scanIndex);
  SetHeader(0, HelperObjectTotalHeader(count));
  SetHeader(1, HelperObjectInstalledHeader(count));
  context_.hijack.Append(result.hijack);
  if (!result.skipped.empty())
    ShowStatus(std::to_string(result.skipped.size()) +
                           " damaged add-on statistics entries were passed over (first: " + result.skipped.front() +
                           ").");
}

void HelperObjectPage::PMBHOPopup() {
  const HelperObjectRow* row = List().Selected();
  for (int id : {kEnableMenuItem, kFilePropertyMenuItem, kOpenDirectoryMenuItem}) EnableAction(id, row != nullptr);
  const bool removable = row && canRemove(*row);
  EnableAction(kRemoveMenuItem, removable);
  EnableAction(kRemoveItemButton, removable);
  if (!row) return;
  const bool disabled = readDisabled(row->clsid);
  SetMenuCaption(kStateMenuItem, ComponentStateCaption(disabled));
  SetMenuCaption(kEnableMenuItem, ComponentActionCaption(disabled));
  offer_ = disabled ? 0 : 1;
}

void HelperObjectPage::EnableClick() {
  const HelperObjectRow* row = List().Selected();
  if (!row) return;
  const WriteResult result = setDisabled(row->clsid, offer_ == 1);
  RefreshClick();
  if (!result) ShowStatus(result.message);
}

void HelperObjectPage::RemoveClick() {
  const HelperObjectRow* selected = List().Selected();
  if (!selected || !canRemove(*selected)) return;
  const HelperObjectRow row = *selected;
  const std::string question = "Remove the browser's entry for the selected item, so that the browser no longer "
                               "loads it?\r\n\r\n" + row.itemType + ": " + row.itemName + "\r\n" + row.clsid;
  if (context_.ui.Message(question, kRemoveCaption, MB_YESNO | MB_ICONQUESTION) != IDYES) return;
  const WriteResult result = remove(row);
  RefreshClick();
  if (!result) ShowStatus(result.message);
}

void HelperObjectPage::FilePropertyClick() {
  const HelperObjectRow* row = List().Selected();
  if (!row) return;
  if (!showProperties(ServerFileInView(row->filePath, row->wow32), context_.ui.OwnerWindow()))
    ShowStatus("Cannot show the properties of " + (row->filePath.empty() ? row->itemName : row->filePath) +
                           ".");
}

void HelperObjectPage::OpenDirectoryClick() {
  const HelperObjectRow* row = List().Selected();
  if (!row) return;
  const std::string folder = FolderOf(ServerFileInView(row->filePath, row->wow32));
  if (folder.empty() || !openFolder(folder))
    ShowStatus("Cannot open the folder of " + (row->filePath.empty() ? row->itemName : row->filePath) +
                           ".");
}

void HelperObjectPage::IEBHOListDblClick() {
  if (List().Selected()) FilePropertyClick();
}

}  // namespace wl
