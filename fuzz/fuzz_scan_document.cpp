// Registry names and data end up in the scan documents: any bytes (invalid
// UTF-8, quotes, commas, line breaks) must give a JSON document that parses
// back and a CSV with one record per item. The input's length picks one of
// the writers, so that each run does one document's work.
#include <cstdint>
#include <cstdlib>
#include <string>

#include <nlohmann/json.hpp>

#include "core/table_text.h"
#include "documents/scan_document.h"

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
  const auto keys = wl::ColumnKeys(page);
  if (keys.size() != 3 || keys[0] == keys[1] || keys[1] == keys[2] || keys[0] == keys[2]) std::abort();
  for (const auto& key : keys)
    if (key.empty()) std::abort();
  switch (size % 3) {
    case 0: {
      // The scan document reads back as what "wlscan fix" is given (page
      // names are plain words).
      bool plain = !a.empty();
      for (char c : a) plain = plain && c > ' ' && c < 127 && c != '/';
      if (!plain) {
        if (nlohmann::json::parse(wl::ScanJson({}, items), nullptr, false).is_discarded()) std::abort();
        break;
      }
      std::vector<wl::FixRequest> read;
      std::string error;
      if (!wl::ReadFixDocument(wl::ScanJson({}, items), read, error) || read.size() != 1) std::abort();
      if (!wl::DifferenceSinceScan(read[0], items[0]).empty()) std::abort();
      break;
    }
    case 1:
      if (nlohmann::json::parse(wl::PageJson(b, page), nullptr, false).is_discarded()) std::abort();
      break;
    default:
      if (!wl::ScanCsv(items).ends_with("\r\n")) std::abort();
      break;
  }
  return 0;
}
