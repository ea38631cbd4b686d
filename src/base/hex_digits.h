#pragma once

#include <array>
#include <cstdint>

namespace zelmo {

// The value of a hexadecimal digit of either case, by table: the HEX
// reader converts every field through it.
inline constexpr std::uint8_t kNotAHexDigit = 0xFF;

inline constexpr std::array<std::uint8_t, 256> kHexDigitValues = [] {
  std::array<std::uint8_t, 256> values{};
  values.fill(kNotAHexDigit);
  for (unsigned d = 0; d < 10; ++d) values['0' + d] = static_cast<std::uint8_t>(d);
  for (unsigned d = 0; d < 6; ++d) {
    values['a' + d] = static_cast<std::uint8_t>(10 + d);
    values['A' + d] = static_cast<std::uint8_t>(10 + d);
  }
  return values;
}();

constexpr std::uint8_t HexDigitValue(char c) {
  return kHexDigitValues[static_cast<unsigned char>(c)];
}

}  // namespace zelmo
