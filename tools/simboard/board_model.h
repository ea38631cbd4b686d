#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <span>
#include <vector>

#include "image/word_image.h"
#include "protocol/frames.h"
#include "tools/simboard/log_replay.h"

namespace zelmo::sim {

// Ways a board can misbehave, all off by default.
struct Faults {
  int silent_request = -1;  // request code (0xC0 for sync) that gets no answer...
  int silent_from = 0;      // ...from its n-th occurrence on, counted from 0...
  int silent_count = -1;    // ...for this many occurrences (-1: all after)
  std::uint8_t sync_answer = protocol::kSyncAccepted;
  std::vector<std::uint8_t> stale_bytes;  // waiting in the port before the first request
  int checksum_error_block = -1;          // block address whose first writes are refused
  int checksum_errors = 0;
  bool lose_eeprom_writes = false;  // acknowledged, not kept
  int bad_word = -1;                // reads back wrong once the board was programmed...
  int bad_word_reads = -1;          // ...in this many reads of its block (-1: all)
  int not_ready = 0;                // I2C: not-ready bytes before each reply
  int i2c_fail_after = -1;          // I2C: receive-byte transfers that succeed, then...
  int i2c_fail_count = -1;          // ...this many fail (-1: all after)
  std::size_t piece_size = 0;       // replies split into pieces of this size...
  int piece_delay_ms = 0;           // ...this far apart (real-time tool only)
  std::size_t vanish_after = 0;     // the port goes away after this many frames (0: never)...
  int back_after_opens = -1;        // ...and is back at this attempt to open it (-1: never)
};

// The PIC as the updater sees it: the running TNC firmware, which restarts
// into the bootloader on the reset request, and the bootloader with its
// command set. Bytes arrive as a stream with no framing, in any pieces.
class BoardModel {
 public:
  static constexpr std::size_t kFlashWords = 0x1000;
  static constexpr std::uint8_t kAck = 0x00;

  explicit BoardModel(Faults faults = {});
  // A board that answers exactly as a logged one did, and nothing more.
  explicit BoardModel(LogReplay replay);

  // Takes the flash (14-bit) and EEPROM content from an image.
  void Load(const image::WordImage& image);

  void Receive(std::span<const std::uint8_t> bytes);

  // Reply bytes waiting for the host, oldest first.
  std::deque<std::uint8_t>& Output() { return output_; }
  // True, and one fewer left, while a reply's not-ready bytes are due.
  bool TakeNotReady();
  // I2C: whether the slave acknowledges the next receive-byte transfer.
  bool AcknowledgesReceive();

  // Every frame received, as it arrived, in order.
  [[nodiscard]] const std::vector<std::vector<std::uint8_t>>& Frames() const { return frames_; }

  [[nodiscard]] std::uint16_t FlashWord(std::size_t address) const { return flash_.at(address); }
  void SetFlashWord(std::size_t address, std::uint16_t value) { flash_.at(address) = value; }
  [[nodiscard]] std::uint8_t EEPROMByte(std::size_t k) const { return eeprom_.at(k); }
  void SetEEPROMByte(std::size_t k, std::uint8_t value) { eeprom_.at(k) = value; }

  // Whether the port has gone away (once, after Faults::vanish_after
  // frames), until it is plugged in again.
  [[nodiscard]] bool Unplugged() const { return unplugged_; }
  void PlugIn() { unplugged_ = false; }

  [[nodiscard]] bool InBootloader() const { return bootloader_; }
  [[nodiscard]] bool Started() const { return started_; }
  // Requests that reached outside words 0x0200-0x0FFF or the 64 EEPROM bytes.
  [[nodiscard]] int Violations() const { return violations_; }
  [[nodiscard]] const Faults& GetFaults() const { return faults_; }
  // The log being replayed; null for a modelled board.
  [[nodiscard]] const LogReplay* Replay() const { return replay_ ? &*replay_ : nullptr; }

 private:
  bool ConsumeFrame();
  bool ConsumeApplicationBytes();
  bool ConsumeBootloaderFrame();
  [[nodiscard]] std::size_t ControlFrameLength() const;
  void Handle(const std::vector<std::uint8_t>& frame);
  void Reply(std::uint8_t request, std::vector<std::uint8_t> bytes);
  void ReadCode(std::uint16_t address);
  void WriteCode(const std::vector<std::uint8_t>& frame);
  void WriteEEPROM(std::uint8_t value, std::uint8_t offset);
  [[nodiscard]] bool ReadsBadWord(std::uint16_t address);
  [[nodiscard]] std::uint16_t ReadBackWord(std::size_t address, bool corrupt) const;

  Faults faults_;
  std::optional<LogReplay> replay_;
  std::array<std::uint16_t, kFlashWords> flash_{};
  std::array<std::uint8_t, image::kEEPROMSize> eeprom_{};
  std::vector<std::uint8_t> pending_;
  std::deque<std::uint8_t> output_;
  std::vector<std::vector<std::uint8_t>> frames_;
  std::map<int, int> requests_seen_;
  std::map<int, int> refused_writes_;
  int not_ready_due_ = 0;
  int bad_reads_ = 0;
  int acknowledged_receives_ = 0;
  int refused_receives_ = 0;
  int violations_ = 0;
  bool bootloader_ = false;
  bool programmed_ = false;
  bool started_ = false;
  bool unplugged_ = false;
  bool vanished_ = false;
};

}  // namespace zelmo::sim
