#include "undo/reg_file.h"

#include <gtest/gtest.h>

#include "core/utf16_text.h"

namespace wl::undo {
namespace {

std::string Text(const std::vector<uint8_t>& bytes) {
  EXPECT_GE(bytes.size(), 2u);
  EXPECT_EQ(bytes[0], 0xFF);
  EXPECT_EQ(bytes[1], 0xFE);
  std::u16string wide;
  for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) wide += static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
  return Utf8FromUtf16(wide);
}

TEST(RegFile, EveryTypeInTheHexForm) {
  const std::vector<RegFileKey> keys = {
      {"HKEY_CURRENT_USER\\Software\\T", false,
       {{"", false, 1, {0x41, 0x00}},
        {"a\"b\\c", false, 4, {1, 0, 0, 0}},
        {"none", false, 0, {}},
        {"odd", false, 0x12345678, {0x7F}},
        {"gone", true, 0, {}}}},
      {"HKEY_CURRENT_USER\\Software\\T\\Empty", false, {}},
      {"HKEY_CURRENT_USER\\Software\\Old", true, {}},
  };
  EXPECT_EQ(Text(WriteRegFile(keys)),
            "Windows Registry Editor Version 5.00\r\n\r\n"
            "[HKEY_CURRENT_USER\\Software\\T]\r\n"
            "@=hex(1):41,00\r\n"
            "\"a\\\"b\\\\c\"=hex(4):01,00,00,00\r\n"
            "\"none\"=hex(0):\r\n"
            "\"odd\"=hex(12345678):7f\r\n"
            "\"gone\"=-\r\n\r\n"
            "[HKEY_CURRENT_USER\\Software\\T\\Empty]\r\n\r\n"
            "[-HKEY_CURRENT_USER\\Software\\Old]\r\n\r\n");
}

TEST(RegFile, NamesWithALineBreakAreLeftOutWithACommentAndOthersAreWrittenAsTheyAre) {
  // A crafted name: what follows its line break would otherwise be read as a
  // line of its own (here: the default value of the key).
  const std::vector<RegFileKey> keys = {
      {"HKEY_CURRENT_USER\\Run", false,
       {{"evil\r\n@=\"C:\\\\x.exe\"", false, 1, {0x41, 0}},
        {std::string("nul\0inside", 10), false, 1, {}},
        {"@", false, 1, {0x42, 0}},
        {"\"quoted\" \\back\\slash \xC3\xA4\xE6\x97\xA5", false, 1, {0x43, 0}}}},
      {"HKEY_CURRENT_USER\\Run\\line\nbreak", false, {{"v", false, 4, {1, 0, 0, 0}}}},
      {"HKEY_CURRENT_USER\\Run\\line\nbreak\\below", true, {}},
  };
  const std::string text = Text(WriteRegFile(keys));
  EXPECT_EQ(text,
            "Windows Registry Editor Version 5.00\r\n\r\n"
            "[HKEY_CURRENT_USER\\Run]\r\n"
            "; Left out: the value \"evil\\r\\n@=\"C:\\\\x.exe\"\" (its name holds a line break or a zero, which "
            "this file cannot hold). Restoring the change set in Wardenlake puts it back.\r\n"
            "; Left out: the value \"nul\\0inside\" (its name holds a line break or a zero, which this file cannot hold). "
            "Restoring the change set in Wardenlake puts it back.\r\n"
            "\"@\"=hex(1):42,00\r\n"
            "\"\\\"quoted\\\" \\\\back\\\\slash \xC3\xA4\xE6\x97\xA5\"=hex(1):43,00\r\n\r\n"
            "; Left out: the key \"HKEY_CURRENT_USER\\Run\\line\\nbreak\" (its name holds a line break or a zero, which "
            "this file cannot hold). Restoring the change set in Wardenlake puts it back.\r\n\r\n"
            "; Left out: the key \"HKEY_CURRENT_USER\\Run\\line\\nbreak\\below\" (its name holds a line break or a zero, which "
            "this file cannot hold). Restoring the change set in Wardenlake puts it back.\r\n\r\n");
  // No line of the file starts anything but a key, a value, a comment.
  std::size_t start = 0;
  for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    const std::string line = text.substr(start, end - start);
    EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos);
    if (line.empty() || line.starts_with("Windows Registry")) continue;
    EXPECT_TRUE(line[0] == '[' || line[0] == '"' || line[0] == '@' || line[0] == ';') << line;
  }
}

TEST(RegFile, LongDataIsWrappedAsTheEditorWrapsIt) {
  const std::string text = Text(WriteRegFile({{"HKEY_CURRENT_USER\\T", false, {{"v", false, 3, std::vector<uint8_t>(100, 0xAA)}}}}));
  std::size_t start = text.find("\"v\"");
  std::size_t lines = 0, bytes = 0;
  for (std::size_t pos = start; pos < text.size();) {
    const std::size_t end = text.find("\r\n", pos);
    const std::string line = text.substr(pos, end - pos);
    if (line.empty()) break;
    EXPECT_LE(line.size(), 80u) << line;
    for (std::size_t i = 0; i + 1 < line.size(); ++i)
      if (line.compare(i, 2, "aa") == 0) ++bytes, ++i;
    ++lines;
    pos = end + 2;
  }
  EXPECT_GT(lines, 3u);
  EXPECT_EQ(bytes, 100u);
}

TEST(RegFile, ChangeSetGoesBackFromTheLastItemToTheFirst) {
  ChangeSetManifest m;
  RegistryValueChange first;  // the value as it was first
  first.place = {"HKEY_LOCAL_MACHINE", "Software\\A", "32"};
  first.valueName = "v";
  first.existed = true;
  first.value = {"v", 1, {0x31, 0}};
  RegistryValueChange second = first;  // written again later in the same action
  second.value = {"v", 1, {0x32, 0}};
  RegistryTreeChange tree;
  tree.place = {"HKEY_CLASSES_ROOT", "x\\shell"};
  tree.existed = true;
  tree.tree = {"shell", {}, {{"open", {}, {}}}};
  RegistryKeyChange created;
  created.place = {"HKEY_CURRENT_USER", "Software\\New"};
  m.items = {{"", "", false, false, first}, {"", "", false, false, second}, {"", "", false, false, tree},
             {"", "", false, false, created}};
  const auto keys = RegFileKeysFor(m);
  ASSERT_EQ(keys.size(), 6u);
  EXPECT_EQ(keys[0].path, "HKEY_CURRENT_USER\\Software\\New");
  EXPECT_TRUE(keys[0].remove);
  EXPECT_EQ(keys[1].path, "HKEY_CLASSES_ROOT\\x\\shell");
  EXPECT_TRUE(keys[1].remove);
  EXPECT_EQ(keys[3].path, "HKEY_CLASSES_ROOT\\x\\shell\\open");
  EXPECT_EQ(keys[5].path, "HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\A");
  EXPECT_EQ(keys[5].values[0].data, (std::vector<uint8_t>{0x31, 0}));  // the oldest state is written last
}

TEST(RegFile, ThirtyTwoBitViewPaths) {
  EXPECT_EQ(RegFilePath("HKEY_LOCAL_MACHINE", "SOFTWARE\\Microsoft", "32"),
            "HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Microsoft");
  EXPECT_EQ(RegFilePath("HKEY_LOCAL_MACHINE", "Software\\Wow6432Node\\X", "32"),
            "HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\X");
  EXPECT_EQ(RegFilePath("HKEY_LOCAL_MACHINE", "SYSTEM\\X", "32"), "HKEY_LOCAL_MACHINE\\SYSTEM\\X");
  EXPECT_EQ(RegFilePath("HKEY_CURRENT_USER", "Software\\X", "64"), "HKEY_CURRENT_USER\\Software\\X");
}

}  // namespace
}  // namespace wl::undo
