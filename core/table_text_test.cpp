#include "core/table_text.h"

#include <gtest/gtest.h>

namespace wl {
namespace {

TEST(TableText, CsvQuotesWhatWouldBreakARecord) {
  const std::string csv = FormatCsv({"Item Name", "Value"}, {{"a,b", "say \"hi\""}, {"two\r\nlines", "plain"}, {"", "ä"}});
  EXPECT_EQ(csv,
            "Item Name,Value\r\n"
            "\"a,b\",\"say \"\"hi\"\"\"\r\n"
            "\"two\r\nlines\",plain\r\n"
            ",ä\r\n");
  EXPECT_EQ(CsvField("lone\nfeed"), "\"lone\nfeed\"");
}

TEST(TableText, KeysFromCaptions) {
  EXPECT_EQ(KeyFromCaption("Item Name", 0), "itemName");
  EXPECT_EQ(KeyFromCaption("Process ID", 1), "processId");
  EXPECT_EQ(KeyFromCaption("RegistryKey", 3), "registryKey");
  EXPECT_EQ(KeyFromCaption("Uninstall Command", 4), "uninstallCommand");
  EXPECT_EQ(KeyFromCaption("CLSID", 0), "clsid");
  EXPECT_EQ(KeyFromCaption("Size(KB)", 2), "sizeKb");
  EXPECT_EQ(KeyFromCaption("", 2), "column3");
  EXPECT_EQ(KeyFromCaption("\xE5\x90\x8D", 0), "column1");
  EXPECT_EQ(KeyFromCaption("2nd", 1), "column22nd");
}

}  // namespace
}  // namespace wl
