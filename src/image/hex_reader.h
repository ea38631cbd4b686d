#pragma once

#include <cstdint>
#include <cstdio>

#include "base/console.h"
#include "image/word_image.h"

namespace zelmo::image {

constexpr std::uint64_t kImageBytes = 2 * kImageWords;
constexpr std::uint64_t kNothingBeyond = UINT64_MAX;

// What a HEX file held, as the reader found it.
struct HexContent {
  bool application = false;  // data records stored words in 0x0200-0x0FFF
  bool eeprom = false;       // data records stored words in 0xF000-0xF03F
  bool data = false;         // the file has a data record at all
  bool end_record = false;   // the reading stopped at the end-of-file record
  int read_error = 0;        // errno of a read that failed; 0 when none did
  // The lowest HEX byte address of data past the image (never stored);
  // kImageBytes or more, or kNothingBeyond.
  std::uint64_t beyond_image = kNothingBeyond;
};

// Fills NewCode with blank words, then reads the Intel HEX file into it.
// Ends the run (status 1) when the file cannot be opened or read, holds a
// malformed record or one whose checksum is wrong (unless
// ignore_checksums), has no data record or no end-of-file record, or was
// built for another board (RefuseForeignData, image/foreign_data.h).
HexContent LoadHexFile(const char* name, WordImage& NewCode, const Console& console,
                       bool ignore_checksums = false);

// Reads HEX records from an open stream into NewCode, as LoadHexFile does
// after opening the file (NewCode is not blanked first). Ends the run only
// for a malformed record or a wrong checksum.
HexContent ReadHexRecords(std::FILE* file, WordImage& NewCode, const Console& console,
                          bool ignore_checksums = false);

// A PIC's flash holds 14 bits a word: an application word above 0x3FFF can
// never verify, so flashing it would leave the board without firmware.
// Ends the run (status 1) when the image holds one.
void RefuseUnstorableCode(const char* name, const WordImage& NewCode, const Console& console);

}  // namespace zelmo::image
