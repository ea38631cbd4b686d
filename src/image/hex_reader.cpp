#include "image/hex_reader.h"

#include <cstdlib>
#include <cstring>
#include <memory>

#include "run_end.h"

namespace zelmo::image {
namespace {

// fgets() with a 256-byte buffer: longer physical lines continue as the
// next line, as files written for the board have always been read.
constexpr int kLineBuffer = 256;

// Field positions of a record; the colon is position 0.
constexpr std::size_t kCountPos = 1;
constexpr std::size_t kOffsetPos = 3;
constexpr std::size_t kTypePos = 7;
constexpr std::size_t kDataPos = 9;
constexpr std::size_t kShortestRecord = 9;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

// A field converted as strtol(base 16) sees exactly its own characters.
long HexField(const char* line, std::size_t position, std::size_t width) {
  char scratch[5] = {};
  std::memcpy(scratch, line + position, width);
  return std::strtol(scratch, nullptr, 16);
}

class RecordReader {
 public:
  RecordReader(WordImage& image, const Console& console) : NewCode(image), console_(console) {}

  // Returns false at the end-of-file record.
  bool Read(const char* line) {
    const std::size_t length = std::strcspn(line, "\r\n");
    if (length < kShortestRecord || line[0] != ':' || line[kTypePos] != '0') {
      Refuse(line);
    }
    switch (line[kTypePos + 1]) {
      case '1':
        return false;
      case '4':
        ReadUpperAddress(line, length);
        break;
      case '0':
        ReadData(line, length);
        break;
      default:
        break;  // other record types carry nothing the board needs
    }
    return true;
  }

 private:
  [[noreturn]] void Refuse(const char* line) const {
    std::fprintf(console_.out, "Invalid HEX record %s\n", line);
    EndRun(1);
  }

  void ReadUpperAddress(const char* line, std::size_t length) {
    if (length < kDataPos + 4) Refuse(line);
    upper_ = HexField(line, kDataPos, 4);
  }

  void ReadData(const char* line, std::size_t length) {
    const long count = HexField(line, kCountPos, 2);
    // Flashing characters that are not in the file is never right.
    if (count > 0 && length < kDataPos + 2 * static_cast<std::size_t>(count)) Refuse(line);
    const long words = count / 2;
    const auto offset = static_cast<std::uint32_t>(HexField(line, kOffsetPos, 4));
    const std::uint32_t byte_address = (static_cast<std::uint32_t>(upper_) << 16U) + offset;
    const std::uint64_t word_address = byte_address / 2;
    for (long i = 0; i < words; ++i) {
      const std::uint64_t target = word_address + static_cast<std::uint64_t>(i);
      // Words beyond the image have no place on the board: dropped.
      if (target >= kImageWords) continue;
      const auto value = HexField(line, kDataPos + 4 * static_cast<std::size_t>(i), 4);
      NewCode[static_cast<std::size_t>(target)] = reverse(static_cast<std::uint32_t>(value));
    }
  }

  WordImage& NewCode;
  const Console& console_;
  long upper_ = 0;
};

}  // namespace

void LoadHexFile(const char* name, WordImage& NewCode, const Console& console) {
  NewCode.fill(kBlankWord);
  const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(name, "r"));
  if (!file) {
    std::fprintf(console.out, "Can't open Hex File %s\n", name);
    EndRun(1);
  }
  ReadHexRecords(file.get(), NewCode, console);
}

void ReadHexRecords(std::FILE* file, WordImage& NewCode, const Console& console) {
  RecordReader reader(NewCode, console);
  char line[kLineBuffer];
  while (std::fgets(line, kLineBuffer, file) != nullptr) {
    if (!reader.Read(line)) break;
  }
}

}  // namespace zelmo::image
