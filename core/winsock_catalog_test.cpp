#include "core/winsock_catalog.h"

#include <gtest/gtest.h>

#include <cstring>

namespace wl {
namespace {

void Put32(std::vector<uint8_t>& b, std::size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}

// A packed catalog item as the registry keeps one: the path padded to
// MAX_PATH, then the protocol's description, then `extra` bytes.
std::vector<uint8_t> Packed(const std::string& path, uint32_t catalogId, int32_t chainLen,
                            std::vector<uint32_t> chain, const std::u16string& name, std::size_t extra = 4) {
  std::vector<uint8_t> b(kPackedPathSize + kProtocolInfoSize + extra, 0);
  std::memcpy(b.data(), path.data(), std::min(path.size(), kPackedPathSize));
  const std::size_t info = kPackedPathSize;
  const auto guid = *GuidFromText("{E70F1AA0-AB8B-11CF-8CA3-00805F48A192}");
  std::memcpy(b.data() + info + 20, guid.data(), 16);
  Put32(b, info + 36, catalogId);
  Put32(b, info + 40, static_cast<uint32_t>(chainLen));
  for (std::size_t i = 0; i < chain.size() && i < 7; ++i) Put32(b, info + 44 + 4 * i, chain[i]);
  Put32(b, info + 76, 2);  // AF_INET
  for (std::size_t i = 0; i < name.size() && i < 256; ++i) {
    b[info + 116 + 2 * i] = static_cast<uint8_t>(name[i] & 0xFF);
    b[info + 117 + 2 * i] = static_cast<uint8_t>(name[i] >> 8);
  }
  return b;
}

TEST(WinsockCatalog, GuidTextsGoBothWays) {
  const auto g = GuidFromText("{e70f1aa0-ab8b-11cf-8ca3-00805f48a192}");
  ASSERT_TRUE(g);
  EXPECT_EQ((*g)[0], 0xA0);  // the first group is stored little-endian
  EXPECT_EQ((*g)[8], 0x8C);
  EXPECT_EQ(GuidText(*g), "{E70F1AA0-AB8B-11CF-8CA3-00805F48A192}");
  EXPECT_EQ(GuidFromText("E70F1AA0-AB8B-11CF-8CA3-00805F48A192"), g);
  for (const char* bad : {"", "{}", "{E70F1AA0-AB8B-11CF-8CA3-00805F48A19}", "{E70F1AA0xAB8B-11CF-8CA3-00805F48A192}",
                          "{E70F1AA0-AB8B-11CF-8CA3-00805F48A19G}", "{E70F1AA0-AB8B-11CF-8CA3-00805F48A192"})
    EXPECT_FALSE(GuidFromText(bad)) << bad;
}

TEST(WinsockCatalog, ReadsPackedItemsOfEveryShape) {
  const auto base = Packed("%SystemRoot%\\system32\\mswsock.dll", 1001, 1, {1001}, u"MSAFD Tcpip [TCP/IP]");
  const auto item = ParsePackedCatalogItem(base.data(), base.size());
  ASSERT_TRUE(item);
  EXPECT_EQ(item->dllPathAnsi, "%SystemRoot%\\system32\\mswsock.dll");
  EXPECT_FALSE(item->pathUnterminated);
  EXPECT_EQ(item->info.name, "MSAFD Tcpip [TCP/IP]");
  EXPECT_EQ(item->info.catalogEntryId, 1001u);
  EXPECT_EQ(item->info.addressFamily, 2);
  EXPECT_EQ(GuidText(item->info.providerId), "{E70F1AA0-AB8B-11CF-8CA3-00805F48A192}");
  EXPECT_EQ(item->extraBytes, 4u);
  EXPECT_EQ(item->infoBytes.size(), kProtocolInfoSize);
  EXPECT_FALSE(item->info.Layered());

  // A path filling its whole field, a name without its NUL, a chain length
  // far beyond the array, a negative one: read, bounded, no more.
  auto hostile = Packed(std::string(300, 'A'), 7, 0x7FFFFFFF, {1, 2, 3, 4, 5, 6, 7}, std::u16string(256, u'x'), 0);
  auto h = ParsePackedCatalogItem(hostile.data(), hostile.size());
  ASSERT_TRUE(h);
  EXPECT_TRUE(h->pathUnterminated);
  EXPECT_EQ(h->dllPathAnsi.size(), kPackedPathSize);
  EXPECT_EQ(h->info.name.size(), 256u);
  EXPECT_EQ(h->info.ChainIds().size(), 7u);
  hostile = Packed("x", 7, -5, {}, u"");
  EXPECT_TRUE(ParsePackedCatalogItem(hostile.data(), hostile.size())->info.ChainIds().empty());
  // A lone surrogate in the name comes through (as the generalised form).
  hostile = Packed("x", 7, 1, {}, std::u16string(1, char16_t(0xD800)));
  EXPECT_EQ(ParsePackedCatalogItem(hostile.data(), hostile.size())->info.name.size(), 3u);

  // Too short, at every size below the least: nullopt with why, never a read
  // beyond the bytes (the sanitizers watch this).
  std::string why;
  for (std::size_t n : {std::size_t{0}, std::size_t{1}, kPackedPathSize, kPackedPathSize + kProtocolInfoSize - 1}) {
    std::vector<uint8_t> cut(base.begin(), base.begin() + static_cast<std::ptrdiff_t>(n));
    EXPECT_FALSE(ParsePackedCatalogItem(cut.data(), cut.size(), &why)) << n;
  }
  EXPECT_NE(why.find("887 bytes"), std::string::npos) << why;
  EXPECT_FALSE(ParsePackedCatalogItem(nullptr, 5000));
  EXPECT_FALSE(ParseProtocolInfo(base.data(), kProtocolInfoSize - 1));
}

TEST(WinsockCatalog, ChainsAreRemappedToNewIds) {
  const auto chain = Packed("x", 1020, 3, {1010, 1001, 77}, u"Chain");
  std::vector<uint8_t> info(chain.begin() + kPackedPathSize, chain.begin() + kPackedPathSize + kProtocolInfoSize);
  ASSERT_TRUE(RemapProtocolChain(info, {{1010, 2044}, {5, 6}}));
  const auto after = ParseProtocolInfo(info.data(), info.size());
  EXPECT_EQ(after->ChainIds(), (std::vector<uint32_t>{2044, 1001, 77}));
  // Entries past the chain's length are left alone; no description, no change.
  std::vector<uint8_t> shortBytes(10, 0);
  EXPECT_FALSE(RemapProtocolChain(shortBytes, {{0, 1}}));
  EXPECT_EQ(shortBytes, std::vector<uint8_t>(10, 0));
}

}  // namespace
}  // namespace wl
