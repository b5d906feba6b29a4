#include "judge/signature_marks.h"

#include <cstring>

namespace wl {
namespace {

std::uint32_t Read32(std::string_view bytes, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
  return v;
}

std::uint16_t Read16(std::string_view bytes, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                    (static_cast<unsigned char>(bytes[at + 1]) << 8));
}

// The security directory of a PE image: its entry in the optional header's
// data directories (index 4), after the headers of either word size.
SignatureMark PeMark(std::string_view head, std::uint64_t size) {
  if (head.size() < 0x40) return SignatureMark::Unknown;
  const std::uint32_t peAt = Read32(head, 0x3C);
  if (peAt > head.size() || head.size() - peAt < 24 + 2) return SignatureMark::Unknown;
  if (head.substr(peAt, 4) != std::string_view("PE\0\0", 4)) return SignatureMark::Unknown;
  const std::size_t optional = peAt + 24;
  const std::uint16_t magic = Read16(head, optional);
  std::size_t directories;
  if (magic == 0x10B)
    directories = optional + 96;
  else if (magic == 0x20B)
    directories = optional + 112;
  else
    return SignatureMark::Unknown;
  const std::size_t entry = directories + 4 * 8;  // IMAGE_DIRECTORY_ENTRY_SECURITY
  const std::uint16_t optionalSize = Read16(head, peAt + 20);
  // A header too short to hold the entry has no security directory.
  if (entry + 8 > optional + optionalSize) return SignatureMark::None;
  if (entry + 8 > head.size()) return SignatureMark::Unknown;
  const std::uint32_t offset = Read32(head, entry);
  const std::uint32_t length = Read32(head, entry + 4);
  if (offset == 0 && length == 0) return SignatureMark::None;
  // Something is there (even a damaged table): the verifier says what.
  (void)size;
  return SignatureMark::Present;
}

}  // namespace

SignatureMark SignatureMarkOf(std::string_view head, std::string_view tail, std::uint64_t size) {
  if (head.size() >= 2 && head[0] == 'M' && head[1] == 'Z') return PeMark(head, size);
  // An installer package (a compound file) may hold its signature stream.
  if (head.size() >= 8 && std::memcmp(head.data(), "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) == 0)
    return SignatureMark::Unknown;
  // Scripts end with "Begin signature block" … "End signature block".
  if (tail.find("signature block") != std::string_view::npos) return SignatureMark::Present;
  // UTF-16 scripts: the same words with a zero after each letter.
  static constexpr char kWide[] = "s\0i\0g\0n\0a\0t\0u\0r\0e\0 \0b\0l\0o\0c\0k";
  if (tail.find(std::string_view(kWide, sizeof kWide - 1)) != std::string_view::npos) return SignatureMark::Present;
  return SignatureMark::None;
}

}  // namespace wl
