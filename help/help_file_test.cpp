// The compiled help file read back as the help viewer reads it (chmlib): a
// topic titled with every navigation item's caption and every subject, a
// contents and an index whose entries and links all lead to pages of the
// file, and the texts the program shows (verdicts, report categories)
// explained where a user looks them up.
#include <chm_lib.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/help_topics.h"
#include "autorun/autorun_rules.h"
#include "features/feature_table.h"
#include "browser/browser_rules.h"
#include "judge/judge.h"
#include "browser/other_browsers_rules.h"
#include "immunize/immunity_rules.h"
#include "refdb/reference_tables.h"
#include "service/service_scan.h"
#include "settings/association_scan.h"
#include "settings/shell_extension_rules.h"

namespace wl::app {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Pair;

class HelpFile {
 public:
  explicit HelpFile(const std::string& path) : file_(chm_open(path.c_str())) {}
  bool IsOpen() const { return file_ != nullptr; }

  // The stored file at path ("/status.html"); nullopt when there is none.
  std::optional<std::string> Read(const std::string& path) const {
    chmUnitInfo unit{};
    if (chm_resolve_object(file_.get(), path.c_str(), &unit) != CHM_RESOLVE_SUCCESS) return std::nullopt;
    std::string bytes(static_cast<std::size_t>(unit.length), '\0');
    if (unit.length > 0 &&
        chm_retrieve_object(file_.get(), &unit, reinterpret_cast<unsigned char*>(bytes.data()), 0,
                            static_cast<LONGINT64>(unit.length)) != static_cast<LONGINT64>(unit.length))
      return std::nullopt;
    return bytes;
  }

  // The names of the stored pages (the normal files, not the viewer's own).
  std::vector<std::string> Pages() const {
    std::vector<std::string> names;
    chm_enumerate(
        file_.get(), CHM_ENUMERATE_NORMAL | CHM_ENUMERATE_FILES,
        [](chmFile*, chmUnitInfo* unit, void* context) {
          static_cast<std::vector<std::string>*>(context)->push_back(unit->path);
          return CHM_ENUMERATOR_CONTINUE;
        },
        &names);
    return names;
  }

 private:
  struct Close {
    void operator()(chmFile* f) const { chm_close(f); }
  };
  std::unique_ptr<chmFile, Close> file_;
};

// The text a reader sees: tags taken out, the few entities the pages use
// read, runs of white space made one blank.
std::string VisibleText(const std::string& page) {
  static const std::pair<const char*, char> kEntities[] = {
      {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&nbsp;", ' '}, {"&amp;", '&'}};
  std::string text;
  bool inTag = false;
  for (std::size_t i = 0; i < page.size(); ++i) {
    const char c = page[i];
    char out = c;
    if (inTag) {
      inTag = c != '>';
      continue;
    }
    if (c == '<') {
      inTag = true;
      out = ' ';
    } else if (c == '&') {
      for (const auto& [entity, ch] : kEntities)
        if (page.compare(i, std::strlen(entity), entity) == 0) {
          out = ch;
          i += std::strlen(entity) - 1;
          break;
        }
    }
    if (std::isspace(static_cast<unsigned char>(out))) {
      if (!text.empty() && text.back() != ' ') text += ' ';
    } else {
      text += out;
    }
  }
  return text;
}

std::string Between(const std::string& text, const std::string& open, const std::string& close,
                    std::size_t from = 0) {
  const auto start = text.find(open, from);
  if (start == std::string::npos) return {};
  const auto end = text.find(close, start + open.size());
  return end == std::string::npos ? std::string() : text.substr(start + open.size(), end - start - open.size());
}

// The value of a sitemap object's parameter ("Name", "Local"); empty when
// it has none.
std::string Param(const std::string& object, const std::string& name) {
  return Between(object, "<param name=\"" + name + "\" value=\"", "\"");
}

// The entries of a contents (.hhc) or index (.hhk) file: name, page.
std::vector<std::pair<std::string, std::string>> SitemapEntries(const std::string& sitemap) {
  std::vector<std::pair<std::string, std::string>> entries;
  const std::string open = "<OBJECT type=\"text/sitemap\">";
  for (auto at = sitemap.find(open); at != std::string::npos; at = sitemap.find(open, at + open.size())) {
    const std::string object = Between(sitemap, open, "</OBJECT>", at);
    entries.emplace_back(Param(object, "Name"), Param(object, "Local"));
  }
  return entries;
}

// The local targets of a page's links and pictures (no web or mail
// addresses), without their anchors.
std::vector<std::string> LinkTargets(const std::string& page) {
  std::vector<std::string> targets;
  for (const std::string attribute : {"href=\"", "src=\""}) {
    for (auto at = page.find(attribute); at != std::string::npos; at = page.find(attribute, at + 1)) {
      std::string target = Between(page, attribute, "\"", at);
      if (target.find(':') != std::string::npos) continue;
      target = target.substr(0, target.find('#'));
      if (!target.empty()) targets.push_back(target);
    }
  }
  return targets;
}

class HelpFileTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(help_.IsOpen()) << WL_HELP_FILE << " is not a compiled help file"; }

  std::string Page(const std::string& file) const { return help_.Read("/" + file).value_or(""); }

  HelpFile help_{WL_HELP_FILE};
};

TEST_F(HelpFileTest, EveryNavigationItemAndSubjectHasItsOwnTopic) {
  const auto contents = SitemapEntries(Page("toc.hhc"));
  const auto index = SitemapEntries(Page("index.hhk"));
  std::set<std::string> files;
  std::vector<HelpTopic> topics = NavigationHelpTopics();
  for (const HelpTopic& t : SubjectHelpTopics()) topics.push_back(t);
  for (const HelpTopic& t : topics) {
    SCOPED_TRACE(t.title);
    EXPECT_TRUE(files.insert(t.file).second) << t.file << " serves two topics";
    const std::string page = Page(t.file);
    ASSERT_FALSE(page.empty()) << t.file << " is not in the help file";
    EXPECT_EQ(Between(page, "<title>", "</title>"), t.title);
    EXPECT_EQ(Between(page, "<h1>", "</h1>"), t.title);
    EXPECT_THAT(contents, Contains(Pair(t.title, t.file)));
  }
  for (const HelpTopic& t : NavigationHelpTopics()) EXPECT_THAT(index, Contains(Pair(t.title, t.file)));
  // The items in the order of the navigation bar, F1's way in included.
  EXPECT_EQ(HelpTopicOf("Autorun List"), "autorun_list.html");
  EXPECT_EQ(HelpTopicOf("Backups"), "backups.html");
  EXPECT_EQ(HelpTopicOf("Hijack"), "");
  EXPECT_EQ(HelpViewerArgument("C:\\Program Files\\Wardenlake\\Qvor.chm", "status.html"),
            "\"C:\\Program Files\\Wardenlake\\Qvor.chm::/status.html\"");
}

TEST_F(HelpFileTest, ContentsIndexAndLinksLeadToPagesOfTheFile) {
  std::set<std::string> stored;
  for (const std::string& name : help_.Pages()) stored.insert(name);
  ASSERT_TRUE(stored.count("/" + std::string(kHelpHomeTopic)));
  std::set<std::string> inContents;
  for (const auto& [name, local] : SitemapEntries(Page("toc.hhc"))) {
    EXPECT_FALSE(name.empty());
    if (local.empty()) continue;  // a book of the contents
    EXPECT_TRUE(stored.count("/" + local)) << "the contents' " << name << " leads to a missing " << local;
    inContents.insert("/" + local);
  }
  for (const auto& [name, local] : SitemapEntries(Page("index.hhk")))
    EXPECT_TRUE(stored.count("/" + local)) << "the index's " << name << " leads to a missing " << local;
  int pages = 0;
  for (const std::string& name : stored) {
    if (!name.ends_with(".html")) continue;
    ++pages;
    EXPECT_TRUE(inContents.count(name)) << name << " is not in the contents";
    const std::string page = *help_.Read(name);
    for (const std::string& target : LinkTargets(page))
      EXPECT_TRUE(stored.count("/" + target)) << name << " links to a missing " << target;
  }
  EXPECT_EQ(pages, static_cast<int>(NavigationHelpTopics().size() + SubjectHelpTopics().size()));
}

TEST_F(HelpFileTest, TheVerdictsAndCategoriesTheProgramShowsAreExplained) {
  // The verdicts of the reference tables, as the lookups make them.
  const StringTable table = StringTable::FromText("a=@x\nb=$x\nc=#x\nd=%x\n");
  std::vector<std::string> verdicts;
  for (const char* key : {"a", "b", "c", "d", "none"}) {
    std::string verdict = LookupVerdict(key, table);
    verdicts.push_back(verdict.substr(0, verdict.find(')') + 1));
  }
  EXPECT_EQ(verdicts.back(), "(Unknown)");
  // The file verdicts of services and modules.
  verdicts.insert(verdicts.end(), {"Windows System File", "Distrustful File"});
  // The judge's verdicts, file verdicts and signer texts.
  for (Verdict v : {Verdict::Trusted, Verdict::Unknown, Verdict::Suspicious, Verdict::Malicious}) {
    Judgement j;
    j.verdict = v;
    const std::string text = VerdictText(j);
    verdicts.push_back(text.substr(0, text.find(')') + 1));
    const std::string file = FileVerdictText(j);
    verdicts.push_back(file.substr(0, file.find(':')));
    verdicts.push_back(VerdictName(v));
  }
  for (SignatureState state : {SignatureState::Verified, SignatureState::NotSigned, SignatureState::Broken,
                               SignatureState::Untrusted, SignatureState::Unreadable}) {
    Judgement j;
    j.fileFound = true;
    j.signature.state = state;
    const std::string text = SignerText(j);
    verdicts.push_back(text.substr(0, text.find(')') + 1));
  }
  Judgement missing;
  missing.signature.state = SignatureState::NotSigned;
  verdicts.push_back(SignerText(missing));
  for (auto v : {AssociationVerdict::AllRight, AssociationVerdict::Distrustful, AssociationVerdict::OwnVerdict})
    verdicts.push_back(AssociationVerdictText(v));
  verdicts.insert(verdicts.end(), {kNormalSetting, kDistrustfulSetting, kUnreadableFile});
  verdicts.insert(verdicts.end(), {ImmunityWord(true), ImmunityWord(false)});
  // The reasons that say where a file is and what it is.
  verdicts.insert(verdicts.end(), {WrittenElsewhereReason(PlaceKind::Windows, ""), StreamReason(""),
                                   RenamedReason("signtool.exe", "svchost.exe"), HostCopyReason("powershell.exe", "upd.exe"),
                                   kUserRootReason});
  std::string mark = kDefaultSettingMark;
  verdicts.push_back(mark.substr(mark.find('(')));

  const std::string explained = VisibleText(Page("verdicts.html"));
  for (const std::string& v : verdicts) EXPECT_THAT(explained, HasSubstr(v));
  EXPECT_THAT(VisibleText(Page("shell_extensions.html")), HasSubstr(mark.substr(mark.find('('))));
  for (const char* v : {"Windows System File", "Distrustful File"})
    EXPECT_THAT(VisibleText(Page("system_service.html")), HasSubstr(v));

  // The report's categories, each with the page it comes from.
  const std::string report = VisibleText(Page(FindFeature(kHijackReportPage)->helpTopic));
  for (const char* category : {kStartupItem, kSystemAssociationCategory, kSystemServiceCategory, kIeExtendPopupMenu,
                               kIeToolBar, kIeToolButton, kBrowserHelpObject, kBrowserSettingCategory})
    EXPECT_THAT(report, HasSubstr(category));
  // The helper objects' types.
  const std::string helpers = VisibleText(Page(HelpTopicOf("BHO/Browser ActiveX")));
  for (const char* type : {kBrowserHelpObject, kIeActiveXControl, kIeAssistantActiveX, kIeExtensionProgram})
    EXPECT_THAT(helpers, HasSubstr(type));
}

}  // namespace
}  // namespace wl::app
