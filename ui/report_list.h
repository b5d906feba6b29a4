// ReportList<Row>: a report list view over a vector of rows. The rows live
// here; the control only shows them (item i is row i). A column table gives
// each column's title, width and how to get its text and image from a row.
// Sorting sorts the vector, never the control.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "win32/list_view.h"

namespace wl::ui {

template <class Row>
struct ReportColumn {
  ReportColumn(std::string title, int width, std::function<std::string(const Row&)> text,
               std::function<int(const Row&)> image = nullptr)
      : title(std::move(title)), width(width), text(std::move(text)), image(std::move(image)) {}
  std::string title;
  int width;  // at 96 DPI; 0 hides the column
  std::function<std::string(const Row&)> text;
  std::function<int(const Row&)> image;  // image index or -1; empty: no image
};

// The stable order that sorts texts ascending the way the system's lists
// compare item captions (locale-aware, case as a tie-breaker).
std::vector<std::size_t> CaptionOrder(const std::vector<std::string>& captions);
// Position at which text goes into captions (already in CaptionOrder) so that
// the order holds and equal captions keep their arrival order.
std::size_t CaptionInsertPosition(const std::vector<std::string>& captions, const std::string& text);

template <class Row>
class ReportList {
 public:
  explicit ReportList(std::vector<ReportColumn<Row>> columns, win32::ListStyle style = {})
      : columns_(std::move(columns)), style_(style) {}
  ReportList(const ReportList&) = delete;
  ReportList& operator=(const ReportList&) = delete;

  bool Create(HWND parent, int id, UINT dpi) {
    if (!view_.Create(parent, id, style_)) return false;
    std::vector<win32::ListColumn> cols;
    for (const auto& c : columns_) cols.push_back({c.title, c.width, LVCFMT_LEFT});
    view_.SetColumns(cols, dpi);
    view_.textOf = [this](std::size_t row, int col) -> std::string {
      if (row >= rows_.size() || col < 0 || col >= static_cast<int>(columns_.size())) return {};
      const auto& c = columns_[static_cast<std::size_t>(col)];
      return c.text ? c.text(rows_[row]) : std::string();
    };
    view_.imageOf = [this](std::size_t row, int col) -> int {
      if (row >= rows_.size() || col < 0 || col >= static_cast<int>(columns_.size())) return -1;
      const auto& c = columns_[static_cast<std::size_t>(col)];
      return c.image ? c.image(rows_[row]) : -1;
    };
    view_.onCheckChanged = [this](std::size_t row, bool checked) {
      if (row < checked_.size()) checked_[row] = checked;
      if (onCheckChanged) onCheckChanged(row, checked);
    };
    return true;
  }

  win32::ListView& View() { return view_; }
  const win32::ListView& View() const { return view_; }
  HWND hwnd() const { return view_.hwnd(); }

  // Replaces every row (one redraw pause around the change).
  void SetRows(std::vector<Row> rows) {
    rows_ = std::move(rows);
    checked_.assign(rows_.size(), 0);
    if (sortByCaption_) Reorder(CaptionOrder(Captions()));
    view_.Reset(rows_.size());
  }
  void Clear() { SetRows({}); }
  // Adds a row at the end, or at its sorted place once sorting is on.
  std::size_t Append(Row row, bool checked = false) {
    std::size_t at = rows_.size();
    if (sortByCaption_) at = CaptionInsertPosition(Captions(), Caption(row));
    rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(at), std::move(row));
    checked_.insert(checked_.begin() + static_cast<std::ptrdiff_t>(at), checked ? 1 : 0);
    view_.Insert(at, checked);
    return at;
  }
  void RemoveAt(std::size_t index) {
    if (index >= rows_.size()) return;
    rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(index));
    checked_.erase(checked_.begin() + static_cast<std::ptrdiff_t>(index));
    view_.Erase(index);
  }
  // Changes a row in place and redraws it.
  void Update(std::size_t index, Row row) {
    if (index >= rows_.size()) return;
    rows_[index] = std::move(row);
    view_.RedrawItems(index, index);
  }

  const std::vector<Row>& Rows() const { return rows_; }
  std::size_t Count() const { return rows_.size(); }
  bool Empty() const { return rows_.empty(); }

  std::optional<std::size_t> SelectedIndex() const {
    auto i = view_.Selected();
    if (i && *i < rows_.size()) return i;
    return std::nullopt;
  }
  const Row* Selected() const {
    auto i = SelectedIndex();
    return i ? &rows_[*i] : nullptr;
  }
  void Select(std::optional<std::size_t> index) { view_.Select(index); }

  bool Checked(std::size_t index) const { return index < checked_.size() && checked_[index]; }
  void SetChecked(std::size_t index, bool checked) {
    if (index >= checked_.size()) return;
    checked_[index] = checked;
    view_.SetChecked(index, checked);
  }
  // "Select All" / "UnSelect All".
  void CheckAll(bool checked) {
    win32::ListUpdate update(view_);
    for (std::size_t i = 0; i < rows_.size(); ++i) SetChecked(i, checked);
  }
  std::vector<std::size_t> CheckedIndices() const {
    std::vector<std::size_t> out;
    for (std::size_t i = 0; i < checked_.size(); ++i)
      if (checked_[i]) out.push_back(i);
    return out;
  }

  // From now on the rows are kept sorted by the first column's text,
  // ascending (a header click does this on the sortable lists).
  void SortByCaption() {
    sortByCaption_ = true;
    const auto selected = SelectedIndex();
    const auto order = CaptionOrder(Captions());
    Reorder(order);
    win32::ListUpdate update(view_);
    for (std::size_t i = 0; i < rows_.size(); ++i) view_.SetChecked(i, checked_[i] != 0);
    std::optional<std::size_t> newSelected;
    if (selected)
      for (std::size_t i = 0; i < order.size(); ++i)
        if (order[i] == *selected) newSelected = i;
    view_.Select(newSelected);
    if (!rows_.empty()) view_.RedrawItems(0, rows_.size() - 1);
  }
  bool SortsByCaption() const { return sortByCaption_; }

  // The text the control shows in a cell (asks the column table).
  std::string CellText(std::size_t index, int column) const { return view_.ShownText(index, column); }

  void ScaleColumns(UINT dpi) { view_.ScaleColumns(dpi); }

  std::function<void(std::size_t row, bool checked)> onCheckChanged;

 private:
  std::string Caption(const Row& row) const {
    return !columns_.empty() && columns_[0].text ? columns_[0].text(row) : std::string();
  }
  std::vector<std::string> Captions() const {
    std::vector<std::string> out;
    out.reserve(rows_.size());
    for (const auto& r : rows_) out.push_back(Caption(r));
    return out;
  }
  void Reorder(const std::vector<std::size_t>& order) {
    std::vector<Row> rows;
    std::vector<char> checks;
    rows.reserve(order.size());
    checks.reserve(order.size());
    for (std::size_t i : order) {
      rows.push_back(std::move(rows_[i]));
      checks.push_back(checked_[i]);
    }
    rows_ = std::move(rows);
    checked_ = std::move(checks);
  }

  std::vector<ReportColumn<Row>> columns_;
  win32::ListStyle style_;
  win32::ListView view_;
  std::vector<Row> rows_;
  std::vector<char> checked_;
  bool sortByCaption_ = false;
};

}  // namespace wl::ui
