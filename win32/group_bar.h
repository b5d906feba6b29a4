// A navigation bar drawn by itself: groups, each with a caption strip and a
// list of items with an icon and a hint. Items light up under the mouse and
// can be reached with the keyboard (Tab to the bar, arrows, Enter or Space).
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "win32/handles.h"
#include "win32/owner_drawn.h"

namespace wl::win32 {

struct GroupBarColors {
  COLORREF bar = RGB(122, 150, 223);          // background of the bar
  COLORREF group = RGB(216, 228, 248);        // body of a group
  COLORREF divider = RGB(49, 106, 197);       // line under a group caption
  COLORREF caption = RGB(255, 255, 255);      // caption strip
  COLORREF captionFont = RGB(49, 106, 197);
  COLORREF captionHot = RGB(61, 149, 255);
  COLORREF itemFont = RGB(49, 106, 197);
  COLORREF itemHot = RGB(61, 149, 255);
};

struct GroupBarItem {
  std::string caption;
  std::string hint;
  int image = -1;  // index into the bar's image list
};

struct GroupBarGroup {
  std::string caption;
  std::vector<GroupBarItem> items;
};

struct GroupBarPos {
  int group = -1;
  int item = -1;
  bool operator==(const GroupBarPos&) const = default;
  bool valid() const { return group >= 0 && item >= 0; }
};

class GroupBar : public OwnerDrawnControl {
 public:
  bool Create(HWND parent, int id);
  void SetGroups(std::vector<GroupBarGroup> groups);
  const std::vector<GroupBarGroup>& Groups() const { return groups_; }
  void SetColors(const GroupBarColors& colors);
  const GroupBarColors& Colors() const { return colors_; }
  // Item icons, drawn at the image list's size.
  void SetImages(HIMAGELIST images);
  // The item that stands for what the window shows now (drawn marked).
  void SetCurrent(GroupBarPos pos);
  GroupBarPos Current() const { return current_; }
  GroupBarPos Hot() const { return hot_; }
  GroupBarPos Focused() const { return focus_; }

  // Item rectangle in client coordinates (empty when there is no such item).
  RECT ItemRect(GroupBarPos pos) const;
  GroupBarPos ItemAt(POINT client) const;
  // Preferred width at the bar's DPI.
  int PreferredWidth() const;

  std::optional<std::string> HintAt(HWND control, POINT screenPoint) override;

  std::function<void(GroupBarPos pos)> onItemClick;

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

 private:
  struct Layout {
    std::vector<RECT> headers;
    std::vector<RECT> bodies;
    std::vector<std::vector<RECT>> items;
  };
  Layout ComputeLayout() const;
  void Paint(HDC dc, const RECT& client) override;
  void OnMouseMove(POINT client) override { SetHot(ItemAt(client)); }
  void OnMouseLeave() override { SetHot({}); }
  void OnDpiChanged() override;
  void OnFocusChanged() override { InvalidateItem(focus_); }
  bool ShowsHandCursor() const override { return hot_.valid(); }
  bool OnActivateKey() override {
    Activate(focus_);
    return true;
  }
  void SetHot(GroupBarPos pos);
  void MoveFocus(int delta);
  void Activate(GroupBarPos pos);
  void InvalidateItem(GroupBarPos pos);
  std::vector<GroupBarPos> AllItems() const;

  std::vector<GroupBarGroup> groups_;
  GroupBarColors colors_;
  HIMAGELIST images_ = nullptr;
  UniqueGdiObject captionFont_;
  UniqueGdiObject itemFont_;
  UniqueGdiObject itemHotFont_;
  GroupBarPos hot_;
  GroupBarPos pressed_;
  GroupBarPos focus_;
  GroupBarPos current_;
};

}  // namespace wl::win32
