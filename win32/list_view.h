// A report-style list view whose texts and images come from the owner's data
// (LPSTR_TEXTCALLBACK / I_IMAGECALLBACK): item i always shows row i of the
// owner's vector. The control keeps nothing but the item count, the
// selection and the check marks. The owner forwards WM_NOTIFY to
// HandleNotify.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace wl::win32 {

struct ListColumn {
  std::string title;
  int width = 100;  // at 96 DPI; 0 hides the column
  int format = LVCFMT_LEFT;
};

struct ListStyle {
  bool checkBoxes = false;
  bool gridLines = true;
  bool fullRowSelect = true;
  bool subItemImages = false;
  bool singleSelect = true;
  bool showSelectionAlways = true;
};

class ListView {
 public:
  ListView() = default;
  ~ListView();
  ListView(const ListView&) = delete;
  ListView& operator=(const ListView&) = delete;

  bool Create(HWND parent, int id, const ListStyle& style);
  HWND hwnd() const { return hwnd_; }
  int Id() const { return id_; }

  void SetColumns(const std::vector<ListColumn>& columns, UINT dpi);
  // Re-applies the column widths for another DPI.
  void ScaleColumns(UINT dpi);
  int ColumnCount() const { return static_cast<int>(columns_.size()); }
  void SetSmallImages(HIMAGELIST images);

  // Makes the control hold count items, with the given check marks (missing
  // entries are unchecked), inside one redraw pause.
  void Reset(std::size_t count, const std::vector<bool>& checks = {});
  void Insert(std::size_t index, bool checked);
  void Erase(std::size_t index);
  void RedrawItems(std::size_t first, std::size_t last);
  std::size_t ItemCount() const;

  std::optional<std::size_t> Selected() const;
  void Select(std::optional<std::size_t> index);
  bool IsChecked(std::size_t index) const;
  void SetChecked(std::size_t index, bool checked);

  // What the control shows (asks the owner through the callbacks).
  std::string ShownText(std::size_t index, int column) const;
  int ColumnWidth(int column) const;

  // Stops redrawing until the matching End (nests).
  void BeginUpdate();
  void EndUpdate();

  bool HandleNotify(const NMHDR* header, LRESULT* result);

  std::function<std::string(std::size_t row, int column)> textOf;
  std::function<int(std::size_t row, int column)> imageOf;      // -1: none
  std::function<COLORREF(std::size_t row)> backgroundOf;        // CLR_DEFAULT: normal
  std::function<void(int column)> onColumnClick;
  std::function<void()> onClick;
  std::function<void()> onDoubleClick;
  std::function<void()> onSelectionChanged;
  std::function<void(std::size_t row, bool checked)> onCheckChanged;

 private:
  HWND hwnd_ = nullptr;
  int id_ = 0;
  std::vector<ListColumn> columns_;
  std::wstring dispText_;
  int updateDepth_ = 0;
  bool quiet_ = false;  // no check/selection callbacks while the owner changes items
};

// Keeps a ListView from redrawing for a scope.
class ListUpdate {
 public:
  explicit ListUpdate(ListView& view) : view_(view) { view_.BeginUpdate(); }
  ~ListUpdate() { view_.EndUpdate(); }
  ListUpdate(const ListUpdate&) = delete;
  ListUpdate& operator=(const ListUpdate&) = delete;

 private:
  ListView& view_;
};

}  // namespace wl::win32
