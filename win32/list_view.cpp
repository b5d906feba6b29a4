#include "win32/list_view.h"

#include <uxtheme.h>

#include <utility>

#include "win32/dpi.h"
#include "win32/unicode.h"
#include "win32/window.h"

namespace wl::win32 {

namespace {
UINT StateImage(bool checked) { return INDEXTOSTATEIMAGEMASK(checked ? 2 : 1); }

// Wine's list view, when it paints into a buffer, leaves stray grey marks at
// the foot of the column header (seen on the hijack report and the sniffer);
// the system's own list view paints the buffer whole. Under Wine the list
// paints directly.
bool BufferedPaintingIsSound() {
  static const bool sound = !GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version");
  return sound;
}
}  // namespace

ListView::~ListView() {
  // Forget the window first: its last notifications must not reach the
  // callbacks of an owner that is going away.
  HWND h = std::exchange(hwnd_, nullptr);
  if (h && IsWindow(h)) DestroyWindow(h);
}

bool ListView::Create(HWND parent, int id, const ListStyle& style) {
  DWORD ws = WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SHAREIMAGELISTS;
  if (style.singleSelect) ws |= LVS_SINGLESEL;
  if (style.showSelectionAlways) ws |= LVS_SHOWSELALWAYS;
  hwnd_ = CreateWindowExW(0, WC_LISTVIEWW, L"", ws, 0, 0, 100, 100, parent,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ModuleInstance(), nullptr);
  if (!hwnd_) return false;
  id_ = id;
  DWORD ex = LVS_EX_LABELTIP | LVS_EX_INFOTIP;
  if (BufferedPaintingIsSound()) ex |= LVS_EX_DOUBLEBUFFER;
  if (style.checkBoxes) ex |= LVS_EX_CHECKBOXES;
  if (style.gridLines) ex |= LVS_EX_GRIDLINES;
  if (style.fullRowSelect) ex |= LVS_EX_FULLROWSELECT;
  if (style.subItemImages) ex |= LVS_EX_SUBITEMIMAGES;
  ListView_SetExtendedListViewStyle(hwnd_, ex);
  // The selection look of the system's own file lists.
  SetWindowTheme(hwnd_, L"Explorer", nullptr);
  return true;
}

void ListView::SetColumns(const std::vector<ListColumn>& columns, UINT dpi) {
  while (ListView_DeleteColumn(hwnd_, 0)) {
  }
  columns_ = columns;
  for (std::size_t i = 0; i < columns_.size(); ++i) {
    std::wstring title = Widen(columns_[i].title);
    LVCOLUMNW col{};
    col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
    col.fmt = columns_[i].format;
    col.cx = Scale(columns_[i].width, dpi);
    col.pszText = title.data();
    col.iSubItem = static_cast<int>(i);
    SendMessageW(hwnd_, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&col));
  }
}

void ListView::ScaleColumns(UINT dpi) {
  for (std::size_t i = 0; i < columns_.size(); ++i)
    ListView_SetColumnWidth(hwnd_, static_cast<int>(i), Scale(columns_[i].width, dpi));
}

void ListView::SetSmallImages(HIMAGELIST images) { ListView_SetImageList(hwnd_, images, LVSIL_SMALL); }

void ListView::BeginUpdate() {
  if (updateDepth_++ == 0) SendMessageW(hwnd_, WM_SETREDRAW, FALSE, 0);
}

void ListView::EndUpdate() {
  if (updateDepth_ > 0 && --updateDepth_ == 0) {
    SendMessageW(hwnd_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(hwnd_, nullptr, TRUE);
  }
}

void ListView::Reset(std::size_t count, const std::vector<bool>& checks) {
  ListUpdate update(*this);
  quiet_ = true;
  ListView_DeleteAllItems(hwnd_);
  ListView_SetItemCountEx(hwnd_, static_cast<int>(count), LVSICF_NOINVALIDATEALL);
  for (std::size_t i = 0; i < count; ++i) {
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_STATE;
    item.iItem = static_cast<int>(i);
    item.pszText = LPSTR_TEXTCALLBACKW;
    item.iImage = I_IMAGECALLBACK;
    item.stateMask = LVIS_STATEIMAGEMASK;
    item.state = StateImage(i < checks.size() && checks[i]);
    SendMessageW(hwnd_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
  }
  quiet_ = false;
}

void ListView::Insert(std::size_t index, bool checked) {
  quiet_ = true;
  LVITEMW item{};
  item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_STATE;
  item.iItem = static_cast<int>(index);
  item.pszText = LPSTR_TEXTCALLBACKW;
  item.iImage = I_IMAGECALLBACK;
  item.stateMask = LVIS_STATEIMAGEMASK;
  item.state = StateImage(checked);
  SendMessageW(hwnd_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
  quiet_ = false;
}

void ListView::Erase(std::size_t index) {
  quiet_ = true;
  ListView_DeleteItem(hwnd_, static_cast<int>(index));
  quiet_ = false;
}

void ListView::RedrawItems(std::size_t first, std::size_t last) {
  ListView_RedrawItems(hwnd_, static_cast<int>(first), static_cast<int>(last));
}

std::size_t ListView::ItemCount() const {
  const int n = ListView_GetItemCount(hwnd_);
  return n > 0 ? static_cast<std::size_t>(n) : 0;
}

std::optional<std::size_t> ListView::Selected() const {
  const int i = ListView_GetNextItem(hwnd_, -1, LVNI_SELECTED);
  if (i < 0) return std::nullopt;
  return static_cast<std::size_t>(i);
}

void ListView::Select(std::optional<std::size_t> index) {
  quiet_ = true;
  ListView_SetItemState(hwnd_, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
  if (index) {
    ListView_SetItemState(hwnd_, static_cast<int>(*index), LVIS_SELECTED | LVIS_FOCUSED,
                          LVIS_SELECTED | LVIS_FOCUSED);
    ListView_EnsureVisible(hwnd_, static_cast<int>(*index), FALSE);
  }
  quiet_ = false;
}

bool ListView::IsChecked(std::size_t index) const {
  return ListView_GetCheckState(hwnd_, static_cast<UINT>(index)) != 0;
}

void ListView::SetChecked(std::size_t index, bool checked) {
  quiet_ = true;
  ListView_SetItemState(hwnd_, static_cast<int>(index), StateImage(checked), LVIS_STATEIMAGEMASK);
  quiet_ = false;
}

std::string ListView::ShownText(std::size_t index, int column) const {
  std::wstring buf(1024, L'\0');
  LVITEMW item{};
  item.iSubItem = column;
  item.pszText = buf.data();
  item.cchTextMax = static_cast<int>(buf.size());
  const LRESULT n = SendMessageW(hwnd_, LVM_GETITEMTEXTW, index, reinterpret_cast<LPARAM>(&item));
  buf.resize(static_cast<std::size_t>(n));
  return Narrow(buf);
}

int ListView::ColumnWidth(int column) const { return ListView_GetColumnWidth(hwnd_, column); }

bool ListView::HandleNotify(const NMHDR* header, LRESULT* result) {
  if (header->hwndFrom != hwnd_) return false;
  *result = 0;
  switch (header->code) {
    case LVN_GETDISPINFOW: {
      auto* info = reinterpret_cast<NMLVDISPINFOW*>(const_cast<NMHDR*>(header));
      LVITEMW& item = info->item;
      const auto row = static_cast<std::size_t>(item.iItem);
      if (item.mask & LVIF_TEXT) {
        dispText_ = textOf ? Widen(textOf(row, item.iSubItem)) : std::wstring();
        // The control copies the text before it asks again.
        item.pszText = dispText_.data();
      }
      if (item.mask & LVIF_IMAGE) item.iImage = imageOf ? imageOf(row, item.iSubItem) : -1;
      return true;
    }
    case LVN_COLUMNCLICK:
      if (onColumnClick) onColumnClick(reinterpret_cast<const NMLISTVIEW*>(header)->iSubItem);
      return true;
    case NM_CLICK:
      if (onClick) onClick();
      return true;
    case NM_DBLCLK:
      if (onDoubleClick) onDoubleClick();
      return true;
    case LVN_ITEMCHANGED: {
      const auto* change = reinterpret_cast<const NMLISTVIEW*>(header);
      if (quiet_ || !(change->uChanged & LVIF_STATE) || change->iItem < 0) return true;
      const UINT changed = change->uOldState ^ change->uNewState;
      if ((changed & LVIS_STATEIMAGEMASK) && (change->uNewState & LVIS_STATEIMAGEMASK) && onCheckChanged)
        onCheckChanged(static_cast<std::size_t>(change->iItem),
                       ((change->uNewState & LVIS_STATEIMAGEMASK) >> 12) == 2);
      if ((changed & LVIS_SELECTED) && onSelectionChanged) onSelectionChanged();
      return true;
    }
    case NM_CUSTOMDRAW: {
      auto* draw = reinterpret_cast<NMLVCUSTOMDRAW*>(const_cast<NMHDR*>(header));
      if (!backgroundOf) {
        *result = CDRF_DODEFAULT;
        return true;
      }
      if (draw->nmcd.dwDrawStage == CDDS_PREPAINT) {
        *result = CDRF_NOTIFYITEMDRAW;
      } else if (draw->nmcd.dwDrawStage == CDDS_ITEMPREPAINT) {
        const COLORREF back = backgroundOf(static_cast<std::size_t>(draw->nmcd.dwItemSpec));
        if (back != CLR_DEFAULT) draw->clrTextBk = back;
        *result = CDRF_DODEFAULT;
      } else {
        *result = CDRF_DODEFAULT;
      }
      return true;
    }
    default:
      return false;
  }
}

}  // namespace wl::win32
