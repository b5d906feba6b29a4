#include "app/help_topics.h"

namespace wl::app {

const std::vector<HelpTopic>& NavigationHelpTopics() {
  static const std::vector<HelpTopic> topics = {
      {"Status", "status.html"},
      {"Contact Us", "contact_us.html"},
      {"Spyware Immunize", "spyware_immunize.html"},
      {"Site Immunize", "site_immunize.html"},
      {"Autorun List", "autorun_list.html"},
      {"System Service", "system_service.html"},
      {"System Association", "system_association.html"},
      {"Shell Extensions", "shell_extensions.html"},
      {"Browser Settings", "browser_settings.html"},
      {"BHO/Browser ActiveX", "bho_browser_activex.html"},
      {"Browser Extensions", "browser_extensions.html"},
      {"Other Browsers", "other_browsers.html"},
      {"Network Settings", "network_settings.html"},
      {"Process Manager", "process_manager.html"},
      {"Uninstall Software", "uninstall_software.html"},
      {"Active Ports", "active_ports.html"},
      {"Net Sniffer", "net_sniffer.html"},
      {"Process Dictionary", "process_dictionary.html"},
      {"Backups", "backups.html"},
  };
  return topics;
}

const std::vector<HelpTopic>& SubjectHelpTopics() {
  static const std::vector<HelpTopic> topics = {
      {"Wardenlake Help", kHelpHomeTopic},
      {"Running as Administrator", "administrator.html"},
      {"Hijack Scan and Report", kHijackReportTopic},
      {"Verdicts", "verdicts.html"},
      {"Backups and Restore", "backups_and_restore.html"},
      {"wlscan, the Console Scanner", "wlscan.html"},
  };
  return topics;
}

std::string HelpTopicOf(std::string_view caption) {
  for (const HelpTopic& t : NavigationHelpTopics())
    if (caption == t.title) return t.file;
  return {};
}

std::string HelpViewerArgument(std::string_view helpFile, std::string_view topic) {
  return "\"" + std::string(helpFile) + "::/" + std::string(topic) + "\"";
}

}  // namespace wl::app
