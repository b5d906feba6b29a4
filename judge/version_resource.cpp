#include "judge/version_resource.h"

#include <array>
#include <cstdio>
#include <vector>

#include "core/ascii.h"
#include "core/path_text.h"
#include "core/utf16_text.h"

namespace wl {
namespace {

constexpr std::size_t kMaxResourceBytes = 1 << 20;  // a version resource is a few KiB
constexpr unsigned kMaxSections = 96;               // as many as the loader takes
constexpr unsigned kMaxEntries = 4096;              // entries looked at per resource directory
constexpr std::uint32_t kVersionType = 16;          // RT_VERSION

std::uint16_t U16(std::string_view b, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(b[at]) | (static_cast<unsigned char>(b[at + 1]) << 8));
}
std::uint32_t U32(std::string_view b, std::size_t at) { return U16(b, at) | (std::uint32_t{U16(b, at + 2)} << 16); }

struct Section {
  std::uint32_t address = 0, virtualSize = 0, rawSize = 0, rawOffset = 0;
};

// Where a relative virtual address of count bytes lies in the file; nullopt
// when no section holds it in the file's bytes.
std::optional<std::uint64_t> FileOffsetOf(const std::vector<Section>& sections, std::uint32_t rva, std::uint32_t count) {
  for (const Section& s : sections) {
    const std::uint64_t size = std::max(s.virtualSize, s.rawSize);
    if (rva < s.address || rva - s.address >= size) continue;
    const std::uint64_t inside = rva - s.address;
    if (inside + count > s.rawSize) return std::nullopt;
    return std::uint64_t{s.rawOffset} + inside;
  }
  return std::nullopt;
}

// One block of a version resource: wLength, wValueLength, wType, the key
// (NUL-terminated UTF-16), the value and the children, each aligned to 4.
struct Block {
  std::u16string key;
  std::size_t valueAt = 0, valueBytes = 0;
  std::size_t childrenAt = 0, end = 0;
};

std::size_t Align4(std::size_t n) { return (n + 3) & ~std::size_t{3}; }

std::optional<Block> ReadBlock(std::string_view data, std::size_t at, std::size_t limit) {
  if (at + 6 > limit) return std::nullopt;
  const std::size_t length = U16(data, at);
  if (length < 6) return std::nullopt;
  Block b;
  b.end = std::min(limit, at + length);
  const std::size_t valueLength = U16(data, at + 2);
  const bool text = U16(data, at + 4) == 1;
  std::size_t p = at + 6;
  while (p + 2 <= b.end) {
    const char16_t c = static_cast<char16_t>(U16(data, p));
    p += 2;
    if (c == 0) break;
    b.key += c;
  }
  b.valueAt = std::min(Align4(p), b.end);
  // Text values count characters; some writers count bytes: either way the
  // text ends at its NUL, within the block.
  b.valueBytes = std::min(text ? valueLength * 2 : valueLength, b.end - b.valueAt);
  b.childrenAt = std::min(Align4(b.valueAt + b.valueBytes), b.end);
  return b;
}

// The children of a block, in order.
template <typename F>
void ForEachChild(std::string_view data, const Block& parent, F&& f) {
  std::size_t at = parent.childrenAt;
  for (unsigned n = 0; n < kMaxEntries && at + 6 <= parent.end; ++n) {
    const auto child = ReadBlock(data, at, parent.end);
    if (!child) return;
    f(*child);
    const std::size_t next = Align4(child->end);
    if (next <= at) return;
    at = next;
  }
}

std::string TextValue(std::string_view data, const Block& b) {
  std::u16string text;
  for (std::size_t p = b.valueAt; p + 2 <= b.valueAt + b.valueBytes; p += 2) {
    const char16_t c = static_cast<char16_t>(U16(data, p));
    if (c == 0) break;
    text += c;
  }
  return Utf8FromUtf16(text);
}

bool KeyIs(const std::u16string& key, std::string_view ascii) {
  if (key.size() != ascii.size()) return false;
  for (std::size_t i = 0; i < key.size(); ++i)
    if (key[i] > 0x7F || AsciiLower(static_cast<char>(key[i])) != AsciiLower(ascii[i])) return false;
  return true;
}

bool Empty(const VersionStrings& s) {
  return s.companyName.empty() && s.originalFilename.empty() && s.fileDescription.empty() && s.productName.empty();
}

}  // namespace

std::optional<std::string> FindVersionResource(const ReadAtFn& readAt, std::uint64_t fileSize) {
  const std::string head = readAt(0, 4096);
  if (head.size() < 0x40 || head[0] != 'M' || head[1] != 'Z') return std::nullopt;
  const std::uint32_t pe = U32(head, 0x3C);
  if (pe > head.size() - 24 || head.compare(pe, 4, std::string_view("PE\0\0", 4)) != 0) return std::nullopt;
  const std::size_t coff = pe + 4;
  const unsigned sectionCount = U16(head, coff + 2);
  const std::size_t optionalSize = U16(head, coff + 16);
  const std::size_t optional = coff + 20;
  if (optional + 2 > head.size()) return std::nullopt;
  const std::uint16_t magic = U16(head, optional);
  const std::size_t countAt = optional + (magic == 0x20B ? 108 : magic == 0x10B ? 92 : 0);
  if (countAt == optional || countAt + 4 > head.size() || optionalSize < countAt - optional + 4) return std::nullopt;
  const std::uint32_t directories = U32(head, countAt);
  const std::size_t resourceEntry = countAt + 4 + 2 * 8;
  if (directories < 3 || resourceEntry + 8 > head.size() || resourceEntry + 8 > optional + optionalSize)
    return std::nullopt;
  const std::uint32_t resourceRva = U32(head, resourceEntry);
  if (resourceRva == 0 || sectionCount == 0 || sectionCount > kMaxSections) return std::nullopt;

  // The section table may lie beyond the first page.
  const std::uint64_t tableAt = optional + optionalSize;
  const std::string table = readAt(tableAt, std::size_t{sectionCount} * 40);
  if (table.size() < std::size_t{sectionCount} * 40) return std::nullopt;
  std::vector<Section> sections;
  for (unsigned i = 0; i < sectionCount; ++i) {
    const std::size_t s = std::size_t{i} * 40;
    sections.push_back({U32(table, s + 12), U32(table, s + 8), U32(table, s + 16), U32(table, s + 20)});
  }
  const auto base = FileOffsetOf(sections, resourceRva, 16);
  if (!base) return std::nullopt;

  // The directory's entries: type, then name, then language.
  auto entries = [&](std::uint64_t at) -> std::optional<std::string> {
    const std::string header = readAt(at, 16);
    if (header.size() < 16) return std::nullopt;
    const unsigned count = std::min<unsigned>(U16(header, 12) + U16(header, 14), kMaxEntries);
    std::string all = readAt(at + 16, std::size_t{count} * 8);
    all.resize(all.size() / 8 * 8);
    return all;
  };
  auto within = [&](std::uint32_t offset) -> std::optional<std::uint64_t> {
    const auto at = FileOffsetOf(sections, resourceRva + (offset & 0x7FFFFFFF), 16);
    return at && *at < fileSize ? at : std::nullopt;
  };
  const auto types = entries(*base);
  if (!types) return std::nullopt;
  std::optional<std::uint32_t> next;
  for (std::size_t e = 0; e < types->size() && !next; e += 8)
    if (U32(*types, e) == kVersionType && (U32(*types, e + 4) & 0x80000000u)) next = U32(*types, e + 4);
  // The first name, then its first language: a name's entry leads to a
  // directory, a language's to the data.
  for (int level = 0; level < 2 && next; ++level) {
    const auto at = within(*next);
    const auto list = at ? entries(*at) : std::nullopt;
    if (!list || list->empty()) return std::nullopt;
    const bool directory = (U32(*list, 4) & 0x80000000u) != 0;
    if (directory != (level == 0)) return std::nullopt;
    next = U32(*list, 4);
  }
  if (!next) return std::nullopt;
  const auto dataEntryAt = within(*next);
  if (!dataEntryAt) return std::nullopt;
  const std::string dataEntry = readAt(*dataEntryAt, 16);
  if (dataEntry.size() < 16) return std::nullopt;
  const std::uint32_t size = U32(dataEntry, 4);
  if (size < 6 || size > kMaxResourceBytes) return std::nullopt;
  const auto dataAt = FileOffsetOf(sections, U32(dataEntry, 0), size);
  if (!dataAt) return std::nullopt;
  std::string data = readAt(*dataAt, size);
  if (data.size() < size) return std::nullopt;  // the file ends inside it
  return data;
}

std::optional<VersionStrings> ParseVersionResource(std::string_view data) {
  const auto root = ReadBlock(data, 0, data.size());
  if (!root || !KeyIs(root->key, "VS_VERSION_INFO")) return std::nullopt;
  std::vector<std::string> translations;  // "040904b0", in the order listed
  std::vector<std::pair<std::string, VersionStrings>> tables;
  ForEachChild(data, *root, [&](const Block& part) {
    if (KeyIs(part.key, "VarFileInfo")) {
      ForEachChild(data, part, [&](const Block& var) {
        if (!KeyIs(var.key, "Translation")) return;
        for (std::size_t p = var.valueAt; p + 4 <= var.valueAt + var.valueBytes && translations.size() < 64; p += 4) {
          char key[16];
          std::snprintf(key, sizeof key, "%04x%04x", U16(data, p), U16(data, p + 2));
          translations.emplace_back(key);
        }
      });
    } else if (KeyIs(part.key, "StringFileInfo")) {
      ForEachChild(data, part, [&](const Block& table) {
        VersionStrings strings;
        ForEachChild(data, table, [&](const Block& s) {
          std::string* field = KeyIs(s.key, "CompanyName")        ? &strings.companyName
                               : KeyIs(s.key, "OriginalFilename") ? &strings.originalFilename
                               : KeyIs(s.key, "FileDescription")  ? &strings.fileDescription
                               : KeyIs(s.key, "ProductName")      ? &strings.productName
                                                                  : nullptr;
          if (field && field->empty()) *field = TextValue(data, s);
        });
        if (tables.size() < 64) tables.emplace_back(AsciiLower(Utf8FromUtf16(table.key)), std::move(strings));
      });
    }
  });
  for (const std::string& wanted : translations)
    for (const auto& [key, strings] : tables)
      if (key == wanted && !Empty(strings)) return strings;
  for (const auto& [key, strings] : tables)
    if (!Empty(strings)) return strings;
  return std::nullopt;
}

std::string OriginalProgramName(std::string_view originalFilename) {
  while (!originalFilename.empty() && static_cast<unsigned char>(originalFilename.back()) <= ' ')
    originalFilename.remove_suffix(1);
  while (!originalFilename.empty() && static_cast<unsigned char>(originalFilename.front()) <= ' ')
    originalFilename.remove_prefix(1);
  std::string name = AsciiLower(FileNameOf(originalFilename));
  if (name.ends_with(".mui")) name.resize(name.size() - 4);
  return name;
}

}  // namespace wl
