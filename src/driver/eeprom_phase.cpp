#include <cstdio>

#include "driver/updater.h"

namespace zelmo::driver {

void Updater::ReadEEPROM() {
  Request(protocol::BuildReadEEPROM);
  if (Wait(try_->EEPROM, protocol::kBlockBytes, protocol::kReadBudget) == 0) {
    Fail("Timeout reading EEPROM");
  }
  try_->eeprom_read = true;
}

Difference Updater::CompareEEPROM() const {
  return Difference::Find(0, image::kEEPROMSize, [this](std::size_t k) {
    return try_->EEPROM[k] != image::EEPROMByte(NewCode, k);
  });
}

bool Updater::ReadAndCheckEEPROM() {
  ReadEEPROM();
  return CompareEEPROM().count == 0;
}

// Only the bytes that differ are written: every write wears the cell.
void Updater::WriteDifferingEEPROMBytes() {
  for (std::size_t k = 0; k < image::kEEPROMSize; ++k) {
    const std::uint8_t wanted = image::EEPROMByte(NewCode, k);
    if (try_->EEPROM[k] == wanted) continue;
    Changing();
    Request(protocol::BuildWriteEEPROMByte, wanted, static_cast<std::uint8_t>(k));
    Answer(protocol::kEEPROMWriteBudget, "Timeout updating EEPROM");  // its value says nothing
    ++tally_.eeprom_bytes_written;
  }
}

void Updater::SayEEPROMDifference(const Difference& difference) {
  Display().Print("EEPROM differs in %d of 64 bytes, the first at offset 0x%02zx\n",
                  difference.count, difference.first);
}

// The EEPROM holds the station's settings: a file without EEPROM data, or
// --keep-eeprom, leaves them as they are. A backup's read stands in for
// the phase's first.
void Updater::UpdateEEPROM() {
  if (!plan_->file_has_eeprom) {
    Say("No EEPROM data in the file; the EEPROM is left as it is");
  } else {
    if (!try_->eeprom_read) {
      Say("Reading EEPROM from PIC");
      ReadEEPROM();
    }
    const Difference difference = CompareEEPROM();
    if (difference.count == 0) {
      Say("EEPROM is up to date");
    } else if (plan_->keep_eeprom) {
      SayEEPROMDifference(difference);
      Say("EEPROM kept as it is");
    } else {
      Say("Updating EEPROM");
      WriteDifferingEEPROMBytes();
      Say("Verifying EEPROM");
      if (!ReadAndCheckEEPROM()) Fail("EEPROM update failed");
      Say("EEPROM ok");
    }
  }
  std::fflush(console_.out);
}

}  // namespace zelmo::driver
