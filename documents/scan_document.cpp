#include "documents/scan_document.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <set>

#include "core/table_text.h"

namespace wl {
namespace {

using Json = nlohmann::ordered_json;

// Keys a scan item has of its own; a page column with one of these names
// goes in as "row" + the name ("rowIndex").
bool FixedItemKey(const std::string& key) {
  return key == "id" || key == "page" || key == "category" || key == "item" || key == "index";
}

std::string DetailKey(const std::string& key) {
  if (!FixedItemKey(key)) return key;
  std::string out = "row" + key;
  out[3] = static_cast<char>(out[3] - 'a' + 'A');
  return out;
}

Json ItemJson(const ScanItem& item) {
  Json j;
  j["id"] = item.id;
  j["page"] = item.page;
  j["category"] = item.category;
  j["item"] = item.item;
  j["index"] = item.index;
  for (const auto& [key, value] : item.details) j[DetailKey(key)] = value;
  if (item.judged) j["reasons"] = item.reasons;
  if (!item.change.empty()) {
    j["change"] = item.change;
    if (!item.was.empty()) {
      Json was = Json::object();
      for (const auto& [key, text] : item.was) was[key] = text;
      j["was"] = std::move(was);
    }
  }
  return j;
}

// Invalid UTF-8 (a registry name written in another code page) must not stop
// the document: it is replaced, never thrown about.
std::string Dump(const Json& j) { return j.dump(2, ' ', false, Json::error_handler_t::replace) + "\n"; }

// Well-formed UTF-8 (RFC 3629: no overlong forms, no surrogates, nothing past
// U+10FFFF), which the writer keeps as it is.
bool WellFormedUtf8(const std::string& text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* end = p + text.size();
  while (p < end) {
    const unsigned char c = *p;
    if (c < 0x80) {
      ++p;
      continue;
    }
    int more = 0;
    unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
    if (c >= 0xC2 && c <= 0xDF) more = 1;
    else if (c == 0xE0) more = 2, low = 0xA0;
    else if (c == 0xED) more = 2, high = 0x9F;
    else if (c >= 0xE1 && c <= 0xEF) more = 2;
    else if (c == 0xF0) more = 3, low = 0x90;
    else if (c == 0xF4) more = 3, high = 0x8F;
    else if (c >= 0xF1 && c <= 0xF3) more = 3;
    else return false;
    if (end - p <= more || p[1] < low || p[1] > high) return false;
    for (int k = 2; k <= more; ++k)
      if (p[k] < 0x80 || p[k] > 0xBF) return false;
    p += more + 1;
  }
  return true;
}

}  // namespace

std::string AsWrittenInDocument(const std::string& text) {
  // Nearly every text is well-formed and written as it is.
  if (WellFormedUtf8(text)) return text;
  const Json back = Json::parse(Json(text).dump(-1, ' ', false, Json::error_handler_t::replace), nullptr, false);
  return back.is_string() ? back.get<std::string>() : std::string();
}

std::vector<std::string> ColumnKeys(const PageText& text) {
  std::vector<std::string> keys;
  std::set<std::string> used;
  for (std::size_t i = 0; i < text.header.size(); ++i) {
    std::string key = i < text.keys.size() && !text.keys[i].empty() ? text.keys[i] : KeyFromCaption(text.header[i], i);
    const std::string base = key;
    for (std::size_t n = i + 1; used.count(key); ++n) key = base + std::to_string(n);
    used.insert(key);
    keys.push_back(std::move(key));
  }
  return keys;
}

int FlaggedRowOf(const PageText& text, const HijackRow& row) {
  auto caption = [&text](std::size_t i) -> const std::string& {
    static const std::string none;
    return text.rows[i].empty() ? none : text.rows[i][0];
  };
  // The scans give the row number as the index, except where the index is
  // something else (a table number, a class identifier): then the row is
  // found by its caption.
  if (row.index >= 0 && static_cast<std::size_t>(row.index) < text.rows.size() &&
      caption(static_cast<std::size_t>(row.index)) == row.itemName)
    return row.index;
  for (std::size_t i = 0; i < text.rows.size(); ++i)
    if (caption(i) == row.itemName) return static_cast<int>(i);
  return -1;
}

std::string ScanItemId(const std::string& page, const HijackRow& row) {
  const std::string& name = !row.entryKey.empty() ? row.entryKey : !row.indexKey.empty() ? row.indexKey : row.itemName;
  return page + "/" + name;
}

std::vector<ScanItem> ScanItems(const std::string& page, const PageText& text) {
  const std::vector<std::string> keys = ColumnKeys(text);
  std::vector<ScanItem> items;
  items.reserve(text.hijack.size());
  for (const HijackRow& h : text.hijack) {
    ScanItem item;
    item.id = ScanItemId(page, h);
    item.page = page;
    item.category = h.description;
    item.item = h.itemName;
    item.index = h.IndexText();
    const int row = FlaggedRowOf(text, h);
    if (row >= 0) {
      const TextRow& cells = text.rows[static_cast<std::size_t>(row)];
      for (std::size_t c = 0; c < cells.size() && c < keys.size(); ++c) item.details.emplace_back(keys[c], cells[c]);
      if (static_cast<std::size_t>(row) < text.judgements.size()) {
        const RowJudgement& judged = text.judgements[static_cast<std::size_t>(row)];
        item.details.emplace_back("verdict", judged.verdict);
        if (std::find(keys.begin(), keys.end(), "signer") == keys.end()) item.details.emplace_back("signer", judged.signer);
        item.details.emplace_back("sha256", judged.sha256);
        item.judged = true;
        item.reasons = judged.reasons;
      }
    }
    items.push_back(std::move(item));
  }
  return items;
}

std::string ScanJson(const ScanHead& head, const std::vector<ScanItem>& items) {
  Json j;
  j["formatVersion"] = kScanFormatVersion;
  j["program"] = head.program;
  j["programVersion"] = head.programVersion;
  j["database"] = {{"updated", head.databaseUpdated}, {"definitions", head.databaseDefinitions}};
  j["computer"] = head.computer;
  j["windows"] = {{"name", head.windows}, {"version", head.windowsVersion}};
  j["time"] = head.time;
  if (const auto& b = head.baseline) {
    j["baseline"] = {{"file", b->file},          {"computer", b->computer},   {"time", b->time},
                     {"count", b->count},        {"new", b->newCount},        {"changed", b->changedCount},
                     {"gone", b->goneCount}};
  }
  j["count"] = items.size();
  Json list = Json::array();
  for (const ScanItem& item : items) list.push_back(ItemJson(item));
  j["items"] = std::move(list);
  return Dump(j);
}

std::string ScanCsv(const std::vector<ScanItem>& items) {
  TextRow header = {"id", "page", "category", "item", "index"};
  std::vector<std::string> detailKeys;
  for (const ScanItem& item : items)
    for (const auto& d : item.details) {
      const std::string key = DetailKey(d.first);
      if (std::find(detailKeys.begin(), detailKeys.end(), key) == detailKeys.end()) detailKeys.push_back(key);
    }
  header.insert(header.end(), detailKeys.begin(), detailKeys.end());
  const bool judged = std::any_of(items.begin(), items.end(), [](const ScanItem& i) { return i.judged; });
  if (judged) header.push_back("reasons");
  const bool compared = std::any_of(items.begin(), items.end(), [](const ScanItem& i) { return !i.change.empty(); });
  if (compared) header.insert(header.end(), {"change", "changedFields"});
  std::vector<TextRow> rows;
  for (const ScanItem& item : items) {
    TextRow r = {item.id, item.page, item.category, item.item, item.index};
    r.resize(header.size());
    for (const auto& d : item.details) {
      const auto at = std::find(detailKeys.begin(), detailKeys.end(), DetailKey(d.first));
      r[5 + static_cast<std::size_t>(at - detailKeys.begin())] = d.second;
    }
    auto joined = [](const auto& list, auto part) {
      std::string out;
      for (const auto& element : list) out += (out.empty() ? "" : "; ") + part(element);
      return out;
    };
    std::size_t column = 5 + detailKeys.size();
    if (judged) r[column++] = joined(item.reasons, [](const std::string& reason) { return reason; });
    if (compared) {
      r[column++] = item.change;
      r[column] = joined(item.was, [](const auto& field) { return field.first; });
    }
    rows.push_back(std::move(r));
  }
  return FormatCsv(header, rows);
}

std::string PageJson(const std::string& page, const PageText& text) {
  const std::vector<std::string> keys = ColumnKeys(text);
  Json j;
  j["page"] = page;
  Json columns = Json::array();
  for (std::size_t i = 0; i < keys.size(); ++i) columns.push_back({{"key", keys[i]}, {"title", text.header[i]}});
  j["columns"] = std::move(columns);
  Json rows = Json::array();
  for (std::size_t i = 0; i < text.rows.size(); ++i) {
    const TextRow& r = text.rows[i];
    Json row = Json::object();
    for (std::size_t c = 0; c < r.size() && c < keys.size(); ++c) row[keys[c]] = r[c];
    if (i < text.judgements.size()) {
      const RowJudgement& judged = text.judgements[i];
      row["verdict"] = judged.verdict;
      row["reasons"] = judged.reasons;
      if (!row.contains("signer")) row["signer"] = judged.signer;
      row["sha256"] = judged.sha256;
    }
    rows.push_back(std::move(row));
  }
  j["rows"] = std::move(rows);
  return Dump(j);
}

bool ReadFixDocument(const std::string& bytes, std::vector<FixRequest>& out, std::string& error) {
  out.clear();
  std::vector<FixRequest> read;
  const Json doc = Json::parse(bytes, nullptr, false);
  if (doc.is_discarded()) {
    error = "not a JSON document";
    return false;
  }
  if (!doc.is_object() || !doc.contains("items") || !doc["items"].is_array()) {
    error = "not a scan document: it has no \"items\" list";
    return false;
  }
  const Json& items = doc["items"];
  for (std::size_t n = 0; n < items.size(); ++n) {
    const Json& j = items[n];
    const std::string where = "item " + std::to_string(n + 1);
    if (!j.is_object()) {
      error = where + " is not an object";
      return false;
    }
    FixRequest r;
    for (const auto& [key, value] : j.items()) {
      if (key == "index") continue;  // a row number: moves when rows before it go
      if (key == "reasons" && value.is_array()) continue;  // follow from the verdict's facts
      // What a comparison with a baseline said: the document of a scan
      // compared with one is fixed as any other.
      if ((key == "change" && value.is_string()) || (key == "was" && value.is_object())) continue;
      if (!value.is_string()) {
        error = where + ": \"" + key + "\" is not a text";
        return false;
      }
      const std::string& text = value.get_ref<const std::string&>();
      if (key == "id") r.id = text;
      else if (key == "page") r.page = text;
      else r.seen.emplace_back(key, text);
    }
    if (r.id.empty() || r.page.empty()) {
      error = where + " has no \"id\" or \"page\"";
      return false;
    }
    if (!r.id.starts_with(r.page + "/")) {
      error = where + ": the id " + r.id + " is not of the page " + r.page;
      return false;
    }
    read.push_back(std::move(r));
  }
  out = std::move(read);
  return true;
}

std::string DifferenceSinceScan(const FixRequest& seen, const ScanItem& now) {
  for (const auto& [key, was] : seen.seen) {
    const std::string* is = key == "category" ? &now.category : key == "item" ? &now.item : nullptr;
    // The document keeps the last of two details of one key, as written.
    for (const auto& d : now.details)
      if (key != "category" && key != "item" && AsWrittenInDocument(DetailKey(d.first)) == key) is = &d.second;
    if (!is) return key + " is no longer there";
    // The document holds the text as it was written: invalid UTF-8 replaced.
    const std::string current = AsWrittenInDocument(*is);
    if (current != was) return key + " was \"" + was + "\", now \"" + current + "\"";
  }
  return {};
}

std::string PageItemsJson(const std::string& page, const std::vector<ScanItem>& items) {
  Json j;
  j["page"] = page;
  Json list = Json::array();
  for (const ScanItem& item : items) list.push_back(ItemJson(item));
  j["items"] = std::move(list);
  return Dump(j);
}

}  // namespace wl
