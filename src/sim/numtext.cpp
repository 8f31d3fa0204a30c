#include "sim/numtext.h"

#include <array>
#include <charconv>
#include <cmath>

namespace qxr {

std::string formatFixed(double value, int width, int precision) {
  std::string text;
  if (std::isnan(value)) {
    text = std::signbit(value) ? "-nan" : "nan";
  } else if (std::isinf(value)) {
    text = value < 0 ? "-inf" : "inf";
  } else {
    // 309 integer digits at most, a sign, a point and the decimals.
    std::array<char, 400> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                      std::chars_format::fixed, precision);
    text.assign(buffer.data(), result.ptr);
  }
  if (static_cast<int>(text.size()) < width) text.insert(0, static_cast<std::size_t>(width) - text.size(), ' ');
  return text;
}

}  // namespace qxr
