// The Winsock catalog's stored forms, read from bytes that may be damaged or
// hostile: a protocol entry's description (the system's WSAPROTOCOL_INFOW,
// 628 bytes, little-endian) and the packed catalog item the registry keeps
// for each protocol entry (the provider DLL's path as ANSI text padded to
// MAX_PATH bytes, then the description, then whatever later systems append).
// Portable: the scan and the write routines hand bytes in.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wl {

inline constexpr std::size_t kProtocolInfoSize = 628;
inline constexpr std::size_t kPackedPathSize = 260;
inline constexpr int kMaxProtocolChain = 7;

using GuidBytes = std::array<std::uint8_t, 16>;

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper-case, as the system writes
// a GUID (the first three groups are stored little-endian).
std::string GuidText(const GuidBytes& guid);
// The GUID of such a text (any case, braces optional); nullopt otherwise.
std::optional<GuidBytes> GuidFromText(std::string_view text);

struct ProtocolInfo {
  std::array<std::uint32_t, 4> serviceFlags{};
  std::uint32_t providerFlags = 0;
  GuidBytes providerId{};
  std::uint32_t catalogEntryId = 0;
  std::int32_t chainLen = 0;  // 0: a layered entry, 1: a base provider, more: a chain over others
  std::array<std::uint32_t, kMaxProtocolChain> chainEntries{};
  std::int32_t version = 0, addressFamily = 0, maxSockAddr = 0, minSockAddr = 0, socketType = 0, protocol = 0,
               protocolMaxOffset = 0, networkByteOrder = 0, securityScheme = 0;
  std::uint32_t messageSize = 0, providerReserved = 0;
  std::string name;  // the protocol's name, UTF-8 (to its first NUL, at most 255 characters)

  bool Layered() const { return chainLen == 0; }
  bool Chain() const { return chainLen > 1; }
  // The catalog entries a chain lists, as far as its length is believable
  // (a length beyond the array's counts as the whole array).
  std::vector<std::uint32_t> ChainIds() const;
};

// The description's fields; nullopt when fewer than kProtocolInfoSize bytes.
std::optional<ProtocolInfo> ParseProtocolInfo(const std::uint8_t* bytes, std::size_t size);

struct PackedCatalogItem {
  std::string dllPathAnsi;  // the path's bytes as stored (the system's ANSI code page), to the first NUL
  bool pathUnterminated = false;  // no NUL within the path's field: the path was cut there
  ProtocolInfo info;
  std::vector<std::uint8_t> infoBytes;  // the description's own kProtocolInfoSize bytes
  std::size_t extraBytes = 0;           // bytes after the description (newer systems add some)
};

// A registry value PackedCatalogItem; nullopt and why when it is too short to
// hold a path and a description.
std::optional<PackedCatalogItem> ParsePackedCatalogItem(const std::uint8_t* bytes, std::size_t size,
                                                        std::string* why = nullptr);

// The description's bytes with each chain entry that ids maps replaced by
// what it maps to (a provider installed again gets new catalog ids; the
// chains over it must name those). False when the bytes are no description.
bool RemapProtocolChain(std::vector<std::uint8_t>& infoBytes, const std::map<std::uint32_t, std::uint32_t>& ids);

}  // namespace wl
