// The hijack scan: the scanners of the feature table's hijack-scan steps,
// run in order into the hijack list, shared by the main window's "Scan PC
// Hijacker" (which refreshes each scanner's page) and the console scanner
// (which runs the scanners headless).
#pragma once

#include <functional>
#include <vector>

#include "core/hijack_list.h"
#include "documents/scan_document.h"
#include "features/feature_table.h"
#include "judge/judge.h"

namespace wl {

// Clears the list, then runs every step in order through runStep, which
// appends the step's flagged rows to the list.
void RunHijackScan(HijackList& list, const std::function<void(const Feature&)>& runStep);

// The whole scan without windows: the list gets the flagged rows, the
// result one item per row, in the same order.
std::vector<ScanItem> RunHeadlessHijackScan(const Judge& judge, HijackList& list);

}  // namespace wl
