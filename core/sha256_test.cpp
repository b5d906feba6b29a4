#include "core/sha256.h"

#include <gtest/gtest.h>

#include <string>

namespace wl {
namespace {

// The digests of FIPS 180-4's examples, and input cut at every place around
// the 64-byte block and the 56-byte padding limit, fed whole and in pieces.
TEST(Sha256, KnownDigestsWholeAndInPieces) {
  EXPECT_EQ(Sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(Sha256Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  const std::string million(1000000, 'a');
  EXPECT_EQ(Sha256Hex(million), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");

  for (std::size_t size : {55u, 56u, 57u, 63u, 64u, 65u, 119u, 120u, 128u}) {
    const std::string text(size, 'x');
    Sha256 pieces;
    for (std::size_t i = 0; i < size; i += 7) pieces.Update(text.data() + i, std::min<std::size_t>(7, size - i));
    const auto digest = pieces.Final();
    EXPECT_EQ(HexText(digest.data(), digest.size()), Sha256Hex(text)) << size;
  }
}

}  // namespace
}  // namespace wl
