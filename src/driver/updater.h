#pragma once

// One run against one board, a step a file. A run is tries; each try
// begins with a fresh TryState, so nothing of a failed try is reset by
// hand. Every failure leaves as a RunFailure (base/run_failure.h): Run
// decides whether another try follows.
//   update_sequence.cpp   Run: the tries and what ends the run; the order of the
//                         steps below in each try; where changes begin; starting
//                         the firmware
//   bootloader_entry.cpp  EnterBootloader: reset and sync until the bootloader answers
//   board_check.cpp       CheckBoard: --check, compare and change nothing
//   board_backup.cpp      SaveBoard: --save, the board into a file before it changes
//   eeprom_phase.cpp      UpdateEEPROM: read, compare, write what differs, verify
//   code_phase.cpp        UpdateCode: read, compare, erase, program top down, verify,
//                         run
//   updater.cpp           the exchange helpers all of them share: a request out, a
//                         reply in, a failure handed up
//   progress_display.cpp  every line printed, and the block displays with
//                         their progress at a terminal
//   run_tally.h           what the run did to the board, for the report
//
// The layers, each a library linked only to those below it: base/ (the
// console, the failure and the exit statuses), protocol/ (every fact of
// the wire), image/ (the word image and its files), link/ (bytes to and
// from the board), hints/ (what to do about a device), driver/ (this),
// report/, app/ (the command line, opening the link and telling its
// failures) and the program's entry, zelmo_flash.cpp, which alone turns
// a run's outcome into the exit status and the report.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "base/console.h"
#include "base/run_failure.h"
#include "driver/board_backup.h"
#include "driver/progress_display.h"
#include "driver/run_tally.h"
#include "image/word_image.h"
#include "link/clock.h"
#include "link/link.h"
#include "protocol/frames.h"

namespace zelmo::driver {

// The read-back of program memory covers words 0x0000-0x1FFF, kept as the
// bytes arrived (high byte first), so no host byte order enters a word.
constexpr std::size_t kOldCodeWords = 8192;

// What one try reads of the board and how far it got; made fresh for each.
struct TryState {
  TryState(const Console& console, link::Clock& clock, bool wrote_before)
      : display(console, clock), changed_before(wrote_before) {}

  std::array<std::uint8_t, 2 * kOldCodeWords> OldCode{};
  std::array<std::uint8_t, image::kEEPROMSize> EEPROM{};
  // The check, the backup and the phases share one read of each region.
  bool eeprom_read = false;
  bool code_read = false;
  ProgressDisplay display;
  bool changed_before;  // an earlier try of the run began to change the board
};

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
  // Tries after the first: a passing fault costs a try instead of the run.
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
        try_(std::make_unique<TryState>(console, clock, false)) {}

  // The whole run, every try: kExitSuccess, or kExitDiffers for a check
  // that found the board unlike the file; a RunFailure when no try was
  // left or could help.
  int Run(const RunPlan& plan);

  // A word of the last try's read-back of program memory.
  [[nodiscard]] std::uint16_t OldCodeWord(std::uint16_t address) const;
  [[nodiscard]] const RunTally& Tally() const { return tally_; }

 private:
  int Try();
  [[nodiscard]] bool MayRetry(const RunFailure& failure, int number) const;
  void Reconnect();
  [[nodiscard]] HandshakeOptions HandshakeOfThisTry() const;
  void EnterBootloader(const HandshakeOptions& options);
  bool ReadAndCheckEEPROM();
  void UpdateEEPROM();
  bool ReadAndCheck();
  int UpdateCode();
  int CodeUpToDate(const char* lead);
  int VerifyCode();

  // Compares the board with the image and changes nothing; fills the
  // backup (if any) from the same reads. Ends with 0 when what the file
  // holds matches, else 2.
  int CheckBoard();
  [[nodiscard]] bool CheckEEPROM();
  [[nodiscard]] bool CheckCode();
  // Reads the whole board into backup before anything on it changes.
  void SaveBoard(BoardBackup& backup);

  void Send(std::span<const std::uint8_t> frame);
  // A short request, built by build into a frame of its own, sent.
  template <typename Build, typename... Args>
  void Request(Build build, Args... args) {
    protocol::Block Block{};
    Send(std::span<const std::uint8_t>(Block).first(build(Block, args...)));
  }
  int Wait(std::span<std::uint8_t> destination, int minimum, int budget);
  // The one-byte reply to a request; fails with timeout_text when none came.
  std::uint8_t Answer(int budget, const char* timeout_text);
  void CheckLink();
  [[noreturn]] void WentAway();
  void SayReadError(int error);
  ProgressDisplay& Display() { return try_->display; }
  void Say(const char* text);
  [[nodiscard]] int Done(int status) const;
  [[noreturn]] void Fail(const std::string& text, Retry retry = Retry::kOnceAnswered);

  [[noreturn]] void GiveUp(int attempts);
  [[noreturn]] void RefusedSync(std::uint8_t answer) const;
  void ReadEEPROM();
  [[nodiscard]] Difference CompareEEPROM() const;
  void WriteDifferingEEPROMBytes();
  void ReadCodeBlock(std::uint16_t address);
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
  const RunPlan* plan_ = nullptr;
  std::unique_ptr<TryState> try_;
  // What holds over the tries of the run.
  bool bootloader_answered_ = false;
  bool backup_saved_ = false;
  RunTally tally_;
};

}  // namespace zelmo::driver
