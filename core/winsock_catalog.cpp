#include "core/winsock_catalog.h"

#include <algorithm>

#include "core/utf16_text.h"

namespace wl {
namespace {

// Where the description's fields lie.
constexpr std::size_t kFlagsAt = 0, kProviderFlagsAt = 16, kGuidAt = 20, kCatalogIdAt = 36, kChainLenAt = 40,
                      kChainAt = 44, kIntsAt = 72, kMessageSizeAt = 108, kReservedAt = 112, kNameAt = 116;
constexpr std::size_t kNameChars = 256;
static_assert(kNameAt + kNameChars * 2 == kProtocolInfoSize);

std::uint32_t U32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

void PutU32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string GuidText(const GuidBytes& g) {
  static const char hex[] = "0123456789ABCDEF";
  // The byte order of the text: the first three groups are little-endian.
  static const int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
  std::string out = "{";
  for (int i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) out += '-';
    const std::uint8_t b = g[static_cast<std::size_t>(order[i])];
    out += hex[b >> 4];
    out += hex[b & 15];
  }
  return out + "}";
}

std::optional<GuidBytes> GuidFromText(std::string_view text) {
  if (text.size() == 38 && text.front() == '{' && text.back() == '}') text = text.substr(1, 36);
  if (text.size() != 36) return std::nullopt;
  static const int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
  GuidBytes g{};
  std::size_t at = 0;
  for (int i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) {
      if (text[at] != '-') return std::nullopt;
      ++at;
    }
    const int hi = HexValue(text[at]), lo = HexValue(text[at + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    g[static_cast<std::size_t>(order[i])] = static_cast<std::uint8_t>(hi * 16 + lo);
    at += 2;
  }
  return g;
}

std::vector<std::uint32_t> ProtocolInfo::ChainIds() const {
  const int n = std::clamp(chainLen, 0, kMaxProtocolChain);
  return {chainEntries.begin(), chainEntries.begin() + n};
}

std::optional<ProtocolInfo> ParseProtocolInfo(const std::uint8_t* p, std::size_t size) {
  if (!p || size < kProtocolInfoSize) return std::nullopt;
  ProtocolInfo info;
  for (std::size_t i = 0; i < 4; ++i) info.serviceFlags[i] = U32(p + kFlagsAt + 4 * i);
  info.providerFlags = U32(p + kProviderFlagsAt);
  std::copy(p + kGuidAt, p + kGuidAt + 16, info.providerId.begin());
  info.catalogEntryId = U32(p + kCatalogIdAt);
  info.chainLen = static_cast<std::int32_t>(U32(p + kChainLenAt));
  for (std::size_t i = 0; i < kMaxProtocolChain; ++i) info.chainEntries[i] = U32(p + kChainAt + 4 * i);
  std::int32_t* ints[] = {&info.version,     &info.addressFamily, &info.maxSockAddr,
                          &info.minSockAddr, &info.socketType,    &info.protocol,
                          &info.protocolMaxOffset, &info.networkByteOrder, &info.securityScheme};
  for (std::size_t i = 0; i < 9; ++i) *ints[i] = static_cast<std::int32_t>(U32(p + kIntsAt + 4 * i));
  info.messageSize = U32(p + kMessageSizeAt);
  info.providerReserved = U32(p + kReservedAt);
  std::u16string name;
  for (std::size_t i = 0; i < kNameChars; ++i) {
    const char16_t c = static_cast<char16_t>(p[kNameAt + 2 * i] | p[kNameAt + 2 * i + 1] << 8);
    if (c == 0) break;
    name += c;
  }
  info.name = Utf8FromUtf16(name);
  return info;
}

std::optional<PackedCatalogItem> ParsePackedCatalogItem(const std::uint8_t* bytes, std::size_t size,
                                                        std::string* why) {
  if (!bytes || size < kPackedPathSize + kProtocolInfoSize) {
    if (why)
      *why = "the packed item has " + std::to_string(size) + " bytes; a path and a protocol description need " +
             std::to_string(kPackedPathSize + kProtocolInfoSize);
    return std::nullopt;
  }
  PackedCatalogItem item;
  const std::uint8_t* end = std::find(bytes, bytes + kPackedPathSize, std::uint8_t{0});
  item.pathUnterminated = end == bytes + kPackedPathSize;
  item.dllPathAnsi.assign(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(end - bytes));
  const std::uint8_t* info = bytes + kPackedPathSize;
  item.info = *ParseProtocolInfo(info, kProtocolInfoSize);
  item.infoBytes.assign(info, info + kProtocolInfoSize);
  item.extraBytes = size - kPackedPathSize - kProtocolInfoSize;
  return item;
}

bool RemapProtocolChain(std::vector<std::uint8_t>& infoBytes, const std::map<std::uint32_t, std::uint32_t>& ids) {
  const auto info = ParseProtocolInfo(infoBytes.data(), infoBytes.size());
  if (!info) return false;
  const std::vector<std::uint32_t> chain = info->ChainIds();
  for (std::size_t i = 0; i < chain.size(); ++i)
    if (const auto it = ids.find(chain[i]); it != ids.end()) PutU32(infoBytes.data() + kChainAt + 4 * i, it->second);
  return true;
}

}  // namespace wl
