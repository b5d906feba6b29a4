// Table text of arbitrary bytes: load it and look keys up; the index must
// answer what the line-by-line scan answers.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "refdb/reference_tables.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const wl::StringTable table = wl::StringTable::FromText(text);
  (void)wl::ParseMainDb(text);
  for (std::size_t i = 0; i < table.Count() && i < 16; ++i) {
    const std::string key(wl::StringTable::KeyOf(table.Line(i)));
    if (wl::LookupVerdict(key, table) != wl::LookupVerdictLinear(key, table)) std::abort();
  }
  for (const char* key : {"", "a", "svchost.exe"})
    if (wl::LookupVerdict(key, table) != wl::LookupVerdictLinear(key, table)) std::abort();
  return 0;
}
