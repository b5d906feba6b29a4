// The machine-readable forms of the console scanner's output: page listings
// as CSV or JSON, and the hijack scan's flagged items as JSON or CSV, each
// item with a stable identifier ("<page>/<entry>") that a later run can use
// to name it. Portable: the scans and the system facts are passed in.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/hijack_list.h"
#include "core/page_text.h"

namespace wl {

// The JSON key of each column: the page's declared key, else one made from
// the column's title (unique within the page).
std::vector<std::string> ColumnKeys(const PageText& text);

// One flagged entry of a scan.
struct ScanItem {
  std::string id;        // page + "/" + what names the entry on its page
  std::string page;      // the wlscan page name: "autorun", "services" …
  std::string category;  // the report's "Description": "Startup Item" …
  std::string item;      // the report's "Item Name"
  std::string index;     // the report's "Index" text (may be empty)
  // The page row's cells by column key ("registryKey", "value", "verdict" …);
  // empty when the row is not on the page. On the pages the judge judges,
  // also "verdict" ("suspicious" …), "signer" and "sha256".
  std::vector<std::pair<std::string, std::string>> details;
  bool judged = false;               // the row was judged: reasons are given
  std::vector<std::string> reasons;  // why it is not trusted
  // Set when the scan was compared with a baseline (documents/scan_baseline.h):
  // "new" or "changed", and for a changed item the fields that differ with
  // the baseline's text.
  std::string change;
  std::vector<std::pair<std::string, std::string>> was;
};

// The row of text.rows a hijack row stands for; -1 when none.
int FlaggedRowOf(const PageText& text, const HijackRow& row);
// "<page>/<entryKey>", else "<page>/<indexKey>", else "<page>/<item name>".
std::string ScanItemId(const std::string& page, const HijackRow& row);
// One item per hijack row of the page's scan, in order.
std::vector<ScanItem> ScanItems(const std::string& page, const PageText& text);

// The version of the scan document's layout, its "formatVersion". It goes up
// when a reader of the old layout would misread the new one (a field renamed
// or given another meaning), not when a field is added.
constexpr int kScanFormatVersion = 1;

// What a document of a scan compared with a baseline says of the baseline.
struct ScanBaselineHead {
  std::string file;      // as given on the command line
  std::string computer;  // where and when the baseline was made
  std::string time;
  std::size_t count = 0;  // its items
  std::size_t newCount = 0, changedCount = 0, goneCount = 0;
};

// What a scan document says about where and when it was made.
struct ScanHead {
  std::string program = "Wardenlake";
  std::string programVersion;
  std::string databaseUpdated;      // Main.db line 0
  std::string databaseDefinitions;  // Main.db line 1
  std::string computer;
  std::string windows;         // the version name, may be empty
  std::string windowsVersion;  // "major.minor.build"
  std::string time;            // ISO 8601, UTC: "2026-12-07T12:34:56Z"
  std::optional<ScanBaselineHead> baseline;  // the scan was compared with one
};

// {"formatVersion", "program", "programVersion", "database": {"updated",
//  "definitions"}, "computer", "windows": {"name", "version"}, "time",
//  ["baseline": {…},] "count", "items": [{"id", "page", "category", "item",
//  "index", <details>…, "reasons": […], ["change", "was": {…}]}…]},
//  indented, ending with a line break. docs/scan-document.schema.json
//  describes every field.
std::string ScanJson(const ScanHead& head, const std::vector<ScanItem>& items);
// A header record "id,page,category,item,index" followed by every detail key
// any item has, in order of first appearance, and "reasons" (joined by "; ")
// when any item was judged, then "change" and "changedFields" (joined by
// "; ") when the items were compared with a baseline; one record per item.
std::string ScanCsv(const std::vector<ScanItem>& items);

// What "wlscan fix" is asked to fix: the items of a document ScanJson wrote,
// perhaps cut down. Each item keeps what the scan saw of it.
struct FixRequest {
  std::string id, page;
  // "category", "item" and the details, as the document has them; what an
  // item was cut down to is all that is compared.
  std::vector<std::pair<std::string, std::string>> seen;
};

// Reads the items of a scan document. A document that is not one (not JSON,
// no "items" list, an item that is not an object or lacks a text "id" and
// "page", a field that is not text) is refused as a whole, with the reason
// in error: nothing of it is fixed.
bool ReadFixDocument(const std::string& bytes, std::vector<FixRequest>& out, std::string& error);

// Empty when the item as scanned now is what the document says the scan saw
// (the category, item name and details the document keeps); else what
// differs, for the user: "value was \"a\", now \"b\"".
std::string DifferenceSinceScan(const FixRequest& seen, const ScanItem& now);

// A text as a document holds it once read back: invalid UTF-8 replaced.
std::string AsWrittenInDocument(const std::string& text);

// A page listing: {"page", "columns": [{"key", "title"}…], "rows": [{key: text}…]};
// a judged page's rows add "verdict", "reasons" (a list) and "sha256".
std::string PageJson(const std::string& page, const PageText& text);
// A page's hijack rows: {"page", "items": [...]} with items as in ScanJson.
std::string PageItemsJson(const std::string& page, const std::vector<ScanItem>& items);

}  // namespace wl
