// Rows of a list as text: a header line with the column titles, then one line
// per row, cells separated by tabs. Used by the console scanner.
#pragma once

#include <string>
#include <vector>

namespace wl {

using TextRow = std::vector<std::string>;

// Tabs and line breaks inside a cell become blanks so every row stays one line.
std::string FormatTable(const TextRow& header, const std::vector<TextRow>& rows);

}  // namespace wl
