// The pages of the main window by page index. A page not listed here shows
// as an empty page. Add a page with one line in MakePage and link its
// library into wl_app (app/CMakeLists.txt).
#include <memory>

#include "ui/page.h"
#include "autorun/startup_page.h"
#include "browser/browser_settings_page.h"
#include "browser/helper_object_page.h"
#include "browser/ie_extension_page.h"
#include "network/network_settings_page.h"
#include "network/port_page.h"
#include "network/sniffer_page.h"
#include "browser/other_browsers_page.h"
#include "process/process_page.h"
#include "scan/hijack_page.h"
#include "service/service_page.h"
#include "settings/association_page.h"
#include "settings/shell_extension_page.h"
#include "software/software_page.h"
#include "undo/backups_page.h"

namespace wl::app {

using ui::Page;
using ui::PageContext;

std::unique_ptr<Page> MakePage(int index, PageContext& context) {
  switch (index) {
    case 0:
      return std::make_unique<StartupPage>(context);
    case 1:
      return std::make_unique<ProcessPage>(context);
    case 2:
      return std::make_unique<ServicePage>(context);
    case 4:
      return std::make_unique<AssociationPage>(context);
    case 5:
      return std::make_unique<PortPage>(context);
    case 9:
      return std::make_unique<SnifferPage>(context);
    case 12:
      return std::make_unique<SoftwarePage>(context);
    case 14:
      return std::make_unique<ShellExtensionPage>(context);
    case 6:
      return std::make_unique<IeExtensionPage>(context);
    case 7:
      return std::make_unique<HelperObjectPage>(context);
    case 15:
      return std::make_unique<BrowserSettingsPage>(context);
    case 13:
      return std::make_unique<HijackPage>(context);
    case OtherBrowsersPage::kPageIndex:
      return std::make_unique<OtherBrowsersPage>(context);
    case 16:
      return std::make_unique<undo::BackupsPage>(context);
    case NetworkSettingsPage::kPageIndex:
      return std::make_unique<NetworkSettingsPage>(context);
    default:
      return nullptr;
  }
}

}  // namespace wl::app
