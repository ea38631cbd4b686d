#include <cstdio>

#include "driver/updater.h"

namespace zelmo::driver {

// Each region the file holds is read and compared; one it does not hold is
// read only for a backup, and counts as equal.
bool Updater::CheckEEPROM() {
  const bool compare = plan_->file_has_eeprom;
  if (compare || plan_->backup != nullptr) {
    Say("Reading EEPROM from PIC");
    ReadEEPROM();
  }
  if (!compare) {
    Say("No EEPROM data in the file; the EEPROM is left as it is");
    return true;
  }
  const Difference difference = CompareEEPROM();
  if (difference.count == 0) {
    Say("EEPROM is up to date");
  } else {
    SayEEPROMDifference(difference);
  }
  return difference.count == 0 || plan_->keep_eeprom;
}

bool Updater::CheckCode() {
  const bool compare = plan_->file_has_application;
  const bool read = compare || plan_->backup != nullptr;
  if (read) {
    Say("Reading Code from PIC");
    ReadCode();
  }
  if (!compare) {
    display_.Print(
        "%sNo application code in the file; the application region is "
        "left as it is\n",
        read ? "\n" : "");
    return true;
  }
  const Difference difference = CompareCode();
  if (difference.count == 0) {
    Say("\nCode is up to date");
  } else {
    display_.Print("\nCode differs in %d words, the first at 0x%04zx\n", difference.count,
                   difference.first);
  }
  return difference.count == 0;
}

// Only read requests go out, and the run request where --start asks for it
// and the code was found equal: a differing region may hold an interrupted
// update, which must never be started.
RunEnding Updater::CheckBoard() {
  const bool eeprom_equal = CheckEEPROM();
  const bool code_equal = CheckCode();
  if (plan_->backup != nullptr) {
    plan_->backup->Save(*Snapshot());
    display_.Print("Saved %s\n", plan_->backup->Path().c_str());
  }
  if (plan_->start && plan_->file_has_application) {
    if (code_equal) {
      StartFirmware();
    } else {
      Say("Not started: the code differs from the file");
    }
  }
  return Done(eeprom_equal && code_equal ? 0 : kBoardDiffers);
}

}  // namespace zelmo::driver
