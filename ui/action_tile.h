// One action of the status page: a picture, a caption in bold italic, a
// description line and a button picture. The caption lights up while the
// mouse is over the tile; the button picture shows pressed while a mouse
// button is down on it. Click, Enter or Space runs the action.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "ui/images.h"
#include "win32/handles.h"
#include "win32/owner_drawn.h"

namespace wl::ui {

inline constexpr COLORREF kSkyBlue = RGB(166, 202, 240);
inline constexpr COLORREF kHighlight = RGB(49, 106, 197);

class ActionTile : public win32::OwnerDrawnControl {
 public:
  struct Content {
    std::string caption;
    std::string description;
    Glyph picture = Glyph::None;  // the second picture, beside the texts
  };
  bool Create(HWND parent, int id, Content content);

  void SetHot(bool hot);
  bool Hot() const { return hot_; }
  COLORREF CaptionColor() const { return hot_ ? kHighlight : kSkyBlue; }
  // The main picture: the normal or the pressed state.
  void SetButtonPicture(Glyph glyph);
  Glyph ButtonPicture() const { return button_; }
  const Content& Texts() const { return content_; }

  std::function<void()> onClick;
  // The mouse moved over the tile (the page lights this one, dims the rest).
  std::function<void()> onHover;

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

 private:
  void Paint(HDC dc, const RECT& r) override;
  void OnMouseMove(POINT client) override;
  void OnMouseLeave() override { SetHot(false); }
  void OnDpiChanged() override;
  bool OnActivateKey() override {
    if (!onClick) return false;
    onClick();
    return true;
  }

  Content content_;
  Glyph button_ = Glyph::GoButton;
  bool hot_ = false;
  bool pressed_ = false;
  win32::UniqueGdiObject captionFont_;
  win32::UniqueGdiObject textFont_;
};

}  // namespace wl::ui
