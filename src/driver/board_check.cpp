#include <cstdio>

#include "driver/updater.h"
#include "run_end.h"

namespace zelmo::driver {

// Only read requests go out: the board is left as after an up-to-date run.
void Updater::CheckBoard(BoardBackup* backup) {
  Say("Reading EEPROM from PIC");
  ReadEEPROM();
  const Difference eeprom = CompareEEPROM();
  if (eeprom.count == 0) {
    Say("EEPROM is up to date");
  } else {
    std::fprintf(console_.out, "EEPROM differs in %d of 64 bytes, the first at offset 0x%02zx\n",
                 eeprom.count, eeprom.first);
  }
  Say("Reading Code from PIC");
  ReadCode();
  const Difference code = CompareCode();
  if (code.count == 0) {
    Say("\nCode is up to date");
  } else {
    std::fprintf(console_.out, "\nCode differs in %d words, the first at 0x%04zx\n", code.count,
                 code.first);
  }
  if (backup != nullptr) {
    backup->Save(*Snapshot());
    std::fprintf(console_.out, "Saved %s\n", backup->Path().c_str());
  }
  std::fflush(console_.out);
  EndRun(eeprom.count == 0 && code.count == 0 ? 0 : kBoardDiffers);
}

}  // namespace zelmo::driver
