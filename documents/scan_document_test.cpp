#include "documents/scan_document.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

namespace wl {
namespace {

PageText AutorunLike() {
  PageText t;
  t.header = {"Item Name", "Value", "Registry Key", "Analysis"};
  t.keys = {"name", "value", "registryKey", "verdict"};
  t.rows = {{"Good", "C:\\good.exe", "HKEY_CURRENT_USER\\Run\\", "(General Software) x"},
            {"Bad, \"quoted\"\r\nname", "C:\\bad.exe -x", "HKEY_CURRENT_USER\\Run\\", "(Unknown)"}};
  HijackRow flagged;
  flagged.itemName = t.rows[1][0];
  flagged.description = "Startup Item";
  flagged.index = 1;
  flagged.entryKey = "HKEY_CURRENT_USER\\Run\\" + t.rows[1][0];
  t.hijack = {flagged};
  return t;
}

TEST(ScanDocument, JsonItemsCarryIdAndTheirPageRow) {
  const auto items = ScanItems("autorun", AutorunLike());
  ScanHead head;
  head.programVersion = "v1.20";
  head.databaseUpdated = "2026-12-01";
  head.computer = "PC-1";
  head.windows = "Windows 10";
  head.windowsVersion = "10.0.19045";
  head.time = "2026-12-07T12:00:00Z";
  const auto j = nlohmann::json::parse(ScanJson(head, items));
  EXPECT_EQ(j["program"], "Wardenlake");
  EXPECT_EQ(j["programVersion"], "v1.20");
  EXPECT_EQ(j["database"]["updated"], "2026-12-01");
  EXPECT_EQ(j["computer"], "PC-1");
  EXPECT_EQ(j["windows"]["name"], "Windows 10");
  EXPECT_EQ(j["windows"]["version"], "10.0.19045");
  EXPECT_EQ(j["time"], "2026-12-07T12:00:00Z");
  EXPECT_EQ(j["count"], 1);
  ASSERT_EQ(j["items"].size(), 1u);
  const auto& item = j["items"][0];
  EXPECT_EQ(item["id"], "autorun/HKEY_CURRENT_USER\\Run\\Bad, \"quoted\"\r\nname");
  EXPECT_EQ(item["page"], "autorun");
  EXPECT_EQ(item["category"], "Startup Item");
  EXPECT_EQ(item["item"], "Bad, \"quoted\"\r\nname");
  EXPECT_EQ(item["index"], "1");
  EXPECT_EQ(item["value"], "C:\\bad.exe -x");
  EXPECT_EQ(item["registryKey"], "HKEY_CURRENT_USER\\Run\\");
  EXPECT_EQ(item["verdict"], "(Unknown)");
  EXPECT_EQ(item["name"], "Bad, \"quoted\"\r\nname");
}

TEST(ScanDocument, CsvRecordsSurviveCommasQuotesAndLineBreaks) {
  const std::string csv = ScanCsv(ScanItems("autorun", AutorunLike()));
  EXPECT_EQ(csv,
            "id,page,category,item,index,name,value,registryKey,verdict\r\n"
            "\"autorun/HKEY_CURRENT_USER\\Run\\Bad, \"\"quoted\"\"\r\nname\",autorun,Startup Item,"
            "\"Bad, \"\"quoted\"\"\r\nname\",1,\"Bad, \"\"quoted\"\"\r\nname\",C:\\bad.exe -x,HKEY_CURRENT_USER\\Run\\,"
            "(Unknown)\r\n");
  EXPECT_EQ(ScanCsv({}), "id,page,category,item,index\r\n");
}

TEST(ScanDocument, PagesWithoutKeysGetKeysFromTheirTitles) {
  PageText t;
  t.header = {"Toolbar Name", "CLSID", "Index", "Toolbar Name"};
  t.rows = {{"Bar", "{1}", "7", "x"}, {"Other", "{2}", "8", "y"}};
  HijackRow h;
  h.itemName = "Other";
  h.description = "IE ToolBar";
  h.index = 0;  // not the row number: found by its caption
  h.indexKey = "{2}";
  t.hijack = {h};
  EXPECT_EQ(ColumnKeys(t), (std::vector<std::string>{"toolbarName", "clsid", "index", "toolbarName4"}));
  const auto items = ScanItems("ieext", t);
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].id, "ieext/{2}");
  EXPECT_EQ(items[0].index, "{2}");
  const auto j = nlohmann::json::parse(ScanJson({}, items));
  EXPECT_EQ(j["items"][0]["clsid"], "{2}");
  EXPECT_EQ(j["items"][0]["rowIndex"], "8");  // a column named like an item field keeps its own key
  EXPECT_EQ(j["items"][0]["index"], "{2}");

  const auto page = nlohmann::json::parse(PageJson("ieext", t));
  EXPECT_EQ(page["columns"][1]["key"], "clsid");
  EXPECT_EQ(page["columns"][1]["title"], "CLSID");
  EXPECT_EQ(page["rows"][1]["toolbarName"], "Other");
  EXPECT_EQ(page["rows"][1]["toolbarName4"], "y");
}

TEST(ScanDocument, UnknownRowsAndBadTextStillGiveADocument) {
  PageText t;
  t.header = {"Service"};
  HijackRow h;
  h.itemName = "gone\xFF\xFE";
  h.description = "System Service";
  h.index = -1;
  t.hijack = {h};
  const auto items = ScanItems("services", t);
  ASSERT_EQ(items.size(), 1u);
  EXPECT_TRUE(items[0].details.empty());
  EXPECT_EQ(items[0].index, "");
  const auto j = nlohmann::json::parse(ScanJson({}, items));  // the bytes that are not UTF-8 are replaced
  EXPECT_EQ(j["items"][0]["item"], "gone\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(nlohmann::json::parse(PageItemsJson("services", items))["items"][0]["category"], "System Service");
}

TEST(ScanDocument, FixDocumentIsReadWholeOrRefused) {
  const auto items = ScanItems("autorun", AutorunLike());
  std::vector<FixRequest> read;
  std::string error;
  ASSERT_TRUE(ReadFixDocument(ScanJson({}, items), read, error)) << error;
  ASSERT_EQ(read.size(), 1u);
  EXPECT_EQ(read[0].id, items[0].id);
  EXPECT_EQ(read[0].page, "autorun");
  EXPECT_EQ(DifferenceSinceScan(read[0], items[0]), "");

  // What changed is named; what the document was cut down to is all that counts.
  ScanItem now = items[0];
  now.details[1].second = "C:\\other.exe";
  EXPECT_EQ(DifferenceSinceScan(read[0], now), "value was \"C:\\bad.exe -x\", now \"C:\\other.exe\"");
  now.details.pop_back();
  EXPECT_EQ(DifferenceSinceScan(read[0], now).substr(0, 8), "value wa");
  ASSERT_TRUE(ReadFixDocument(R"({"items":[{"id":"autorun/x","page":"autorun","index":7}]})", read, error));
  EXPECT_EQ(DifferenceSinceScan(read[0], now), "");

  // Invalid UTF-8 in a name is written replaced; the same entry still matches.
  PageText odd = AutorunLike();
  odd.rows[1][0] = odd.hijack[0].itemName = "bad\xFF\xFEname";
  const auto oddItems = ScanItems("autorun", odd);
  ASSERT_TRUE(ReadFixDocument(ScanJson({}, oddItems), read, error)) << error;
  EXPECT_EQ(DifferenceSinceScan(read[0], oddItems[0]), "");

  for (const char* bad : {"", "not json", "[]", R"({"items":{}})", R"({"items":[1]})", R"({"items":[{"page":"autorun"}]})",
                          R"({"items":[{"id":"autorun/x","page":"autorun","value":3}]})",
                          R"({"items":[{"id":"services/x","page":"autorun"}]})"}) {
    EXPECT_FALSE(ReadFixDocument(bad, read, error)) << bad;
    EXPECT_FALSE(error.empty()) << bad;
    EXPECT_TRUE(read.empty()) << bad;
  }
}

TEST(ScanDocument, TextsReadBackAsTheWriterWritesThem) {
  // Well-formed texts stay; anything else is what the writer makes of it.
  for (const std::string text : {"", "plain", "\xC3\xA4\xE6\x97\xA5\xF0\x9F\x98\x80", "\xF4\x8F\xBF\xBF", "\x7F\x01",
                                 "\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xF5\x80\x80\x80",
                                 "cut \xE6\x97", "\x80", "\xC3"}) {
    const auto written = nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    EXPECT_EQ(AsWrittenInDocument(text), nlohmann::json::parse(written).get<std::string>()) << written;
  }
}

}  // namespace
}  // namespace wl
