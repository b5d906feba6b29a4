#include "judge/signature_marks.h"

#include <gtest/gtest.h>

#include <string>

namespace wl {
namespace {

// A PE image's headers: the DOS header pointing at "PE\0\0", the file
// header, and an optional header of the given magic whose security
// directory (data directory 4) has the given offset and size.
std::string PeHeaders(std::uint16_t magic, std::uint32_t securityOffset, std::uint32_t securitySize,
                      std::uint16_t optionalSize = 0) {
  std::string image(0x400, '\0');
  image[0] = 'M';
  image[1] = 'Z';
  const std::uint32_t peAt = 0x80;
  auto put32 = [&image](std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) image[at + static_cast<std::size_t>(i)] = static_cast<char>(v >> (8 * i));
  };
  auto put16 = [&image](std::size_t at, std::uint16_t v) {
    image[at] = static_cast<char>(v);
    image[at + 1] = static_cast<char>(v >> 8);
  };
  put32(0x3C, peAt);
  image.replace(peAt, 4, std::string("PE\0\0", 4));
  const std::size_t directories = peAt + 24 + (magic == 0x20B ? 112 : 96);
  put16(peAt + 20, optionalSize ? optionalSize : static_cast<std::uint16_t>(directories + 16 * 8 - peAt - 24));
  put16(peAt + 24, magic);
  put32(directories + 4 * 8, securityOffset);
  put32(directories + 4 * 8 + 4, securitySize);
  return image;
}

TEST(SignatureMarks, ProgramsScriptsAndPackagesAreToldApart) {
  for (std::uint16_t magic : {std::uint16_t{0x10B}, std::uint16_t{0x20B}}) {
    EXPECT_EQ(SignatureMarkOf(PeHeaders(magic, 0, 0), "", 0x400), SignatureMark::None) << magic;
    EXPECT_EQ(SignatureMarkOf(PeHeaders(magic, 0x1000, 0x800), "", 0x1800), SignatureMark::Present) << magic;
  }
  // An optional header too short to hold the security entry has none.
  EXPECT_EQ(SignatureMarkOf(PeHeaders(0x20B, 0x1000, 0x800, 112), "", 0x1800), SignatureMark::None);
  // What the marks cannot read goes to the verifier.
  EXPECT_EQ(SignatureMarkOf(PeHeaders(0x1234, 0, 0), "", 0x400), SignatureMark::Unknown);
  std::string farAway = PeHeaders(0x20B, 0, 0);
  farAway[0x3C] = '\xFF';
  farAway[0x3F] = '\x7F';  // e_lfanew beyond the bytes read
  EXPECT_EQ(SignatureMarkOf(farAway, "", 0x400), SignatureMark::Unknown);
  EXPECT_EQ(SignatureMarkOf("MZ", "", 2), SignatureMark::Unknown);
  EXPECT_EQ(SignatureMarkOf(std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + "msi", "", 11),
            SignatureMark::Unknown);

  const std::string script = "Write-Output 1\r\n# SIG # Begin signature block\r\n# MIIx\r\n# SIG # End signature block\r\n";
  EXPECT_EQ(SignatureMarkOf(script, script, script.size()), SignatureMark::Present);
  std::string wide;
  for (char c : std::string("'' SIG '' Begin signature block")) wide += std::string{c, '\0'};
  EXPECT_EQ(SignatureMarkOf(wide, wide, wide.size()), SignatureMark::Present);
  EXPECT_EQ(SignatureMarkOf("echo hi", "echo hi", 7), SignatureMark::None);
  EXPECT_EQ(SignatureMarkOf("", "", 0), SignatureMark::None);
}

}  // namespace
}  // namespace wl
