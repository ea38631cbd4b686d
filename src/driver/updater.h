#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "console.h"
#include "image/word_image.h"
#include "link/clock.h"
#include "link/link.h"
#include "protocol/frames.h"

namespace zelmo::driver {

// The read-back of program memory covers words 0x0000-0x1FFF, kept as the
// bytes arrived (high byte first), so no host byte order enters a word.
constexpr std::size_t kOldCodeWords = 8192;

// One update of one board: the handshake, the EEPROM phase and the code
// phase, in that order. Each step that meets a failure prints its message
// and ends the run.
class Updater {
 public:
  Updater(const image::WordImage& new_code, link::Link& link, link::Clock& clock,
          const Console& console)
      : NewCode(new_code), link_(link), clock_(clock), console_(console) {}

  void EnterBootloader();
  bool ReadAndCheckEEPROM();
  void UpdateEEPROM();
  bool ReadAndCheck();
  [[noreturn]] void UpdateCode();

  [[nodiscard]] std::uint16_t OldCodeWord(std::uint16_t address) const;
  [[nodiscard]] std::uint16_t CurrentFlashAddr() const { return FlashAddr; }

 private:
  void Send(std::span<const std::uint8_t> frame);
  void SendBlock(std::size_t length);
  int Wait(std::span<std::uint8_t> destination, int minimum, int budget);
  void Say(const char* text) const;
  void ShowAddress() const;
  [[noreturn]] void Fail(const char* text) const;

  void SendResetRequest();
  void WriteDifferingEEPROMBytes();
  void ReadCodeBlock();
  void Erase();
  void ProgramBlocks();
  void WriteUntilAccepted(const protocol::WriteFrame& frame);

  const image::WordImage& NewCode;
  link::Link& link_;
  link::Clock& clock_;
  Console console_;

  std::array<std::uint8_t, 2 * kOldCodeWords> OldCode{};
  std::array<std::uint8_t, image::kEEPROMSize> EEPROM{};
  protocol::Block Block{};
  protocol::Block RXBlock{};
  std::uint16_t FlashAddr = 0;
};

}  // namespace zelmo::driver
