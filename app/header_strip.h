// The strip above the pages: the product name and slogan, and the
// "Live Update" and "HomePage" links with their pictures. A link turns red
// under the mouse; over the strip's background both are white again. From
// the keyboard: Tab to the strip, Left/Right to pick a link, Enter or Space.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "win32/handles.h"
#include "win32/owner_drawn.h"

namespace wl::app {

class HeaderStrip : public win32::OwnerDrawnControl {
 public:
  enum class Link { None, LiveUpdate, HomePage };

  bool Create(HWND parent, int id);
  int PreferredHeight() const;
  Link HotLink() const { return hot_; }
  // Link area in client coordinates.
  RECT LinkRect(Link link) const;
  Link LinkAt(POINT client) const;
  COLORREF LinkColor(Link link) const { return link == hot_ ? RGB(255, 64, 64) : RGB(255, 255, 255); }

  std::function<void(Link link)> onLinkClick;

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

 private:
  void Paint(HDC dc, const RECT& r) override;
  void OnMouseMove(POINT client) override { SetHotLink(LinkAt(client)); }
  void OnMouseLeave() override { SetHotLink(Link::None); }
  void OnDpiChanged() override;
  bool ShowsHandCursor() const override { return hot_ != Link::None; }
  bool OnActivateKey() override {
    if (!onLinkClick) return false;
    onLinkClick(focus_);
    return true;
  }
  void SetHotLink(Link link);
  int LinkWidth(HDC dc, const std::wstring& text) const;

  Link hot_ = Link::None;
  Link pressed_ = Link::None;
  Link focus_ = Link::LiveUpdate;
  win32::UniqueGdiObject titleFont_;
  win32::UniqueGdiObject sloganFont_;
  win32::UniqueGdiObject linkFont_;
};

}  // namespace wl::app
