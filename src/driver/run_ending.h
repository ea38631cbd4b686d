#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zelmo::driver {

// The exit status of a check that found the board unlike the file.
constexpr int kBoardDiffers = 2;

// When another try can help after a failure.
enum class Retry {
  kNever,         // the handshake gave up: the board is not there
  kOnceAnswered,  // a passing fault, if the bootloader has answered once
  kAlways,        // a passing fault whatever came before: the firmware's own
                  // bytes taken for the sync's answer, a port that went away
};

// A failure met inside a try, after its text was printed. It is handed up
// to the run's sequence, which decides: another try, or the run's ending.
struct TryFailure {
  std::string message;  // the text the run ends with if it ends here
  Retry retry = Retry::kOnceAnswered;
};

// How a run ended: its exit status and the text it ended with; the text
// is empty for a good ending (an update, or a check's 0 or 2).
struct RunEnding {
  int status = 0;
  std::string message;
};

// What a run did to the board, over all its tries.
struct RunTally {
  int tries = 0;                 // handshakes begun
  int eeprom_bytes_written = 0;  // EEPROM write requests acknowledged
  int blocks_written = 0;        // code blocks accepted (a checksum retry counts once)
  bool wrote = false;            // an EEPROM write or the erase was sent
  bool started = false;          // the run request was sent
  // Words 0x0200-0x0FFF as the board's application region was last read in
  // full; none once a request that changes the board went out after it.
  std::optional<std::vector<std::uint16_t>> board_code;
};

}  // namespace zelmo::driver
