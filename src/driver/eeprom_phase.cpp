#include "driver/updater.h"

namespace zelmo::driver {

void Updater::ReadEEPROM() {
  SendBlock(protocol::BuildReadEEPROM(Block));
  if (Wait(EEPROM, protocol::kBlockBytes, protocol::kReadBudget) == 0) {
    Fail("Timeout reading EEPROM");
  }
  FlashAddr = image::kEEPROMBase;
}

Difference Updater::CompareEEPROM() const {
  return Difference::Find(0, image::kEEPROMSize, [this](std::size_t k) {
    return EEPROM[k] != image::EEPROMByte(NewCode, k);
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
    if (EEPROM[k] == wanted) continue;
    SendBlock(protocol::BuildWriteEEPROMByte(Block, wanted, static_cast<std::uint8_t>(k)));
    if (Wait(RXBlock, 1, protocol::kEEPROMWriteBudget) == 0) Fail("Timeout updating EEPROM");
  }
}

void Updater::UpdateEEPROM() {
  Say("Reading EEPROM from PIC");
  if (ReadAndCheckEEPROM()) {
    Say("EEPROM is up to date");
  } else {
    Say("Updating EEPROM");
    FlashAddr = image::kEEPROMBase;
    WriteDifferingEEPROMBytes();
    Say("Verifying EEPROM");
    if (!ReadAndCheckEEPROM()) Fail("EEPROM update failed");
    Say("EEPROM ok");
  }
  std::fflush(console_.out);
}

}  // namespace zelmo::driver
