// SHA-256 (FIPS 180-4), for the hash of a judged file and the thumbprints of
// certificates. Portable.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace wl {

class Sha256 {
 public:
  Sha256();
  void Update(const void* data, std::size_t size);
  // The digest; the object must not be updated afterwards.
  std::array<std::uint8_t, 32> Final();

 private:
  void Block(const std::uint8_t* block);
  std::array<std::uint32_t, 8> state_;
  std::array<std::uint8_t, 64> buffer_{};
  std::size_t buffered_ = 0;
  std::uint64_t length_ = 0;  // bytes
};

// Lower-case hex digits of bytes.
std::string HexText(const std::uint8_t* bytes, std::size_t size);
// The digest of data as 64 lower-case hex digits.
std::string Sha256Hex(std::string_view data);

}  // namespace wl
