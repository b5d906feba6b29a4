// The navigation bar as data: its groups and items are the rows of the
// feature table that name a group, in the table's order; a place of the bar
// and a feature are found from each other.
#pragma once

#include <vector>

#include "features/feature_table.h"
#include "ui/glyph.h"
#include "win32/group_bar.h"

namespace wl::app {

// The groups and items of the bar; glyphs gets each item's glyph, in order,
// and each item's image is its glyph's place there.
std::vector<win32::GroupBarGroup> NavigationGroups(std::vector<ui::Glyph>& glyphs);
// The feature of the item at pos; null where there is none.
const Feature* FeatureAt(win32::GroupBarPos pos);
// The place of the feature's item; an invalid place when it has none.
win32::GroupBarPos NavigationPlaceOf(const Feature& feature);

}  // namespace wl::app
