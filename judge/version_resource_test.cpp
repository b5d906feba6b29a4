#include "judge/version_resource.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace wl {
namespace {

void Put16(std::string& b, std::size_t at, std::uint16_t v) {
  if (b.size() < at + 2) b.resize(at + 2);
  b[at] = static_cast<char>(v & 0xFF);
  b[at + 1] = static_cast<char>(v >> 8);
}
void Put32(std::string& b, std::size_t at, std::uint32_t v) {
  Put16(b, at, static_cast<std::uint16_t>(v));
  Put16(b, at + 2, static_cast<std::uint16_t>(v >> 16));
}
void Pad4(std::string& b) {
  while (b.size() % 4) b += '\0';
}
std::string Utf16z(std::string_view ascii) {
  std::string out;
  for (char c : ascii) out += {c, '\0'};
  return out + std::string(2, '\0');
}

// A version block: header, key, value, children, as resource compilers write it.
std::string Block(std::string_view key, const std::string& value, bool text, const std::vector<std::string>& children,
                  std::uint16_t valueLength) {
  std::string b(6, '\0');
  b += Utf16z(key);
  Pad4(b);
  b += value;
  Pad4(b);
  for (const std::string& child : children) {
    b += child;
    Pad4(b);
  }
  Put16(b, 0, static_cast<std::uint16_t>(b.size()));
  Put16(b, 2, valueLength);
  Put16(b, 4, text ? 1 : 0);
  return b;
}
std::string String(std::string_view name, std::string_view value) {
  return Block(name, Utf16z(value), true, {}, static_cast<std::uint16_t>(value.size() + 1));
}
std::string VersionBlock(const std::vector<std::pair<std::string, std::vector<std::string>>>& tables,
                         std::vector<std::uint32_t> translations) {
  std::vector<std::string> tableBlocks;
  for (const auto& [key, strings] : tables) tableBlocks.push_back(Block(key, "", true, strings, 0));
  std::string pairs;
  for (std::uint32_t t : translations) Put32(pairs, pairs.size(), t);
  const std::string var = Block("VarFileInfo", "", true, {Block("Translation", pairs, false, {}, static_cast<std::uint16_t>(pairs.size()))}, 0);
  return Block("VS_VERSION_INFO", std::string(52, '\0'), false, {Block("StringFileInfo", "", true, tableBlocks, 0), var},
               52);
}

// A 64-bit PE image whose one section holds a resource directory with one
// version resource.
std::string Image(const std::string& version) {
  std::string b(0x200, '\0');
  b[0] = 'M';
  b[1] = 'Z';
  Put32(b, 0x3C, 0x40);
  b.replace(0x40, 4, std::string("PE\0\0", 4));
  const std::size_t coff = 0x44, optional = coff + 20;
  Put16(b, coff, 0x8664);
  Put16(b, coff + 2, 1);     // sections
  Put16(b, coff + 16, 240);  // optional header size
  Put16(b, optional, 0x20B);
  Put32(b, optional + 108, 16);
  const std::uint32_t rva = 0x1000;
  std::string rsrc(0x58, '\0');
  Put16(rsrc, 14, 1);                      // root: one id entry
  Put32(rsrc, 16, 16);                     // RT_VERSION
  Put32(rsrc, 20, 0x80000000u | 0x18);
  Put16(rsrc, 0x18 + 14, 1);               // names
  Put32(rsrc, 0x18 + 16, 1);
  Put32(rsrc, 0x18 + 20, 0x80000000u | 0x30);
  Put16(rsrc, 0x30 + 14, 1);               // languages
  Put32(rsrc, 0x30 + 16, 0x409);
  Put32(rsrc, 0x30 + 20, 0x48);
  Put32(rsrc, 0x48, rva + 0x58);           // the data
  Put32(rsrc, 0x4C, static_cast<std::uint32_t>(version.size()));
  rsrc += version;
  Put32(b, optional + 112 + 2 * 8, rva);
  Put32(b, optional + 112 + 2 * 8 + 4, static_cast<std::uint32_t>(rsrc.size()));
  const std::size_t section = optional + 240;
  b.replace(section, 5, ".rsrc");
  Put32(b, section + 8, static_cast<std::uint32_t>(rsrc.size()));
  Put32(b, section + 12, rva);
  Put32(b, section + 16, static_cast<std::uint32_t>(rsrc.size()));
  Put32(b, section + 20, 0x200);
  return b + rsrc;
}

ReadAtFn Reader(const std::string& bytes) {
  return [&bytes](std::uint64_t offset, std::size_t size) {
    return offset >= bytes.size() ? std::string() : bytes.substr(static_cast<std::size_t>(offset), size);
  };
}

std::optional<VersionStrings> FromImage(const std::string& image) {
  const auto block = FindVersionResource(Reader(image), image.size());
  return block ? ParseVersionResource(*block) : std::nullopt;
}

TEST(VersionResource, TheStringsOfTheListedLanguageAreRead) {
  const std::string version =
      VersionBlock({{"040704b0", {String("CompanyName", "Firma"), String("OriginalFilename", "werkzeug.exe")}},
                    {"040904B0", {String("CompanyName", "Microsoft Corporation"),
                                  String("OriginalFilename", "PowerShell.EXE.MUI"), String("ProductName", "Windows")}}},
                   {0x04B00409});
  const auto strings = FromImage(Image(version));
  ASSERT_TRUE(strings);
  EXPECT_EQ(strings->companyName, "Microsoft Corporation");
  EXPECT_EQ(strings->originalFilename, "PowerShell.EXE.MUI");
  EXPECT_EQ(OriginalProgramName(strings->originalFilename), "powershell.exe");
  EXPECT_EQ(OriginalProgramName(" C:\\build\\RunDll32.exe "), "rundll32.exe");

  // Without a translation list: the first table that holds strings.
  const auto first = ParseVersionResource(VersionBlock({{"040704b0", {}}, {"041104b0", {String("CompanyName", "B")}}}, {}));
  ASSERT_TRUE(first);
  EXPECT_EQ(first->companyName, "B");
  // A value length counted in bytes, not characters, reads the same text.
  const std::string bytesCounted = Block("CompanyName", Utf16z("Vendor"), true, {}, 14);
  EXPECT_EQ(ParseVersionResource(VersionBlock({{"040904b0", {bytesCounted}}}, {}))->companyName, "Vendor");
}

TEST(VersionResource, DamagedFilesGiveNothingAndNeverReadOutside) {
  const std::string version = VersionBlock({{"040904b0", {String("OriginalFilename", "cmd.exe")}}}, {0x04B00409});
  const std::string image = Image(version);
  ASSERT_TRUE(FromImage(image));
  // Every cut of the file: nothing, or the strings (never a read past the end).
  for (std::size_t cut = 0; cut < image.size(); cut += 7) EXPECT_NO_FATAL_FAILURE(FromImage(image.substr(0, cut)));
  EXPECT_FALSE(FromImage(image.substr(0, image.size() - 8)));

  auto damaged = [&](std::size_t at, std::uint32_t value) {
    std::string copy = image;
    Put32(copy, at, value);
    return FromImage(copy);
  };
  EXPECT_FALSE(damaged(0x3C, 0xFFFFFFF0u));                  // the PE header beyond the file
  EXPECT_FALSE(damaged(0x44 + 2, 0xFFFF));                   // 65,535 sections
  EXPECT_FALSE(damaged(0x200 + 0x4C, 0x7FFFFFFF));           // a resource of 2 GiB
  EXPECT_FALSE(damaged(0x200 + 0x48, 0xFFFFFF00u));          // its data nowhere
  EXPECT_FALSE(damaged(0x200 + 20, 0x80000000u));            // a directory that leads back to the root
  EXPECT_NO_FATAL_FAILURE(damaged(0x200 + 12, 0xFFFFFFFFu));  // 131,070 entries, a few there

  // Blocks that claim more than they hold, or nothing at all.
  std::string block = version;
  Put16(block, 0, 0xFFFF);
  EXPECT_NO_FATAL_FAILURE(ParseVersionResource(block));
  EXPECT_FALSE(ParseVersionResource(std::string(6, '\0')));
  EXPECT_FALSE(ParseVersionResource(""));
  EXPECT_FALSE(ParseVersionResource(std::string(100000, '\xFF')));
}

}  // namespace
}  // namespace wl
