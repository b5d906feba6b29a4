// The pages the console scanner can print. Each subsystem provides a
// PageText function for its page; add it here.
#include "autorun/autorun_scan.h"
#include "browser/other_browsers_page_text.h"
#include "browser/browser_settings.h"
#include "browser/helper_objects.h"
#include "browser/ie_sweeper.h"
#include "network/network_settings_scan.h"
#include "network/port_table.h"
#include "process/process_scan.h"
#include "console/page_scans.h"
#include "service/service_page_text.h"
#include "settings/settings_page_text.h"
#include "software/software_page_text.h"
#include "undo/undo_commands.h"

namespace wl {

const std::vector<PageScanEntry>& PageScans() {
  static const std::vector<PageScanEntry> pages = {
      {"autorun", &AutorunPageText},
      {"processes", &ProcessPageText},
      {"services", &ServicesPageText},
      {"associations", [](const Judge& judge) { return AssociationsPageText(judge.Tables()); }},
      {"shellext", [](const Judge& judge) { return ShellExtensionsPageText(judge.Tables()); }},
      {"software", [](const Judge& judge) { return SoftwarePageText(judge.Tables()); }},
      {"backups", [](const Judge& judge) { return undo::BackupsPageText(judge.Tables()); }},
      {"ieext", &IeExtensionsPageText},
      {"bho", &HelperObjectsPageText},
      {"browser-settings", [](const Judge& judge) { return BrowserSettingsPageText(judge.Tables()); }},
      {"ports", [](const Judge& judge) { return PortsPageText(judge.Tables()); }},
      {"browsers", [](const Judge& judge) { return OtherBrowsersPageText(judge.Tables()); }},
      {"network-settings", &NetworkSettingsPageText},
  };
  return pages;
}

}  // namespace wl
