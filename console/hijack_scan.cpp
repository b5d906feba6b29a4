#include "console/hijack_scan.h"

namespace wl {

void RunHijackScan(HijackList& list, const std::function<void(const Feature&)>& runStep) {
  list.Clear();
  for (const Feature* step : HijackScanSteps()) runStep(*step);
}

std::vector<ScanItem> RunHeadlessHijackScan(const Judge& judge, HijackList& list) {
  std::vector<ScanItem> items;
  const Judge::ScanScope scan(judge);  // one scan: nothing is looked up twice
  RunHijackScan(list, [&](const Feature& step) {
    const PageText text = step.listing(judge);
    list.Append(text.hijack);
    auto stepItems = ScanItems(step.name, text);
    items.insert(items.end(), std::make_move_iterator(stepItems.begin()), std::make_move_iterator(stepItems.end()));
  });
  return items;
}

}  // namespace wl
