// A Winsock catalog entry from the registry is outside bytes: read arbitrary
// ones as a packed catalog item and as a bare protocol description, remap the
// chain, and read the GUID texts back.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/winsock_catalog.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string why;
  if (const auto item = wl::ParsePackedCatalogItem(data, size, &why)) {
    if (item->dllPathAnsi.size() > wl::kPackedPathSize || item->infoBytes.size() != wl::kProtocolInfoSize ||
        item->extraBytes + wl::kPackedPathSize + wl::kProtocolInfoSize != size)
      std::abort();
    if (item->info.ChainIds().size() > static_cast<std::size_t>(wl::kMaxProtocolChain)) std::abort();
    // The GUID's text reads back as the same GUID.
    if (wl::GuidFromText(wl::GuidText(item->info.providerId)) != item->info.providerId) std::abort();
    std::vector<uint8_t> bytes = item->infoBytes;
    std::map<uint32_t, uint32_t> ids;
    for (uint32_t id : item->info.ChainIds()) ids[id] = id + 1;
    if (!wl::RemapProtocolChain(bytes, ids)) std::abort();
    const auto after = wl::ParseProtocolInfo(bytes.data(), bytes.size());
    if (!after || after->catalogEntryId != item->info.catalogEntryId || after->name != item->info.name) std::abort();
  } else if (why.empty()) {
    std::abort();
  }
  (void)wl::ParseProtocolInfo(data, size);
  (void)wl::GuidFromText(std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
