// The text of a saved hijack report.
#pragma once

#include <string>
#include <vector>

#include "core/hijack_list.h"

namespace wl {

// "Hijack_Report(" + date + ").txt". Characters a file name cannot hold
// (a short date such as 12/31/2024 has them) become "-".
std::string HijackReportFileName(const std::string& date);

// The report's lines: three header lines, two lines of one blank, then
// "Description: Item Name" for every row in the order given.
std::vector<std::string> HijackReportLines(const std::string& date, const std::string& systemName,
                                           const std::vector<HijackRow>& rows);

// The lines joined, each ended by CR LF.
std::string JoinLines(const std::vector<std::string>& lines);

}  // namespace wl
