#pragma once

#include "console.h"
#include "image/word_image.h"

namespace zelmo::image {

// Fills NewCode with blank words, then reads the Intel HEX file into it.
// Ends the run (status 1) when the file cannot be opened or holds a
// malformed record.
void LoadHexFile(const char* name, WordImage& NewCode, const Console& console);

// Reads HEX records from an open stream into NewCode, as LoadHexFile does
// after opening the file (NewCode is not blanked first).
void ReadHexRecords(std::FILE* file, WordImage& NewCode, const Console& console);

}  // namespace zelmo::image
