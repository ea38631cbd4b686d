#pragma once

// One run against one board, a step a file:
//   update_sequence.cpp   Run: the tries and what ends the run; the order of the
//                         steps below in each try; where changes begin; starting
//                         the firmware
//   bootloader_entry.cpp  EnterBootloader: reset and sync until the bootloader answers
//   board_check.cpp       CheckBoard: --check, compare and change nothing
//   board_backup.cpp      SaveBoard: --save, the board into a file before it changes
//   eeprom_phase.cpp      UpdateEEPROM: read, compare, write what differs, verify
//   code_phase.cpp        UpdateCode: read, compare, erase, program top down, verify,
//                         run
//   updater.cpp           the exchange helpers all of them share
//   progress_display.cpp  every line printed, and the block displays with
//                         their progress at a terminal

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>

#include "console.h"
#include "driver/board_backup.h"
#include "driver/progress_display.h"
#include "driver/run_ending.h"
#include "image/word_image.h"
#include "link/clock.h"
#include "link/link.h"
#include "protocol/frames.h"

namespace zelmo::driver {

// The read-back of program memory covers words 0x0000-0x1FFF, kept as the
// bytes arrived (high byte first), so no host byte order enters a word.
constexpr std::size_t kOldCodeWords = 8192;

// How the handshake may end before the bootloader answers. By default it
// asks without limit and says nothing more.
struct HandshakeOptions {
  int attempts = 0;                        // unanswered attempts allowed; 0: no limit
  std::function<void()> on_first_silence;  // after the first unanswered attempt
};

// What a comparison found: how many bytes or words differ, and the first.
struct Difference {
  int count = 0;
  std::size_t first = 0;

  // Looks at every index of [from, to), not only up to the first
  // difference: a check reports how much differs.
  template <typename Differs>
  static Difference Find(std::size_t from, std::size_t to, Differs differs) {
    Difference difference;
    for (std::size_t at = from; at < to; ++at) {
      if (differs(at) && difference.count++ == 0) difference.first = at;
    }
    return difference;
  }
};

// What a run does besides the update itself; by default, nothing.
struct RunPlan {
  HandshakeOptions handshake;
  bool check = false;             // compare only, change nothing
  BoardBackup* backup = nullptr;  // the board into a file before it changes
  bool keep_eeprom = false;       // never write the board's EEPROM
  bool start = false;             // run request also when the code is found up to date
  // The regions the file holds data for; a run changes only those.
  bool file_has_eeprom = true;
  bool file_has_application = true;
  // Called once, just before the first request that changes the board.
  std::function<void()> before_change;
  // Tries after the first, once the bootloader has answered: a passing
  // fault costs a try instead of the run.
  int retries = 0;
  // Whether someone asked the run to stop (a deferred Ctrl-C, SIGTERM or
  // hang-up): then no new try begins.
  std::function<bool()> stop_requested;
};

// One update of one board: the handshake, the EEPROM phase and the code
// phase, in that order, tried again as the plan allows. A step that meets a
// failure prints its message and hands it up to Run, which decides.
class Updater {
 public:
  Updater(const image::WordImage& new_code, link::Link& link, link::Clock& clock,
          const Console& console)
      : NewCode(new_code),
        link_(link),
        clock_(clock),
        console_(console),
        display_(console, clock) {}

  // The whole run, every try, to its ending.
  RunEnding Run(const RunPlan& plan);

  // A word of the last read-back of program memory.
  [[nodiscard]] std::uint16_t OldCodeWord(std::uint16_t address) const;
  [[nodiscard]] const RunTally& Tally() const { return tally_; }

 private:
  // What has been read of the board in this try: the check, the backup and
  // the phases share one read.
  struct Reading {
    bool eeprom = false;
    bool code = false;
  };

  RunEnding Try();
  void BeginTry();
  [[nodiscard]] bool MayRetry(const TryFailure& failure, int number) const;
  [[nodiscard]] bool Reconnect();
  [[nodiscard]] HandshakeOptions HandshakeOfThisTry() const;
  void EnterBootloader(const HandshakeOptions& options);
  bool ReadAndCheckEEPROM();
  void UpdateEEPROM();
  bool ReadAndCheck();
  RunEnding UpdateCode();
  RunEnding CodeUpToDate(const char* lead);
  RunEnding VerifyCode();

  // Compares the board with the image and changes nothing; fills the
  // backup (if any) from the same reads. Ends with 0 when what the file
  // holds matches, else 2.
  RunEnding CheckBoard();
  [[nodiscard]] bool CheckEEPROM();
  [[nodiscard]] bool CheckCode();
  // Reads the whole board into backup before anything on it changes.
  void SaveBoard(BoardBackup& backup);

  void Send(std::span<const std::uint8_t> frame);
  void SendBlock(std::size_t length);
  int Wait(std::span<std::uint8_t> destination, int minimum, int budget);
  void CheckLink();
  [[noreturn]] void WentAway();
  void Say(const char* text);
  [[nodiscard]] RunEnding Done(int status) const;
  [[noreturn]] void Fail(const char* text, Retry retry = Retry::kOnceAnswered);

  [[noreturn]] void GiveUp(int attempts);
  [[noreturn]] void RefusedSync() const;
  void ReadEEPROM();
  [[nodiscard]] Difference CompareEEPROM() const;
  void WriteDifferingEEPROMBytes();
  void ReadCodeBlock();
  void ReadCode();
  [[nodiscard]] Difference CompareCode() const;
  [[nodiscard]] std::unique_ptr<image::WordImage> Snapshot() const;
  void SayEEPROMDifference(const Difference& difference);
  void Changing();
  void SendRun();
  void StartFirmware();
  [[nodiscard]] bool HoldsEntryBlock() const;
  void Erase(const char* lead);
  void ProgramBlocks();
  [[nodiscard]] std::span<const std::uint16_t, protocol::kBlockWords> BlockWords(
      std::uint16_t address) const;
  [[nodiscard]] bool BlankInImage(std::uint16_t address) const;
  void WriteUntilAccepted(const protocol::WriteFrame& frame);

  const image::WordImage& NewCode;
  link::Link& link_;
  link::Clock& clock_;
  Console console_;
  ProgressDisplay display_;

  std::array<std::uint8_t, 2 * kOldCodeWords> OldCode{};
  std::array<std::uint8_t, image::kEEPROMSize> EEPROM{};
  protocol::Block Block{};
  protocol::Block RXBlock{};
  std::uint16_t FlashAddr = 0;
  const RunPlan* plan_ = nullptr;
  Reading read_;
  bool changing_ = false;        // this try has begun to change the board
  bool changed_before_ = false;  // an earlier try had
  bool bootloader_answered_ = false;
  bool backup_saved_ = false;
  RunTally tally_;
};

}  // namespace zelmo::driver
