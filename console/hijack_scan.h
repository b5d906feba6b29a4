// The hijack scan: the scanners it runs, in order, and the routine that runs
// them into the hijack list, shared by the main window's "Scan PC Hijacker"
// (which refreshes each scanner's page) and the console scanner (which runs
// the scanners headless).
#pragma once

#include <functional>
#include <vector>

#include "core/hijack_list.h"
#include "refdb/reference_tables.h"
#include "console/page_scans.h"
#include "documents/scan_document.h"

namespace wl {

struct HijackScanStep {
  const char* page;  // the console scanner's page name; the first part of item ids
  int pageIndex;     // the main window's page that shows the scanner's rows
  PageScanFn scan;   // the scanner, headless; null: only the page scans
};

// Autorun entries, associations, services, browser extensions, helper
// objects, the settings of the other browsers, then the network settings: in
// this order.
const std::vector<HijackScanStep>& HijackScanSteps();

// Clears the list, then runs every step in order through runStep, which
// appends the step's flagged rows to the list.
void RunHijackScan(HijackList& list, const std::function<void(const HijackScanStep&)>& runStep);

// The whole scan without windows: the list gets the flagged rows, the
// result one item per row, in the same order.
std::vector<ScanItem> RunHeadlessHijackScan(const Judge& judge, HijackList& list);

}  // namespace wl
