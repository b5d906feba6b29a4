// Registry names and data end up in the scan documents: any bytes (invalid
// UTF-8, quotes, commas, line breaks) must give a JSON document that parses
// back and a CSV with one record per item.
#include <cstdint>
#include <cstdlib>
#include <string>

#include <nlohmann/json.hpp>

#include "core/table_text.h"
#include "scan/scan_document.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::size_t cut = text.find('\0');
  const std::string a = text.substr(0, cut);
  const std::string b = cut == std::string::npos ? std::string() : text.substr(cut + 1);

  wl::PageText page;
  page.header = {a, b, "Index"};
  page.rows = {{a, b, "1"}, {b, a, "2"}};
  wl::HijackRow row;
  row.itemName = b;
  row.description = a;
  row.index = size % 3 == 0 ? -1 : static_cast<int>(size % 3);
  row.entryKey = size % 2 ? a : std::string();
  page.hijack = {row};
  const auto items = wl::ScanItems(a, page);
  if (items.size() != 1) std::abort();
  const auto j = nlohmann::json::parse(wl::ScanJson({}, items), nullptr, false);
  if (j.is_discarded() || j["items"].size() != 1) std::abort();
  if (nlohmann::json::parse(wl::PageJson(b, page), nullptr, false).is_discarded()) std::abort();
  const std::string csv = wl::ScanCsv(items);
  if (!csv.ends_with("\r\n")) std::abort();
  const auto keys = wl::ColumnKeys(page);
  if (keys.size() != 3 || keys[0] == keys[1] || keys[1] == keys[2] || keys[0] == keys[2]) std::abort();
  for (const auto& key : keys)
    if (key.empty()) std::abort();
  return 0;
}
