#include "image/foreign_data.h"

#include <cinttypes>

#include "base/run_failure.h"

namespace zelmo::image {
namespace {

// Program memory that no variant of this board has.
constexpr std::size_t kForeignCodeStart = kApplicationEnd;
constexpr std::size_t kForeignCodeEnd = 0x8000;
// The EEPROM region as far as the image reaches, past the board's 64 bytes.
constexpr std::size_t kForeignEEPROMStart = kEEPROMBase + kEEPROMSize;
constexpr std::uint8_t kBlankEEPROMByte = 0xFF;

template <typename Holds>
std::size_t FirstWord(std::size_t from, std::size_t to, Holds holds) {
  for (std::size_t address = from; address < to; ++address) {
    if (holds(address)) return address;
  }
  return to;
}

}  // namespace

// Checked by ascending address, so the lowest offence is the one named.
void RefuseForeignData(const char* name, const WordImage& NewCode, const HexContent& content,
                       const Console& console) {
  const std::size_t code = FirstWord(kForeignCodeStart, kForeignCodeEnd,
                                     [&](std::size_t a) { return NewCode[a] != kBlankWord; });
  const std::size_t eeprom = FirstWord(kForeignEEPROMStart, kImageWords, [&](std::size_t a) {
    return (NewCode[a] & 0xFFU) != kBlankEEPROMByte;
  });
  if (code < kForeignCodeEnd) {
    FailSaying(FailedIn::kHexFile, console.out,
               "%s holds code at 0x%04zx, beyond the application region 0x0200-0x0FFF: it "
               "was built for another board\n",
               name, code);
  }
  if (eeprom < kImageWords) {
    FailSaying(FailedIn::kHexFile, console.out,
               "%s holds EEPROM data at offset 0x%02zx, beyond the board's 64 bytes: it was "
               "built for another board\n",
               name, eeprom - kEEPROMBase);
  }
  if (content.beyond_image != kNothingBeyond) {
    FailSaying(FailedIn::kHexFile, console.out,
               "%s holds data beyond the PIC's memory at byte address 0x%05" PRIx64
               ": it was built for another board\n",
               name, content.beyond_image);
  }
}

}  // namespace zelmo::image
