#include "app/navigation.h"

#include <string_view>

namespace wl::app {

namespace {

// Calls visit(feature, place) for every feature with an item, in order.
template <class Visit>
void ForEachItem(Visit&& visit) {
  win32::GroupBarPos pos{-1, -1};
  std::string_view group;
  for (const Feature& f : Features()) {
    if (!f.group) continue;
    if (f.group != group) {
      group = f.group;
      pos = {pos.group + 1, 0};
    } else {
      ++pos.item;
    }
    if (visit(f, pos)) return;
  }
}

}  // namespace

std::vector<win32::GroupBarGroup> NavigationGroups(std::vector<ui::Glyph>& glyphs) {
  std::vector<win32::GroupBarGroup> groups;
  ForEachItem([&](const Feature& f, win32::GroupBarPos pos) {
    if (pos.item == 0) groups.push_back({f.group, {}});
    groups.back().items.push_back({f.caption, f.hint, static_cast<int>(glyphs.size())});
    glyphs.push_back(f.glyph);
    return false;
  });
  return groups;
}

const Feature* FeatureAt(win32::GroupBarPos pos) {
  const Feature* found = nullptr;
  ForEachItem([&](const Feature& f, win32::GroupBarPos at) {
    if (at == pos) found = &f;
    return found != nullptr;
  });
  return found;
}

win32::GroupBarPos NavigationPlaceOf(const Feature& feature) {
  win32::GroupBarPos found;
  ForEachItem([&](const Feature& f, win32::GroupBarPos at) {
    if (&f == &feature) found = at;
    return &f == &feature;
  });
  return found;
}

}  // namespace wl::app
