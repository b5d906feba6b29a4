// The page control of the main window: one page per feature of the feature
// table that has one, one of them shown at a time in the page area; its tabs
// are never shown (the navigation bar chooses).
#pragma once

#include <windows.h>

#include <memory>
#include <string_view>
#include <vector>

#include "features/feature_table.h"
#include "ui/page.h"

namespace wl::app {

class PageControl {
 public:
  void Set(const Feature& feature, std::unique_ptr<ui::Page> page);
  // The feature's page; null when it has none.
  ui::Page* PageOf(const Feature& feature) const;
  ui::Page* PageOf(std::string_view name) const;
  // The feature whose page this is; null for a page of none.
  const Feature* FeatureOf(const ui::Page& page) const;
  // The feature whose page is shown; null before the first is.
  const Feature* Active() const { return active_; }
  // Brings the feature's page to the front (and tells it); nothing when it
  // has none.
  void Show(const Feature& feature);
  void Resize(const RECT& area);

 private:
  // By the feature's place in the table.
  std::vector<std::unique_ptr<ui::Page>> pages_ = std::vector<std::unique_ptr<ui::Page>>(Features().size());
  const Feature* active_ = nullptr;
  RECT area_{};
};

}  // namespace wl::app
