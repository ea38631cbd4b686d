#pragma once

#include <string>

#include "image/word_image.h"

namespace zelmo::image {

// The application region and the EEPROM region of an image as an Intel
// HEX file that the reader takes back word for word: an extended linear
// address record 0000, the application words (low byte first) in records
// of 16 bytes, leaving out blocks whose 32 words are all blank (but for
// the block at 0x0200 of an all-blank region, so that the file still
// holds the region), then an extended linear address record 0001 and the
// 64 EEPROM bytes at offset 0xE000, each followed by 00, and the
// end-of-file record. Upper-case digits, checksums, LF line ends.
std::string FormatHexFile(const WordImage& NewCode);

}  // namespace zelmo::image
