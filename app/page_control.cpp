#include "app/page_control.h"

namespace wl::app {

namespace {

std::size_t PlaceOf(const Feature& feature) { return static_cast<std::size_t>(&feature - Features().data()); }

}  // namespace

void PageControl::Set(const Feature& feature, std::unique_ptr<ui::Page> page) {
  pages_[PlaceOf(feature)] = std::move(page);
}

ui::Page* PageControl::PageOf(const Feature& feature) const { return pages_[PlaceOf(feature)].get(); }

ui::Page* PageControl::PageOf(std::string_view name) const {
  const Feature* feature = FindFeature(name);
  return feature ? PageOf(*feature) : nullptr;
}

const Feature* PageControl::FeatureOf(const ui::Page& page) const {
  for (std::size_t i = 0; i < pages_.size(); ++i)
    if (pages_[i].get() == &page) return &Features()[i];
  return nullptr;
}

void PageControl::Show(const Feature& feature) {
  ui::Page* next = PageOf(feature);
  if (!next) return;
  if (&feature == active_) {
    next->OnShow();
    return;
  }
  ui::Page* previous = active_ ? PageOf(*active_) : nullptr;
  active_ = &feature;
  next->OnShow();
  // The page that goes is hidden first and the new one put on top and
  // painted whole, so that nothing of the old page (its title, say) stays
  // on the screen where the new page's controls leave a gap.
  if (previous) ShowWindow(previous->hwnd(), SW_HIDE);
  SetWindowPos(next->hwnd(), HWND_TOP, area_.left, area_.top, area_.right - area_.left, area_.bottom - area_.top,
               SWP_SHOWWINDOW);
  RedrawWindow(next->hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_FRAME);
}

void PageControl::Resize(const RECT& area) {
  area_ = area;
  if (ui::Page* p = active_ ? PageOf(*active_) : nullptr)
    MoveWindow(p->hwnd(), area.left, area.top, area.right - area.left, area.bottom - area.top, TRUE);
}

}  // namespace wl::app
