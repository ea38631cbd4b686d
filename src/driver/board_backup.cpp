#include "driver/board_backup.h"

#include <cstdio>

#include "driver/updater.h"

namespace zelmo::driver {

// The board as the last reads found it, in the image's own layout.
std::unique_ptr<image::WordImage> Updater::Snapshot() const {
  auto board = std::make_unique<image::WordImage>();
  board->fill(image::kBlankWord);
  for (std::uint16_t address = image::kApplicationStart; address < image::kApplicationEnd;
       ++address) {
    (*board)[address] = OldCodeWord(address);
  }
  for (std::size_t k = 0; k < image::kEEPROMSize; ++k)
    (*board)[image::kEEPROMBase + k] = try_->EEPROM[k];
  return board;
}

// Nothing on the board changes before the copy is safe on disk; a try
// after one that timed out here tries again, since nothing changed yet.
void Updater::SaveBoard(BoardBackup& backup) {
  Display().Print("Saving the board to %s\n", backup.Path().c_str());
  ReadEEPROM();
  ReadCode();
  backup.Save(*Snapshot());
  backup_saved_ = true;
  Display().Print("\nSaved %s\n", backup.Path().c_str());
  std::fflush(console_.out);
}

}  // namespace zelmo::driver
