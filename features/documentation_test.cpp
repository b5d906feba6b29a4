// The documentation says what the feature table says: the pages wlscan
// lists and the steps of the hijack scan in the README and in the help
// file's pages, and what needs administrative rights on which page.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <algorithm>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "features/feature_table.h"

namespace wl {
namespace {

using ::testing::ElementsAreArray;
using ::testing::UnorderedElementsAreArray;

std::string SourceFile(const std::string& path) {
  std::ifstream in(std::string(WL_SOURCE_DIR) + "/" + path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The paragraph (up to the next blank line) that begins with opening; empty
// when there is none.
std::string Paragraph(const std::string& text, const std::string& opening) {
  std::size_t at = text.find("\n" + opening);
  if (at == std::string::npos) return {};
  ++at;
  const std::size_t end = text.find("\n\n", at);
  return text.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

// The texts between each open and the close after it, in order.
std::vector<std::string> Spans(const std::string& text, const std::string& open, const std::string& close) {
  std::vector<std::string> spans;
  for (std::size_t at = text.find(open); at != std::string::npos; at = text.find(open, at)) {
    at += open.size();
    const std::size_t end = text.find(close, at);
    if (end == std::string::npos) break;
    spans.push_back(text.substr(at, end - at));
    at = end + close.size();
  }
  return spans;
}

std::vector<std::string> WlscanPages() {
  std::vector<std::string> names;
  for (const Feature& f : Features())
    if (f.wlscanPage) names.emplace_back(f.name);
  return names;
}

TEST(Documentation, TheReadmeListsWlscansPagesAndTheHijackScansSteps) {
  const std::string readme = SourceFile("README.md");
  ASSERT_FALSE(readme.empty());
  const std::string pages = Paragraph(readme, "Pages: ");
  ASSERT_FALSE(pages.empty()) << "no paragraph \"Pages: \" in the README";
  // Each page by its name in backquotes; the explanations in brackets name none.
  EXPECT_THAT(Spans(pages, "`", "`"), UnorderedElementsAreArray(WlscanPages()));

  const std::string scan = Paragraph(readme, "`wlscan scan` runs the scanners");
  ASSERT_FALSE(scan.empty()) << "no paragraph on what \"wlscan scan\" runs in the README";
  std::vector<std::string> steps;
  for (const Feature* step : HijackScanSteps()) steps.emplace_back(step->name);
  std::vector<std::string> named = Spans(scan.substr(scan.find("order")), "`", "`");
  named.resize(std::min(named.size(), steps.size()));
  EXPECT_THAT(named, ElementsAreArray(steps));
}

TEST(Documentation, TheHelpFileListsWlscansPagesAndTheHijackScansSteps) {
  const std::string wlscan = SourceFile("help/wlscan.html");
  const std::vector<std::string> paragraph = Spans(wlscan, "<p>Pages: ", "</p>");
  ASSERT_EQ(paragraph.size(), 1u) << "no paragraph \"Pages: \" in help/wlscan.html";
  const std::string& pages = paragraph[0];
  EXPECT_THAT(Spans(pages, "<code>", "</code>"), UnorderedElementsAreArray(WlscanPages()));

  // The first paragraph names the page of each step, in the scan's order,
  // after the page the scan starts from.
  const std::string scan = SourceFile("help/hijack_scan.html");
  const std::string first = Spans(scan, "<p>", "</p>").at(0);
  std::vector<std::string> linked = Spans(first, "href=\"", "\"");
  ASSERT_FALSE(linked.empty());
  EXPECT_EQ(linked.front(), FindFeature(kStatusPage)->helpTopic);
  linked.erase(linked.begin());
  std::vector<std::string> topics;
  for (const Feature* step : HijackScanSteps()) topics.emplace_back(step->helpTopic);
  EXPECT_THAT(linked, ElementsAreArray(topics));
}

TEST(Documentation, TheHelpFileSaysWhatNeedsAdministrativeRightsOnEachPage) {
  const std::string page = SourceFile("help/administrator.html");
  // Each line of the table: the topics it links, the text beside them.
  std::map<std::string, std::string> needs;
  for (const std::string& row : Spans(page, "<tr><td>", "</td></tr>")) {
    const std::size_t split = row.find("</td><td>");
    ASSERT_NE(split, std::string::npos) << row;
    for (const std::string& topic : Spans(row.substr(0, split), "href=\"", "\""))
      needs[topic] = row.substr(split + 9);
  }
  ASSERT_FALSE(needs.empty()) << "no table of what needs the rights in help/administrator.html";
  for (const Feature& f : Features()) {
    SCOPED_TRACE(f.name);
    const bool dialog = f.action == NavigationAction::SpywareImmunize || f.action == NavigationAction::SiteImmunize;
    const auto said = needs.find(f.helpTopic);
    if (f.rightsNeededFor) {
      ASSERT_NE(said, needs.end()) << "the help file does not say that " << f.rightsNeededFor << " needs the rights";
      EXPECT_EQ(said->second, f.rightsNeededFor);
    } else if (!dialog) {
      EXPECT_EQ(said, needs.end()) << "the help file says the page needs the rights; the program does not";
    }
  }
}

}  // namespace
}  // namespace wl
