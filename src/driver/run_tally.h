#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace zelmo::driver {

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
