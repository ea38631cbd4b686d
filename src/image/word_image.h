#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace zelmo::image {

// Word addresses throughout; a HEX byte address is twice the word address.
constexpr std::size_t kImageWords = 65536;
constexpr std::uint16_t kBlankWord = 0x3FFF;

constexpr std::uint16_t kApplicationStart = 0x0200;
constexpr std::uint16_t kApplicationEnd = 0x1000;  // one past the last word
constexpr std::uint16_t kEEPROMBase = 0xF000;
constexpr std::size_t kEEPROMSize = 64;

using WordImage = std::array<std::uint16_t, kImageWords>;

// Exchanges the two bytes of the low 16 bits of value (0x12AB -> 0xAB12).
constexpr std::uint16_t reverse(std::uint32_t value) {
  return static_cast<std::uint16_t>(((value & 0xFFU) << 8U) | ((value >> 8U) & 0xFFU));
}

// The EEPROM byte that the image holds for offset k: the low byte of its word.
constexpr std::uint8_t EEPROMByte(const WordImage& NewCode, std::size_t k) {
  return static_cast<std::uint8_t>(NewCode[kEEPROMBase + k] & 0xFFU);
}

}  // namespace zelmo::image
