#include "image/hex_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "base/run_failure.h"
#include "captured_console.h"
#include "temp_file.h"

namespace zelmo::image {
namespace {

using testing::CapturedConsole;
using testing::TempFile;

struct Loaded {
  std::unique_ptr<WordImage> image = std::make_unique<WordImage>();
  int status = -1;  // -1: read to the end
  std::string out;
  std::string err;
  HexContent content;
  std::string path;
};

// The record tables check how fields are read, so they ignore checksums.
Loaded Load(const std::string& content, bool ignore_checksums = true) {
  const TempFile file(content);
  CapturedConsole console;
  Loaded loaded;
  loaded.image->fill(0x1234);  // the reader must blank it first
  try {
    loaded.content =
        LoadHexFile(file.Path().c_str(), *loaded.image, console.Get(), ignore_checksums);
  } catch (const RunFailure& ended) {
    loaded.status = ended.status;
  }
  loaded.out = console.Out();
  loaded.err = console.Err();
  loaded.path = file.Path();
  return loaded;
}

std::size_t NonBlankWords(const WordImage& image) {
  return static_cast<std::size_t>(
      std::count_if(image.begin(), image.end(), [](auto word) { return word != kBlankWord; }));
}

TEST(Reverse, SwapsTheLowTwoBytes) {
  EXPECT_EQ(reverse(0x12AB), 0xAB12);
  EXPECT_EQ(reverse(0xFF3F), 0x3FFF);
  EXPECT_EQ(reverse(0x7654321), 0x2143);
}

// What an assembler wrote for the board: code, a table and EEPROM bytes.
TEST(LoadHexFile, ReadsAnAssemblersFile) {
  const Loaded loaded = Load(
      ":020000040000FA\n"
      ":1004000083160313860183120313860A0822052A22\n"
      ":0A041000FF30A000A00B0A2A08002C\n"
      ":081FC000003400340034023447\n"
      ":020000040001F9\n"
      ":0AE0000032003F000A00010000009A\n"
      ":00000001FF\n",
      false);
  ASSERT_EQ(loaded.status, -1) << loaded.out;
  EXPECT_TRUE(loaded.content.application && loaded.content.eeprom);
  const auto& image = *loaded.image;
  EXPECT_EQ(image[0x0200], 0x1683);
  EXPECT_EQ(image[0x0202], 0x0186);
  EXPECT_EQ(image[0x0207], 0x2A05);
  EXPECT_EQ(image[0x020C], 0x0008);
  EXPECT_EQ(image[0x020D], kBlankWord);
  EXPECT_EQ(image[0x0FE3], 0x3402);
  EXPECT_EQ(image[0xF000], 0x0032);
  EXPECT_EQ(image[0xF004], 0x0000);
  EXPECT_EQ(EEPROMByte(image, 1), 0x3F);
  EXPECT_EQ(NonBlankWords(image), 8 + 5 + 4 + 5U);
}

TEST(LoadHexFile, AcceptedVariations) {
  const struct {
    const char* name;
    std::string content;
    std::size_t address;
    std::uint16_t word;
    std::size_t non_blank;
  } cases[] = {
      {"CRLF line ends", ":04040000AB12CD34F2\r\n:00000001FF\r\n", 0x0201, 0x34CD, 2},
      {"lower case", ":04040000ab12cd34f2\n", 0x0200, 0x12AB, 2},
      {"odd byte count drops the last", ":0304000001020377\n", 0x0200, 0x0201, 1},
      {"later record wins", ":02040000AAAA00\n:0204000055550\n", 0x0200, 0x5555, 1},
      {"16 bytes at 0x0400 fill 0x0200-0x0207", ":100400000100020003000400050006000700080000\n",
       0x0207, 0x0008, 8},
      {"EEPROM region", ":020000040001F9\n:02E000004100DB\n", 0xF000, 0x0041, 1},
      {"junk after the end record", ":02040000AAAA00\n:00000001FF\n\ngarbage\n", 0x0200, 0xAAAA, 1},
      {"types 02 03 05 skipped",
       ":020000021000EC\n:0400000300000000F9\n:0400000500000000F7\n:02040000AAAA00\n", 0x0200,
       0xAAAA, 1},
      {"no end-of-file check of the checksum", ":02040000AAAAFF\n", 0x0200, 0xAAAA, 1},
      {"fields read as strtol reads them", ":02040000zz00\n", 0x0200, 0x0000, 1},
      {"bootloader words", ":020000008C0100\n", 0x0000, 0x018C, 1},
      {"configuration word", ":020000040001F9\n:02000E00F23F00\n", 0x8007, 0x3FF2, 1},
      {"blank padding past 0x0FFF", ":02200000FF3F00\n:02FFFE00FF3F00\n", 0x1000, kBlankWord, 0},
      {"blank EEPROM past 64 bytes", ":020000040001F9\n:02E08000FF1200\n", 0xF040, 0x12FF, 1},
      {"negative byte count gives no words", ":-1040000AAAA00\n", 0x0200, kBlankWord, 0},
  };
  for (const auto& c : cases) {
    const Loaded loaded = Load(c.content + ":00000001FF\n");
    EXPECT_EQ(loaded.status, -1) << c.name << ": " << loaded.out;
    EXPECT_EQ((*loaded.image)[c.address], c.word) << c.name;
    EXPECT_EQ(NonBlankWords(*loaded.image), c.non_blank) << c.name;
  }
}

TEST(LoadHexFile, RefusedRecordsPrintTheirOwnLine) {
  const std::string long_tail(300, ' ');
  const struct {
    const char* name;
    std::string content;
    std::string message;
  } cases[] = {
      {"blank line before the end", ":02040000AAAA00\n\n:00000001FF\n", "Invalid HEX record \n\n"},
      {"no colon", "02040000AAAA00\n", "Invalid HEX record 02040000AAAA00\n\n"},
      {"record type 10", ":00000010FF\r\n", "Invalid HEX record :00000010FF\r\n\n"},
      {"shorter than nine characters", ":0000000\n", "Invalid HEX record :0000000\n\n"},
      {"byte count beyond the line", ":04040000AAAA\n", "Invalid HEX record :04040000AAAA\n\n"},
      {"short extended address", ":0200000400\n", "Invalid HEX record :0200000400\n\n"},
      {"rest of an over-long line", ":02040000AAAA00" + long_tail + "\n",
       "Invalid HEX record " + long_tail.substr(0, 300 - (255 - 15)) + "\n\n"},
  };
  for (const auto& c : cases) {
    const Loaded loaded = Load(c.content);
    EXPECT_EQ(loaded.status, 1) << c.name;
    EXPECT_EQ(loaded.out, c.message) << c.name;
  }
}

// Files that failed to download, were corrupted, or are not HEX files at
// all: refused while they are read, before anything is sent.
TEST(LoadHexFile, DamagedFilesAreRefused) {
  const std::string good = ":02040000FF3FBC\n:00000001FF\n";
  const struct {
    const char* name;
    std::string content;
    std::string out;
  } cases[] = {
      {"empty file", "", "No data in FILE\n"},
      {"only the end record", ":00000001FF\n", "No data in FILE\n"},
      {"cut short", ":02040000FF3FBC\n",
       "No end-of-file record in FILE: the file may be cut short\n"},
      {"one byte corrupted", ":020000040000FA\n:02040000FF3EBC\r\n:00000001FF\n",
       "HEX checksum error in line 2: :02040000FF3EBC\r\n"},
      {"checksum missing on the last line", ":02040000FF3F",
       "HEX checksum error in line 1: :02040000FF3F\n"},
      {"end record corrupted", ":02040000FF3FBC\n:00000001FE\n",
       "HEX checksum error in line 2: :00000001FE\n"},
      {"good", good, ""},
      // Built for another board; the lowest address is named.
      {"code past 0x0FFF",
       ":02200000FF3FA0\n:02FFFE00000001\n:020000040001F9\n:02E0800041005D\n" + good,
       "FILE holds code at 0x7fff, beyond the application region 0x0200-0x0FFF: it was built "
       "for another board\n"},
      {"EEPROM past 64 bytes", ":020000040001F9\n:02E0800041005D\n:04FFFE00FF3FFF3F83\n" + good,
       "FILE holds EEPROM data at offset 0x40, beyond the board's 64 bytes: it was built for "
       "another board\n"},
      {"record past the image", ":020000040001F9\n:04FFFE00FF3FFF3F83\n" + good,
       "FILE holds data beyond the PIC's memory at byte address 0x20000: it was built for "
       "another board\n"},
      {"upper address 2", ":020000040002F8\n:02001000FF3FB0\n" + good,
       "FILE holds data beyond the PIC's memory at byte address 0x20010: it was built for "
       "another board\n"},
  };
  for (const auto& c : cases) {
    const Loaded loaded = Load(c.content, false);
    std::string out = loaded.out;
    if (const auto at = out.find(loaded.path); at != std::string::npos) {
      out.replace(at, loaded.path.size(), "FILE");
    }
    EXPECT_EQ(out, c.out) << c.name;
    EXPECT_EQ(loaded.status, c.out.empty() ? -1 : 1) << c.name;
  }
  // Read as before when asked to: a hand-edited file that worked until now.
  const Loaded edited = Load(":02040000FF3EBC\n:00000001FF\n", true);
  EXPECT_EQ(edited.status, -1);
  EXPECT_EQ((*edited.image)[0x0200], 0x3EFF);
}

// Which regions the file speaks for: a run changes only those.
TEST(LoadHexFile, RecordsTheRegionsItsDataTouched) {
  const struct {
    const char* name;
    std::string content;
    bool application;
    bool eeprom;
  } cases[] = {
      {"application only", ":02040000FF3FBC\n", true, false},
      {"EEPROM only", ":020000040001F9\n:02E000004100DD\n", false, true},
      {"bootloader words only", ":020000000030CE\n", false, false},
      {"both", ":02040000FF3FBC\n:020000040001F9\n:02E000004100DD\n", true, true},
  };
  for (const auto& c : cases) {
    const Loaded loaded = Load(c.content + ":00000001FF\n", false);
    EXPECT_EQ(loaded.status, -1) << c.name << loaded.out;
    EXPECT_EQ(loaded.content.application, c.application) << c.name;
    EXPECT_EQ(loaded.content.eeprom, c.eeprom) << c.name;
  }
}

TEST(LoadHexFile, MissingFileIsRefused) {
  CapturedConsole console;
  auto image = std::make_unique<WordImage>();
  try {
    LoadHexFile("/nonexistent/firmware.hex", *image, console.Get());
    FAIL() << "a missing file was read";
  } catch (const RunFailure& ended) {
    EXPECT_EQ(ended.status, 1);
  }
  EXPECT_EQ(console.Out(), "Can't open Hex File /nonexistent/firmware.hex\n");
}

}  // namespace
}  // namespace zelmo::image
