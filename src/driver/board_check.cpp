#include <cstdint>
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
    Display().Print(
        "%sNo application code in the file; the application region is "
        "left as it is\n",
        read ? "\n" : "");
    return true;
  }
  const Difference difference = CompareCode();
  if (difference.count == 0) {
    Say("\nCode is up to date");
  } else {
    Display().Print("\nCode differs in %d words, the first at 0x%04zx\n", difference.count,
                    difference.first);
  }
  return difference.count == 0;
}

// Programming goes from the top down, so the entry block is the last one
// written: an interrupted update, like an erased board, leaves it blank.
bool Updater::HoldsEntryBlock() const {
  const std::uint16_t entry = image::kApplicationStart;
  for (std::uint16_t a = entry; a < entry + protocol::kBlockWords; ++a) {
    if (OldCodeWord(a) != image::kBlankWord) return true;
  }
  return false;
}

// Only read requests go out, and the run request where --start asks for
// it: a check leaves the board running the firmware it holds, whether or
// not it is the file's, but never an interrupted update.
int Updater::CheckBoard() {
  const bool eeprom_equal = CheckEEPROM();
  const bool code_equal = CheckCode();
  if (plan_->backup != nullptr) {
    plan_->backup->Save(*Snapshot());
    Display().Print("Saved %s\n", plan_->backup->Path().c_str());
  }
  if (plan_->start && plan_->file_has_application) {
    if (code_equal || HoldsEntryBlock()) {
      StartFirmware();
    } else {
      Say("Not started: the board holds no complete firmware");
    }
  }
  return Done(eeprom_equal && code_equal ? kExitSuccess : kExitDiffers);
}

}  // namespace zelmo::driver
