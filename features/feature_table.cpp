#include "features/feature_table.h"

#include <algorithm>

#ifdef _WIN32
#include "autorun/autorun_scan.h"
#include "autorun/startup_page.h"
#include "browser/browser_settings.h"
#include "browser/browser_settings_page.h"
#include "browser/helper_object_page.h"
#include "browser/helper_objects.h"
#include "browser/ie_extension_page.h"
#include "browser/ie_sweeper.h"
#include "browser/other_browsers_page.h"
#include "browser/other_browsers_page_text.h"
#include "features/page_fixes.h"
#include "network/network_settings_page.h"
#include "network/network_settings_scan.h"
#include "network/port_page.h"
#include "network/port_table.h"
#include "network/sniffer_page.h"
#include "process/process_page.h"
#include "process/process_scan.h"
#include "scan/hijack_page.h"
#include "service/service_page.h"
#include "service/service_page_text.h"
#include "settings/association_page.h"
#include "settings/settings_page_text.h"
#include "settings/shell_extension_page.h"
#include "software/software_page.h"
#include "software/software_page_text.h"
#include "undo/backups_page.h"
#include "undo/undo_commands.h"
// The parts of a row that need Windows: its page, its scanner and its fix.
#define WL_ON_WINDOWS(...) __VA_ARGS__
#else
#define WL_ON_WINDOWS(...)
#endif

namespace wl {
namespace {

using ui::Glyph;
using enum NavigationAction;

#ifdef _WIN32
template <class P>
std::unique_ptr<ui::Page> Make(ui::PageContext& context) {
  return std::make_unique<P>(context);
}
#endif

// The groups of the navigation bar.
constexpr char kSummary[] = "Summary";
constexpr char kImmunize[] = "Immunize";
constexpr char kWardenlake[] = "Wardenlake";
constexpr char kTools[] = "Tools";

// In the order of the navigation bar, group by group.
constexpr Feature kFeatures[] = {
    {.name = kStatusPage, .group = kSummary, .caption = "Status", .hint = "View summary and status.",
     .glyph = Glyph::Status, .helpTopic = "status.html", .rightsNeededFor = "Immunizing the machine"},
    {.name = "contact-us", .group = kSummary, .caption = "Contact Us", .glyph = Glyph::Mail, .action = MailSupport,
     .helpTopic = "contact_us.html"},

    {.name = "spyware-immunize", .group = kImmunize, .caption = "Spyware Immunize",
     .hint = "Perform a scan task of your computer.", .glyph = Glyph::ShieldCheck, .action = SpywareImmunize,
     .helpTopic = "spyware_immunize.html"},
    {.name = "site-immunize", .group = kImmunize, .caption = "Site Immunize", .hint = "View scan report.",
     .glyph = Glyph::GlobeShield, .action = SiteImmunize, .helpTopic = "site_immunize.html"},

    {.name = "autorun", .group = kWardenlake, .caption = "Autorun List", .hint = "View/Manage the startup items.",
     .glyph = Glyph::Rocket, .action = ScanEmptyThenShow, .helpTopic = "autorun_list.html",
     .rightsNeededFor = "Removing autorun entries of all users and adding programs to them", .wlscanPage = true,
     .hijackScanStep = 1,
     WL_ON_WINDOWS(.makePage = Make<StartupPage>, .listing = AutorunPageText, .fix = AutorunFix)},
    {.name = "services", .group = kWardenlake, .caption = "System Service", .hint = "View/Manage system service.",
     .glyph = Glyph::Gear, .action = ShowThenScanEmpty, .helpTopic = "system_service.html",
     .rightsNeededFor = "Starting, stopping, changing and removing services", .wlscanPage = true,
     .hijackScanStep = 3,
     WL_ON_WINDOWS(.makePage = Make<ServicePage>, .listing = ServicesPageText, .fix = ServicesFix)},
    {.name = "associations", .group = kWardenlake, .caption = "System Association",
     .hint = "View/Fix system association.", .glyph = Glyph::Link, .action = ScanEmptyThenShow,
     .helpTopic = "system_association.html", .rightsNeededFor = "Repairing the file associations of the machine",
     .wlscanPage = true, .hijackScanStep = 2,
     WL_ON_WINDOWS(.makePage = Make<AssociationPage>,
                   .listing = [](const Judge& judge) { return AssociationsPageText(judge.Tables()); },
                   .fix = AssociationsFix)},
    {.name = "shellext", .group = kWardenlake, .caption = "Shell Extensions",
     .hint = "View/Fix the system shell extensions.", .glyph = Glyph::Menu, .action = ScanEmptyThenShow,
     .helpTopic = "shell_extensions.html", .rightsNeededFor = "Removing shell extensions", .wlscanPage = true,
     WL_ON_WINDOWS(.makePage = Make<ShellExtensionPage>,
                   .listing = [](const Judge& judge) { return ShellExtensionsPageText(judge.Tables()); })},
    {.name = "browser-settings", .group = kWardenlake, .caption = "Browser Settings",
     .hint = "Fix the browser settings.", .glyph = Glyph::GlobeGear, .action = ScanThenShow,
     .helpTopic = "browser_settings.html", .rightsNeededFor = "Changing the browser settings of all users",
     .wlscanPage = true,
     WL_ON_WINDOWS(.makePage = Make<BrowserSettingsPage>,
                   .listing = [](const Judge& judge) { return BrowserSettingsPageText(judge.Tables()); })},
    {.name = "bho", .group = kWardenlake, .caption = "BHO/Browser ActiveX",
     .hint = "View browser help objects and browser ActiveX controls.", .glyph = Glyph::Puzzle,
     .action = ScanEmptyThenShow, .helpTopic = "bho_browser_activex.html",
     .rightsNeededFor = "Disabling, enabling and removing helper objects and ActiveX controls", .wlscanPage = true,
     .hijackScanStep = 5,
     WL_ON_WINDOWS(.makePage = Make<HelperObjectPage>, .listing = HelperObjectsPageText, .fix = HelperObjectsFix)},
    {.name = "ieext", .group = kWardenlake, .caption = "Browser Extensions", .hint = "View browser extensions.",
     .glyph = Glyph::Toolbar, .action = ScanEmptyThenShow, .helpTopic = "browser_extensions.html",
     .rightsNeededFor = "Removing browser extensions of the machine", .wlscanPage = true, .hijackScanStep = 4,
     WL_ON_WINDOWS(.makePage = Make<IeExtensionPage>, .listing = IeExtensionsPageText, .fix = IeExtensionsFix)},
    {.name = "browsers", .group = kWardenlake, .caption = "Other Browsers",
     .hint = "View/Fix the settings and add-ons of Edge, Chrome, Firefox and other browsers.",
     .glyph = Glyph::GlobeGear, .action = ScanEmptyThenShow, .helpTopic = "other_browsers.html",
     .rightsNeededFor = "Removing browser policies, extension entries and shortcut switches of the machine",
     .wlscanPage = true, .hijackScanStep = 6,
     WL_ON_WINDOWS(.makePage = Make<OtherBrowsersPage>,
                   .listing = [](const Judge& judge) { return OtherBrowsersPageText(judge.Tables()); },
                   .fix = OtherBrowsersFix)},
    {.name = "network-settings", .group = kWardenlake, .caption = "Network Settings",
     .hint = "View/Fix the hosts file, proxies, proxy scripts and DNS servers.", .glyph = Glyph::Plug,
     .action = ScanEmptyThenShow, .helpTopic = "network_settings.html",
     .rightsNeededFor = "Repairing the hosts file, the machine's proxies and DNS servers, Winsock providers and root "
                        "certificates",
     .wlscanPage = true, .hijackScanStep = 7,
     WL_ON_WINDOWS(.makePage = Make<NetworkSettingsPage>, .listing = NetworkSettingsPageText,
                   .fix = NetworkSettingsFix)},

    {.name = "processes", .group = kTools, .caption = "Process Manager", .hint = "Manage the running process.",
     .glyph = Glyph::Window, .action = ScanEmptyThenShow, .helpTopic = "process_manager.html",
     .rightsNeededFor = "Ending processes of other users and of the system", .wlscanPage = true,
     WL_ON_WINDOWS(.makePage = Make<ProcessPage>, .listing = ProcessPageText)},
    {.name = "software", .group = kTools, .caption = "Uninstall Software", .hint = "Uninstall or log-on software.",
     .glyph = Glyph::Package, .action = ScanEmptyThenShow, .helpTopic = "uninstall_software.html",
     .rightsNeededFor = "Running most uninstallers and removing installation entries", .wlscanPage = true,
     WL_ON_WINDOWS(.makePage = Make<SoftwarePage>,
                   .listing = [](const Judge& judge) { return SoftwarePageText(judge.Tables()); })},
    {.name = "ports", .group = kTools, .caption = "Active Ports", .hint = "View active ports.", .glyph = Glyph::Plug,
     .action = ScanEmptyThenShow, .helpTopic = "active_ports.html", .wlscanPage = true,
     WL_ON_WINDOWS(.makePage = Make<PortPage>,
                   .listing = [](const Judge& judge) { return PortsPageText(judge.Tables()); })},
    {.name = "sniffer", .group = kTools, .caption = "Net Sniffer", .hint = "Capture internet data packge.",
     .glyph = Glyph::Wave, .helpTopic = "net_sniffer.html", .rightsNeededFor = "Capturing network packets",
     WL_ON_WINDOWS(.makePage = Make<SnifferPage>)},
    {.name = "process-dictionary", .group = kTools, .caption = "Process Dictionary",
     .hint = "Look up a process from Process Dictionary.(F3)", .glyph = Glyph::Book, .action = ProcessDictionary,
     .helpTopic = "process_dictionary.html"},
    {.name = "backups", .group = kTools, .caption = "Backups", .hint = "View and restore the backups of every change.",
     .glyph = Glyph::Save, .action = ScanEmptyThenShow, .helpTopic = "backups.html", .wlscanPage = true,
     WL_ON_WINDOWS(.makePage = Make<undo::BackupsPage>,
                   .listing = [](const Judge& judge) { return undo::BackupsPageText(judge.Tables()); })},

    // Shown by the hijack scan; no navigation item leads to it.
    {.name = kHijackReportPage, .helpTopic = "hijack_scan.html", WL_ON_WINDOWS(.makePage = Make<HijackPage>)},
};

// What the rows must keep to, checked as the program is compiled.
constexpr bool RowsKeepTheirRules() {
  int steps = 0;
  for (const Feature& f : kFeatures) {
    if (f.helpTopic == nullptr) return false;
    if (f.hijackScanStep > 0 && !f.wlscanPage) return false;  // the scan's items carry a wlscan page name
    steps += f.hijackScanStep > 0;
    for (const Feature& g : kFeatures) {
      if (&f != &g && std::string_view(f.name) == g.name) return false;
      // The scan's places are 1, 2 … without a gap or a twin.
      if (&f != &g && f.hijackScanStep > 0 && f.hijackScanStep == g.hijackScanStep) return false;
    }
#ifdef _WIN32
    if (f.wlscanPage != (f.listing != nullptr)) return false;
    if (f.fix && f.hijackScanStep == 0) return false;  // "wlscan fix" reads scan documents
    // A notice stands above a page.
    if (f.rightsNeededFor && !f.makePage && std::string_view(f.name) != kStatusPage) return false;
#endif
  }
  for (const Feature& f : kFeatures)
    if (f.hijackScanStep > steps) return false;
  // Each group's items stand together.
  for (std::size_t i = 0; i < std::size(kFeatures); ++i)
    for (std::size_t j = i + 2; j < std::size(kFeatures); ++j)
      if (kFeatures[i].group && kFeatures[j].group && std::string_view(kFeatures[i].group) == kFeatures[j].group &&
          std::string_view(kFeatures[i + 1].group ? kFeatures[i + 1].group : "") != kFeatures[i].group)
        return false;
  return true;
}
static_assert(RowsKeepTheirRules());

}  // namespace

std::span<const Feature> Features() { return kFeatures; }

const Feature* FindFeature(std::string_view name) {
  for (const Feature& f : kFeatures)
    if (name == f.name) return &f;
  return nullptr;
}

const std::vector<const Feature*>& HijackScanSteps() {
  static const std::vector<const Feature*> steps = [] {
    std::vector<const Feature*> v;
    for (const Feature& f : kFeatures)
      if (f.hijackScanStep > 0) v.push_back(&f);
    std::ranges::sort(v, {}, &Feature::hijackScanStep);
    return v;
  }();
  return steps;
}

}  // namespace wl
