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
  AddAction({.id = kState1, .caption = "State:", .toolbar = false});
  AddAction({.id = kEnable1, .caption = "&Enable", .handler = [this] { Enable1Click(); }, .toolbar = false});
  AddSeparator();
  AddAction({.id = kRemove1, .caption = "Remove", .hint = "Remove the Browser Help Object.",
             .handler = [this] { Remove1Click(); }, .toolbar = false});
  AddAction({.id = kRefresh7, .caption = "Refresh", .handler = [this] { Refresh7Click(); }, .toolbar = false});
  AddSeparator();
  AddAction({.id = kFilePoperty4, .caption = "File Poperty", .handler = [this] { FilePoperty4Click(); },
             .toolbar = false});
  AddAction({.id = kOpenFolder3, .caption = "&Open Directory", .handler = [this] { OpenFolder3Click(); },
             .toolbar = false});
  // The toolbar.
  AddAction({.id = kToolButton23, .caption = "Refresh", .hint = "Reload the Browser Help Object.",
             .glyph = ui::Glyph::Refresh, .handler = [this] { ToolButton23Click(); }, .menu = false});
  AddAction({.id = kToolButton24, .caption = "Remove Item", .hint = "Remove the Browser Help Object.",
             .glyph = ui::Glyph::Delete, .handler = [this] { ToolButton24Click(); }, .menu = false});

  OnPopup([this] { PMBHOPopup(); });
  OnColumnClick([this](int) { IEBHOListColumnClick(); });
  OnDoubleClick([this] { IEBHOListDblClick(); });
}

void HelperObjectPage::OnCreate() {
  ListPage::OnCreate();
  List().View().SetSmallImages(context_.images.imageList2.get());
  // A label, never an action.
  EnableAction(kState1, false);
  EnableAction(kToolButton24, false);
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

void HelperObjectPage::Refresh7Click() {
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
  for (int id : {kEnable1, kFilePoperty4, kOpenFolder3}) EnableAction(id, row != nullptr);
  const bool removable = row && canRemove(*row);
  EnableAction(kRemove1, removable);
  EnableAction(kToolButton24, removable);
  if (!row) return;
  const bool disabled = readDisabled(row->clsid);
  SetMenuCaption(kState1, ComponentStateCaption(disabled));
  SetMenuCaption(kEnable1, ComponentActionCaption(disabled));
  offer_ = disabled ? 0 : 1;
}

void HelperObjectPage::Enable1Click() {
  const HelperObjectRow* row = List().Selected();
  if (!row) return;
  const WriteResult result = setDisabled(row->clsid, offer_ == 1);
  Refresh7Click();
  if (!result) ShowStatus(result.message);
}

void HelperObjectPage::Remove1Click() {
  const HelperObjectRow* selected = List().Selected();
  if (!selected || !canRemove(*selected)) return;
  const HelperObjectRow row = *selected;
  const std::string question = "Remove the browser's entry for the selected item, so that the browser no longer "
                               "loads it?\r\n\r\n" + row.itemType + ": " + row.itemName + "\r\n" + row.clsid;
  if (context_.ui.Message(question, kRemoveCaption, MB_YESNO | MB_ICONQUESTION) != IDYES) return;
  const WriteResult result = remove(row);
  Refresh7Click();
  if (!result) ShowStatus(result.message);
}

void HelperObjectPage::FilePoperty4Click() {
  const HelperObjectRow* row = List().Selected();
  if (!row) return;
  if (!showProperties(ServerFileInView(row->filePath, row->wow32), context_.ui.MainWindow()))
    ShowStatus("Cannot show the properties of " + (row->filePath.empty() ? row->itemName : row->filePath) +
                           ".");
}

void HelperObjectPage::OpenFolder3Click() {
  const HelperObjectRow* row = List().Selected();
  if (!row) return;
  const std::string folder = FolderOf(ServerFileInView(row->filePath, row->wow32));
  if (folder.empty() || !openFolder(folder))
    ShowStatus("Cannot open the folder of " + (row->filePath.empty() ? row->itemName : row->filePath) +
                           ".");
}

void HelperObjectPage::IEBHOListDblClick() {
  if (List().Selected()) FilePoperty4Click();
}

}  // namespace wl
