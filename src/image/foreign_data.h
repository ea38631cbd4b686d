#pragma once

#include "base/console.h"
#include "image/hex_reader.h"
#include "image/word_image.h"

namespace zelmo::image {

// A file that holds data where this board has no memory was built for
// another board: flashing only the part that fits would leave a firmware
// cut short. Blank words and bytes are padding and stay accepted, and so
// are the bootloader's words and the configuration words (0x8000-0xEFFF),
// which the bootloader cannot change. Ends the run (status 1) naming the
// lowest offending address.
void RefuseForeignData(const char* name, const WordImage& NewCode, const HexContent& content,
                       const Console& console);

}  // namespace zelmo::image
