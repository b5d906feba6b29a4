// The topics of the help file "Qvor.chm" (built from help/): one for each
// item of the navigation bar, titled with the item's caption (the feature
// table names it), and the subjects that no item names. F1 opens the topic
// of what is in view. Portable: the help file's test reads it too.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace wl::app {

inline constexpr char kHelpFileName[] = "Qvor.chm";
// The help viewer of the system, in the Windows folder.
inline constexpr char kHelpViewer[] = "hh.exe";
// The first topic: what the program is and how to begin.
inline constexpr char kHelpHomeTopic[] = "index.html";

struct HelpTopic {
  const char* title;  // a navigation item's caption, or the subject
  const char* file;   // the topic's page in the help file
};

// The topics of the navigation bar's items, in the bar's order.
std::vector<HelpTopic> NavigationHelpTopics();
// The topics of the subjects that span pages (the hijack scan, verdicts,
// backups, wlscan, administrative rights), the home topic first.
const std::vector<HelpTopic>& SubjectHelpTopics();
// The page of the navigation item captioned caption; empty when it has none.
std::string HelpTopicOf(std::string_view caption);
// The argument that makes the help viewer open topic of the help file at
// helpFile: the file, "::/" and the topic, in quotes.
std::string HelpViewerArgument(std::string_view helpFile, std::string_view topic);

}  // namespace wl::app
