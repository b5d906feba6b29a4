#include "console/hijack_scan.h"

#include "autorun/autorun_scan.h"
#include "browser/helper_objects.h"
#include "browser/ie_sweeper.h"
#include "browser/other_browsers_page_text.h"
#include "network/network_settings_scan.h"
#include "service/service_page_text.h"
#include "settings/settings_page_text.h"

namespace wl {

const std::vector<HijackScanStep>& HijackScanSteps() {
  static const std::vector<HijackScanStep> steps = {
      {"autorun", 0, &AutorunPageText},
      {"associations", 4, [](const Judge& judge) { return AssociationsPageText(judge.Tables()); }},
      {"services", 2, &ServicesPageText},
      {"ieext", 6, &IeExtensionsPageText},
      {"bho", 7, &HelperObjectsPageText},
      {"browsers", 11, [](const Judge& judge) { return OtherBrowsersPageText(judge.Tables()); }},
      {"network-settings", 17, &NetworkSettingsPageText},
  };
  return steps;
}

void RunHijackScan(HijackList& list, const std::function<void(const HijackScanStep&)>& runStep) {
  list.Clear();
  for (const HijackScanStep& step : HijackScanSteps()) runStep(step);
}

std::vector<ScanItem> RunHeadlessHijackScan(const Judge& judge, HijackList& list) {
  std::vector<ScanItem> items;
  const Judge::ScanScope scan(judge);  // one scan: nothing is looked up twice
  RunHijackScan(list, [&](const HijackScanStep& step) {
    if (!step.scan) return;
    const PageText text = step.scan(judge);
    list.Append(text.hijack);
    auto stepItems = ScanItems(step.page, text);
    items.insert(items.end(), std::make_move_iterator(stepItems.begin()), std::make_move_iterator(stepItems.end()));
  });
  return items;
}

}  // namespace wl
