#include "app/help_topics.h"

#include "features/feature_table.h"

namespace wl::app {

std::vector<HelpTopic> NavigationHelpTopics() {
  std::vector<HelpTopic> topics;
  for (const Feature& f : Features())
    if (f.group) topics.push_back({f.caption, f.helpTopic});
  return topics;
}

const std::vector<HelpTopic>& SubjectHelpTopics() {
  static const std::vector<HelpTopic> topics = {
      {"Wardenlake Help", kHelpHomeTopic},
      {"Running as Administrator", "administrator.html"},
      {"Hijack Scan and Report", FindFeature(kHijackReportPage)->helpTopic},
      {"Verdicts", "verdicts.html"},
      {"Backups and Restore", "backups_and_restore.html"},
      {"wlscan, the Console Scanner", "wlscan.html"},
  };
  return topics;
}

std::string HelpTopicOf(std::string_view caption) {
  for (const Feature& f : Features())
    if (f.group && caption == f.caption) return f.helpTopic;
  return {};
}

std::string HelpViewerArgument(std::string_view helpFile, std::string_view topic) {
  return "\"" + std::string(helpFile) + "::/" + std::string(topic) + "\"";
}

}  // namespace wl::app
