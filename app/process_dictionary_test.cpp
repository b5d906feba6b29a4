#include "app/process_dictionary.h"

#include <gtest/gtest.h>

namespace wl::app {
namespace {

TEST(ProcessDictionaryTest, TypedNamesAreNormalisedLowerCasedAndLookedUp) {
  ReferenceTables tables;
  tables.process = StringTable::FromText("smss.exe=@Session manager\nwinamp.exe=%Player\n");
  const struct {
    const char* typed;
    const char* name;
    const char* information;
  } cases[] = {
      {"SMSS.EXE", "smss.exe", "(System Process) Session manager"},
      {"\"winamp.exe\" /play", "winamp.exe", "(General Software) Player"},
      // A folder is kept, so the lookup finds nothing.
      {"C:\\Program Files\\Winamp\\winamp.exe", "c:\\program files\\winamp\\winamp.exe", "(Unknown)"},
      {"%SystemRoot%\\smss.exe", "c:\\windows\\smss.exe", "(Unknown)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    const DictionaryAnswer a = LookupProcessDictionary(c.typed, tables, "C:\\WINDOWS");
    EXPECT_EQ(a.processName, c.name);
    EXPECT_EQ(a.information, c.information);
  }
  EXPECT_EQ(DictionaryMessage({"smss.exe", "(Unknown)"}),
            "Process Name: smss.exe\r\nProcess Information: \r\n(Unknown)");
}

}  // namespace
}  // namespace wl::app
