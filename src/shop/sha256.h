#pragma once
// SHA-256 (FIPS 180-4), enough to fingerprint the bytes of a transfer.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace qxr {

class Sha256 {
 public:
  Sha256() { reset(); }
  void reset();
  void update(std::string_view bytes);
  // The digest of everything given since the last reset; the object is reset.
  std::array<std::uint8_t, 32> finish();
  // The digest as 64 lower-case hexadecimal digits.
  std::string finishHex();

 private:
  void block(const std::uint8_t* data);
  std::array<std::uint32_t, 8> state_{};
  std::array<std::uint8_t, 64> buffer_{};
  std::size_t buffered_ = 0;
  std::uint64_t length_ = 0;
};

std::string sha256Hex(std::string_view bytes);

}  // namespace qxr
