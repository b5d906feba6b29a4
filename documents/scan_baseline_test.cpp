#include "documents/scan_baseline.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

namespace wl {
namespace {

ScanItem Item(const std::string& name, const std::string& value, const std::string& verdict = "suspicious",
              const std::string& sha256 = "") {
  ScanItem item;
  item.id = "autorun/HKEY_CURRENT_USER\\Run\\" + name;
  item.page = "autorun";
  item.category = "Startup Item";
  item.item = name;
  item.index = "3";
  item.details = {{"name", name},           {"value", value},    {"analysis", "(Suspicious) " + verdict},
                  {"signer", "(Not signed)"}, {"verdict", verdict}, {"sha256", sha256}};
  item.judged = true;
  item.reasons = {"Not signed"};
  return item;
}

Baseline Read(const std::string& bytes) {
  Baseline baseline;
  std::string error;
  EXPECT_TRUE(ReadBaseline(bytes, baseline, error)) << error;
  return baseline;
}

std::string Error(const std::string& bytes) {
  Baseline baseline;
  std::string error;
  EXPECT_FALSE(ReadBaseline(bytes, baseline, error)) << bytes.substr(0, 200);
  EXPECT_TRUE(baseline.items.empty());
  return error;
}

TEST(ScanBaseline, OnlyWhatRunsAndHowItIsJudgedMakesAnItemChanged) {
  ScanHead head;
  head.computer = "GOLDEN";
  head.time = "2026-12-01T08:00:00Z";
  const std::vector<ScanItem> saved = {Item("kept", "C:\\a.exe"), Item("moved", "C:\\b.exe"),
                                       Item("hashed", "C:\\c.exe", "unknown", "aa"),
                                       Item("judged", "C:\\d.exe", "unknown"), Item("gone", "C:\\e.exe")};
  const Baseline baseline = Read(ScanJson(head, saved));
  EXPECT_EQ(baseline.computer, "GOLDEN");
  EXPECT_EQ(baseline.time, "2026-12-01T08:00:00Z");
  ASSERT_EQ(baseline.items.size(), 5u);

  std::vector<ScanItem> now = {Item("kept", "C:\\a.exe"), Item("moved", "C:\\b2.exe"),
                               Item("hashed", "C:\\c.exe", "unknown", "bb"), Item("judged", "C:\\d.exe", "malicious"),
                               Item("planted", "C:\\x.exe")};
  // The row number, the analysis's and the reasons' wording and the signer's
  // text move without the entry changing.
  now[0].index = "17";
  now[0].details[2].second = "(Suspicious) worded anew";
  now[0].details[3].second = "(Signer not trusted) X";
  now[0].reasons = {"Other words"};
  const BaselineComparison c = CompareWithBaseline(baseline, now);
  EXPECT_EQ(c.items, (std::vector<SinceBaseline>{SinceBaseline::Same, SinceBaseline::Changed, SinceBaseline::Changed,
                                                 SinceBaseline::Changed, SinceBaseline::New}));
  EXPECT_EQ(c.was[1], (std::vector<std::pair<std::string, std::string>>{{"value", "C:\\b.exe"}}));
  EXPECT_EQ(c.was[2], (std::vector<std::pair<std::string, std::string>>{{"sha256", "aa"}}));
  EXPECT_EQ(c.was[3], (std::vector<std::pair<std::string, std::string>>{{"verdict", "unknown"}}));
  EXPECT_EQ(c.newCount, 1u);
  EXPECT_EQ(c.changedCount, 3u);
  EXPECT_EQ(c.goneCount, 1u);
  EXPECT_EQ(BaselineSummary(c, "golden.json"), "1 new, 3 changed since golden.json");

  // The same scan again: nothing new.
  const BaselineComparison same = CompareWithBaseline(baseline, saved);
  EXPECT_EQ(same.newCount + same.changedCount + same.goneCount, 0u);
  EXPECT_TRUE(NewAndChangedItems(saved, same).empty());

  // A baseline cut down to the ids compares nothing but them.
  const BaselineComparison bare = CompareWithBaseline(
      Read(R"({"program":"Wardenlake","items":[{"id":"autorun/HKEY_CURRENT_USER\\Run\\moved","page":"autorun"}]})"),
      now);
  EXPECT_EQ(bare.items[1], SinceBaseline::Same);
  EXPECT_EQ(bare.newCount, 4u);
}

TEST(ScanBaseline, AnIdListedTwicePairsEqualEntriesFirst) {
  // A scheduled task with two actions of one name, say.
  const std::vector<ScanItem> saved = {Item("task", "C:\\one.exe"), Item("task", "C:\\two.exe")};
  const Baseline baseline = Read(ScanJson({}, saved));
  const auto c = CompareWithBaseline(baseline, {Item("task", "C:\\three.exe"), Item("task", "C:\\one.exe")});
  EXPECT_EQ(c.items, (std::vector<SinceBaseline>{SinceBaseline::Changed, SinceBaseline::Same}));
  EXPECT_EQ(c.was[0], (std::vector<std::pair<std::string, std::string>>{{"value", "C:\\two.exe"}}));
  const auto more =
      CompareWithBaseline(baseline, {Item("task", "C:\\two.exe"), Item("task", "C:\\one.exe"), Item("task", "C:\\4.exe")});
  EXPECT_EQ(more.items, (std::vector<SinceBaseline>{SinceBaseline::Same, SinceBaseline::Same, SinceBaseline::New}));
  EXPECT_EQ(more.goneCount, 0u);
}

TEST(ScanBaseline, NamesThatAreNotUtf8MatchTheirSavedSelves) {
  // The document replaces what is not UTF-8; the item scanned again has the raw bytes.
  const std::vector<ScanItem> saved = {Item("odd\xFF\xFEname", "C:\\\xE4.exe")};
  const auto c = CompareWithBaseline(Read(ScanJson({}, saved)), saved);
  EXPECT_EQ(c.items, std::vector<SinceBaseline>{SinceBaseline::Same});
}

TEST(ScanBaseline, TheOutputMarksEachItemAndCanBeFixedButIsNoBaseline) {
  const Baseline baseline = Read(ScanJson({}, {Item("a", "C:\\a.exe")}));
  const std::vector<ScanItem> now = {Item("a", "C:\\a2.exe"), Item("b", "C:\\b.exe"), Item("c", "C:\\a.exe")};
  const auto c = CompareWithBaseline(baseline, now);
  const auto items = NewAndChangedItems(now, c);
  ASSERT_EQ(items.size(), 3u);
  ScanHead head;
  head.baseline = ScanBaselineHead{"golden.json", "GOLDEN", "2026-12-01T08:00:00Z", 1, c.newCount, c.changedCount,
                                   c.goneCount};
  const std::string doc = ScanJson(head, items);
  const auto j = nlohmann::json::parse(doc);
  EXPECT_EQ(j["formatVersion"], kScanFormatVersion);
  EXPECT_EQ(j["baseline"], nlohmann::json::parse(R"({"file":"golden.json","computer":"GOLDEN",
      "time":"2026-12-01T08:00:00Z","count":1,"new":2,"changed":1,"gone":0})"));
  EXPECT_EQ(j["count"], 3);
  EXPECT_EQ(j["items"][0]["change"], "changed");
  EXPECT_EQ(j["items"][0]["was"], nlohmann::json({{"value", "C:\\a.exe"}}));
  EXPECT_EQ(j["items"][1]["change"], "new");
  EXPECT_FALSE(j["items"][1].contains("was"));

  // "wlscan fix" takes it as any scan document.
  std::vector<FixRequest> fix;
  std::string error;
  ASSERT_TRUE(ReadFixDocument(doc, fix, error)) << error;
  ASSERT_EQ(fix.size(), 3u);
  EXPECT_EQ(DifferenceSinceScan(fix[0], now[0]), "");
  // It lists only part of the items: as a baseline, every other one would be new.
  EXPECT_NE(Error(doc).find("another baseline"), std::string::npos);

  const std::string csv = ScanCsv(items);
  EXPECT_NE(csv.find(",reasons,change,changedFields\r\n"), std::string::npos) << csv;
  EXPECT_NE(csv.find(",Not signed,changed,value\r\n"), std::string::npos) << csv;
  EXPECT_NE(csv.find(",Not signed,new,\r\n"), std::string::npos) << csv;
}

TEST(ScanBaseline, ADocumentThatIsNoBaselineIsRefusedWithItsReason) {
  const std::string good = ScanJson({}, {Item("a", "C:\\a.exe"), Item("b", "C:\\b.exe")});
  const std::string head = R"({"program":"Wardenlake","formatVersion":1,)";
  const std::pair<std::string, std::string> cases[] = {
      {"", "not a JSON document"},
      {good.substr(0, good.size() / 2), "not a JSON document"},
      {"[]", "not a JSON object"},
      {R"({"page":"autorun","columns":[],"rows":[]})", "no \"program\""},  // a page listing
      {R"({"page":"autorun","items":[]})", "no \"program\""},              // a page's hijack rows
      {R"({"program":7,"items":[]})", "no \"program\""},
      {R"({"program":"Wardenlake","formatVersion":2,"items":[]})", "format 2; this wlscan reads format 1"},
      {R"({"program":"Wardenlake","formatVersion":"1","items":[]})", "not a whole number"},
      {R"({"program":"Wardenlake","formatVersion":1.5,"items":[]})", "not a whole number"},
      {head + R"("computer":[],"items":[]})", "\"computer\" is not a text"},
      {head + R"("items":{}})", "no \"items\" list"},
      {head + R"("items":[1]})", "item 1 is not an object"},
      {head + R"("items":[{"page":"autorun"}]})", "item 1 has no \"id\""},
      {head + R"("items":[{"id":"services/x","page":"autorun"}]})", "not of the page"},
      {head + R"("items":[{"id":"autorun/x","page":"autorun","sha256":null}]})", "\"sha256\" is not a text"},
      {head + R"("items":[{"id":"autorun/x","page":"autorun","index":3}]})", "\"index\" is not a text"},
      {head + R"("items":[{"id":"autorun/x","page":"autorun","reasons":"x"}]})", "not a list of texts"},
      {head + R"("items":[{"id":"autorun/x","page":"autorun","reasons":[1]}]})", "not a list of texts"},
      {std::string(kMaxBaselineBytes + 1, ' '), "too large"},
      {std::string(200000, '[') + std::string(200000, ']'), "not a JSON object"},
      {head + R"("items":[)" + std::string(100000, '{'), "not a JSON document"},
  };
  for (const auto& [bytes, reason] : cases) {
    const std::string error = Error(bytes);
    EXPECT_NE(error.find(reason), std::string::npos) << bytes.substr(0, 120) << " -> " << error;
  }
  // A document of a wlscan that wrote no version yet reads as the first.
  EXPECT_EQ(Read(R"({"program":"Wardenlake","items":[{"id":"autorun/x","page":"autorun","value":"v"}]})").items.size(),
            1u);
}

}  // namespace
}  // namespace wl
