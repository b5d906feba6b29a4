// Rows of a list as text: a header line with the column titles, then one line
// per row, cells separated by tabs. Used by the console scanner.
#pragma once

#include <string>
#include <vector>

namespace wl {

using TextRow = std::vector<std::string>;

// Tabs and line breaks inside a cell become blanks so every row stays one line.
std::string FormatTable(const TextRow& header, const std::vector<TextRow>& rows);

// RFC 4180: a header record, then one record per row, fields separated by
// commas, records ended by CR LF; a field holding a comma, a quote or a line
// break is quoted, its quotes doubled. Text stays UTF-8.
std::string FormatCsv(const TextRow& header, const std::vector<TextRow>& rows);
std::string CsvField(const std::string& text);

// A JSON key for a column title: its words in camelCase, letters and digits
// only ("Item Name" -> "itemName", "Process ID" -> "processId",
// "RegistryKey" -> "registryKey"); "column" + n when nothing is left.
std::string KeyFromCaption(const std::string& caption, std::size_t column);

}  // namespace wl
