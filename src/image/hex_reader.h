#pragma once

#include "console.h"
#include "image/word_image.h"

namespace zelmo::image {

// Fills NewCode with blank words, then reads the Intel HEX file into it.
// Ends the run (status 1) when the file cannot be opened or holds a
// malformed record.
void LoadHexFile(const char* name, WordImage& NewCode, const Console& console);

}  // namespace zelmo::image
