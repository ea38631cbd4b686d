#include "image/hex_writer.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <span>
#include <vector>

#include "protocol/frames.h"

namespace zelmo::image {
namespace {

constexpr std::size_t kRecordBytes = 16;
using protocol::kBlockWords;  // a record per code block
constexpr std::uint8_t kDataRecord = 0x00;
constexpr std::uint8_t kUpperAddressRecord = 0x04;
constexpr std::uint16_t kEEPROMOffset = 0xE000;  // of upper address 0001
constexpr const char* kEndOfFile = ":00000001FF\n";

void AppendRecord(std::string& out, std::uint16_t offset, std::uint8_t type,
                  std::span<const std::uint8_t> data) {
  std::array<char, 16> field{};
  std::snprintf(field.data(), field.size(), ":%02X%04X%02X", static_cast<unsigned>(data.size()),
                static_cast<unsigned>(offset), static_cast<unsigned>(type));
  out += field.data();
  std::size_t sum = data.size() + (offset >> 8U) + (offset & 0xFFU) + type;
  for (const std::uint8_t byte : data) {
    std::snprintf(field.data(), field.size(), "%02X", static_cast<unsigned>(byte));
    out += field.data();
    sum += byte;
  }
  std::snprintf(field.data(), field.size(), "%02X\n",
                static_cast<unsigned>((0x100U - (sum & 0xFFU)) & 0xFFU));
  out += field.data();
}

void AppendUpperAddress(std::string& out, std::uint16_t upper) {
  const std::array<std::uint8_t, 2> bytes = {static_cast<std::uint8_t>(upper >> 8U),
                                             static_cast<std::uint8_t>(upper & 0xFFU)};
  AppendRecord(out, 0, kUpperAddressRecord, bytes);
}

// Data records of 16 bytes from byte address `at` on.
void AppendData(std::string& out, std::uint16_t at, std::span<const std::uint8_t> bytes) {
  for (std::size_t done = 0; done < bytes.size(); done += kRecordBytes) {
    const auto offset = static_cast<std::uint16_t>(at + done);
    AppendRecord(out, offset, kDataRecord,
                 bytes.subspan(done, std::min(kRecordBytes, bytes.size() - done)));
  }
}

// Word by word, not by the programming loop's sum: a backup must keep a
// block whose words only add up to a blank one.
bool IsBlank(std::span<const std::uint16_t> words) {
  return std::all_of(words.begin(), words.end(), [](std::uint16_t w) { return w == kBlankWord; });
}

// A board whose application region is blank still gets one block of
// explicit blank words: a file without application data would leave the
// region as it is when flashed back, instead of erasing it.
void AppendApplication(std::string& out, const WordImage& NewCode) {
  const bool blank_board = IsBlank(std::span<const std::uint16_t>(NewCode).subspan(
      kApplicationStart, kApplicationEnd - kApplicationStart));
  for (std::size_t block = kApplicationStart; block < kApplicationEnd; block += kBlockWords) {
    const auto words = std::span<const std::uint16_t>(NewCode).subspan(block, kBlockWords);
    if (IsBlank(words) && !(blank_board && block == kApplicationStart)) continue;
    std::vector<std::uint8_t> bytes;
    for (const std::uint16_t word : words) {
      bytes.push_back(static_cast<std::uint8_t>(word & 0xFFU));
      bytes.push_back(static_cast<std::uint8_t>(word >> 8U));
    }
    AppendData(out, static_cast<std::uint16_t>(2 * block), bytes);
  }
}

void AppendEEPROM(std::string& out, const WordImage& NewCode) {
  std::vector<std::uint8_t> bytes;
  for (std::size_t k = 0; k < kEEPROMSize; ++k) {
    bytes.push_back(EEPROMByte(NewCode, k));
    bytes.push_back(0x00);
  }
  AppendData(out, kEEPROMOffset, bytes);
}

}  // namespace

std::string FormatHexFile(const WordImage& NewCode) {
  std::string out;
  AppendUpperAddress(out, 0x0000);
  AppendApplication(out, NewCode);
  AppendUpperAddress(out, 0x0001);
  AppendEEPROM(out, NewCode);
  out += kEndOfFile;
  return out;
}

}  // namespace zelmo::image
