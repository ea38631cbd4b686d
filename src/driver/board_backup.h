#pragma once

#include <string>

#include "base/console.h"
#include "base/run_failure.h"
#include "image/hex_writer.h"
#include "image/replacement_file.h"
#include "image/word_image.h"

namespace zelmo::driver {

// A copy of what a board held, kept as an Intel HEX file that this
// program can flash back. The file is made ready when the backup is set up
// (so a path that cannot be written fails before any device is opened) and
// replaced only when the whole board has been read.
class BoardBackup {
 public:
  BoardBackup(std::string path, const Console& console) : file_(std::move(path), console) {}

  [[nodiscard]] const std::string& Path() const { return file_.Path(); }

  // The board's application and EEPROM words, as read, into the file. No
  // other try can mend a file that cannot be written.
  void Save(const image::WordImage& board) {
    if (auto failed = file_.Replace(image::FormatHexFile(board))) throw RunFailure{*failed};
  }

 private:
  image::ReplacementFile file_;
};

}  // namespace zelmo::driver
