// The HEX writer against its twin, the reader, and against a reader that
// is not ours.

#include "image/hex_writer.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "captured_console.h"
#include "image/hex_reader.h"
#include "process.h"
#include "temp_file.h"

namespace zelmo::image {
namespace {

std::unique_ptr<WordImage> Blank() {
  auto image = std::make_unique<WordImage>();
  image->fill(kBlankWord);
  return image;
}

std::unique_ptr<WordImage> ReadBack(const std::string& text) {
  auto image = Blank();
  testing::CapturedConsole console;
  std::FILE* file = fmemopen(const_cast<char*>(text.data()), text.size(), "r");  // NOLINT
  const HexContent content = ReadHexRecords(file, *image, console.Get());
  std::fclose(file);
  // A backup, even of a blank board, speaks for both regions: flashed
  // back, it restores both.
  EXPECT_TRUE(content.application && content.eeprom && content.end_record) << text;
  return image;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

// Board content: what a save holds, and all that a restore may use.
void ExpectSameBoard(const WordImage& read, const WordImage& board, const char* name) {
  for (std::size_t a = 0; a < kImageWords; ++a) {
    const bool kept = (a >= kApplicationStart && a < kApplicationEnd) ||
                      (a >= kEEPROMBase && a < kEEPROMBase + kEEPROMSize);
    const std::uint16_t expected = kept ? board[a] : kBlankWord;
    ASSERT_EQ(read[a], expected) << name << " word " << a;
  }
}

TEST(HexWriter, WhatItWritesTheReaderReadsBackWordForWord) {
  const struct {
    const char* name;
    std::function<void(WordImage&)> fill;
  } cases[] = {
      {"blank board", [](WordImage&) {}},
      {"programmed board",
       [](WordImage& b) {
         for (std::size_t a = 0x0200; a < 0x0A13; ++a) b[a] = static_cast<std::uint16_t>(a * 7U);
         b[0x0FFF] = 0x2805;
         for (std::size_t k = 0; k < 64; ++k) b[0xF000 + k] = static_cast<std::uint16_t>(k * 3U);
       }},
      {"words above 14 bits, and a block that only sums to blank",
       [](WordImage& b) {
         std::fill_n(b.begin() + 0x0700, 32, 0xFFFF);
         b[0x0800] = 0x3FFE;
         b[0x0801] = 0x4000;
         b[0x0C1F] = 0x8000;
       }},
  };
  for (const auto& c : cases) {
    auto board = Blank();
    std::fill_n(board->begin() + kEEPROMBase, kEEPROMSize, 0x00FF);  // bytes, erased
    c.fill(*board);
    // Words outside the two regions are not the board's and stay out.
    auto image = std::make_unique<WordImage>(*board);
    (*image)[0x0010] = 0x1111;
    (*image)[0x1000] = 0x2222;
    ExpectSameBoard(*ReadBack(FormatHexFile(*image)), *board, c.name);
  }
}

TEST(HexWriter, RecordsAreWellFormedAndAscending) {
  auto image = Blank();
  (*image)[0x0200] = 0x2805;  // bytes 05 28 at 0x0400
  (*image)[0x0FFF] = 0x0034;
  (*image)[0xF000] = 0x00A5;
  const std::vector<std::string> lines = Lines(FormatHexFile(*image));
  // One block at each end of the region, four records each; eight EEPROM records.
  ASSERT_EQ(lines.size(), 1U + 8U + 1U + 8U + 1U);
  EXPECT_EQ(lines[0], ":020000040000FA");
  EXPECT_EQ(lines[1], ":100400000528FF3FFF3FFF3FFF3FFF3FFF3FFF3F0D");
  EXPECT_EQ(lines[8], ":101FF000FF3FFF3FFF3FFF3FFF3FFF3FFF3F3400FB");
  EXPECT_EQ(lines[9], ":020000040001F9");
  EXPECT_EQ(lines[10], ":10E00000A500FF00FF00FF00FF00FF00FF00FF0072");
  EXPECT_EQ(lines.back(), ":00000001FF");
  const auto hex = [](const std::string& line, std::size_t at, std::size_t width) {
    return std::stoul(line.substr(at, width), nullptr, 16);
  };
  unsigned long next = 0;  // the lowest address the next data record may have
  unsigned long upper = 0;
  for (const std::string& line : lines) {
    unsigned long sum = 0;
    for (std::size_t i = 1; i + 1 < line.size(); i += 2) sum += hex(line, i, 2);
    EXPECT_EQ(sum % 256, 0U) << line;
    EXPECT_EQ(line.find_first_of("abcdef"), std::string::npos) << line;
    if (line.substr(7, 2) == "04") upper = hex(line, 9, 4) << 16U;
    if (line.substr(7, 2) != "00") continue;
    const unsigned long address = upper + hex(line, 3, 4);
    EXPECT_GE(address, next) << line;
    next = address + hex(line, 1, 2);
  }
}

// An independent reader: srec_cat warns about anything dubious in a file.
TEST(HexWriter, SrecCatReadsTheFileWithoutAWarning) {
  if (testing::RunProcess({"srec_cat", "-VERSion"}).status != 0) GTEST_SKIP() << "no srec_cat";
  auto image = Blank();
  for (std::size_t a = 0x0200; a < 0x0300; ++a) (*image)[a] = static_cast<std::uint16_t>(a);
  const testing::TempFile file(FormatHexFile(*image));
  const testing::ProcessResult result =
      testing::RunProcess({"srec_cat", file.Path(), "-intel", "-crop", "0x400", "0x600", "-offset",
                           "-0x400", "-o", "-", "-binary"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");
  std::string expected;
  for (std::size_t a = 0x0200; a < 0x0300; ++a) {
    expected += static_cast<char>(a & 0xFFU);
    expected += static_cast<char>(a >> 8U);
  }
  EXPECT_EQ(result.out, expected);
}

}  // namespace
}  // namespace zelmo::image
