#include "image/hex_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "base/hex_digits.h"
#include "base/run_failure.h"
#include "image/foreign_data.h"

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
long StrtolField(const char* line, std::size_t position, std::size_t width) {
  char scratch[5] = {};
  std::memcpy(scratch, line + position, width);
  return std::strtol(scratch, nullptr, 16);
}

// Nearly every field is plain hex digits: those are summed here, and only
// the others (blanks, signs, 0x, the line's end) go the way strtol reads
// them, so a field means what it always meant.
long HexField(const char* line, std::size_t position, std::size_t width) {
  long value = 0;
  for (std::size_t i = 0; i < width; ++i) {
    const std::uint8_t digit = HexDigitValue(line[position + i]);
    if (digit == kNotAHexDigit) return StrtolField(line, position, width);
    value = value * 16 + digit;
  }
  return value;
}

// Where the bytes that the record's byte count promises end.
std::size_t DataEnd(const char* line) {
  return kDataPos + 2 * static_cast<std::size_t>(std::max(HexField(line, kCountPos, 2), 0L));
}

// The sum of all a record's bytes, its checksum included, is 0 modulo 256.
// A record too short to hold its checksum cannot pass.
bool ChecksumHolds(const char* line, std::size_t length) {
  const std::size_t end = DataEnd(line) + 2;
  if (length < end) return false;
  unsigned long sum = 0;
  for (std::size_t at = kCountPos; at < end; at += 2) {
    sum += static_cast<unsigned long>(HexField(line, at, 2));
  }
  return (sum & 0xFFU) == 0;
}

class RecordReader {
 public:
  RecordReader(WordImage& image, const Console& console, bool ignore_checksums)
      : NewCode(image), console_(console), ignore_checksums_(ignore_checksums) {}

  // Returns false at the end-of-file record.
  bool Read(const char* line) {
    if (starts_line_) ++line_number_;
    const std::size_t length = std::strcspn(line, "\r\n");
    starts_line_ = line[length] != '\0';
    if (length < kShortestRecord || line[0] != ':' || line[kTypePos] != '0' ||
        length < FieldsEnd(line)) {
      Refuse(line);
    }
    if (!ignore_checksums_ && !ChecksumHolds(line, length)) RefuseChecksum(line);
    switch (line[kTypePos + 1]) {
      case '1':
        content_.end_record = true;
        return false;
      case '4':
        ReadUpperAddress(line);
        break;
      case '0':
        content_.data = true;
        ReadData(line);
        break;
      default:
        break;  // other record types carry nothing the board needs
    }
    return true;
  }

  [[nodiscard]] const HexContent& Content() const { return content_; }

 private:
  [[noreturn]] void Refuse(const char* line) const {
    FailSaying(FailedIn::kHexFile, console_.out, "Invalid HEX record %s\n", line);
  }

  [[noreturn]] void RefuseChecksum(const char* line) const {
    FailSaying(FailedIn::kHexFile, console_.out, "HEX checksum error in line %d: %s%s",
               line_number_, line, starts_line_ ? "" : "\n");
  }

  // Where the fields that the record's type uses end: flashing characters
  // that are not in the file is never right.
  static std::size_t FieldsEnd(const char* line) {
    switch (line[kTypePos + 1]) {
      case '4':
        return kDataPos + 4;
      case '0':
        return DataEnd(line);
      default:
        return kDataPos;
    }
  }

  void ReadUpperAddress(const char* line) { upper_ = HexField(line, kDataPos, 4); }

  void ReadData(const char* line) {
    const long count = HexField(line, kCountPos, 2);
    const long words = count / 2;
    const auto offset = static_cast<std::uint32_t>(HexField(line, kOffsetPos, 4));
    const std::uint32_t byte_address = (static_cast<std::uint32_t>(upper_) << 16U) + offset;
    const std::uint64_t word_address = byte_address / 2;
    NoteBeyondImage(byte_address, count);
    for (long i = 0; i < words; ++i) {
      const std::uint64_t target = word_address + static_cast<std::uint64_t>(i);
      // Never stored: the file is refused once it has been read.
      if (target >= kImageWords) break;
      const auto value = HexField(line, kDataPos + 4 * static_cast<std::size_t>(i), 4);
      NewCode[static_cast<std::size_t>(target)] = reverse(static_cast<std::uint32_t>(value));
      Touch(static_cast<std::size_t>(target));
    }
  }

  // The lowest byte of the record that lies past the PIC's memory.
  void NoteBeyondImage(std::uint64_t byte_address, long count) {
    if (count <= 0 || byte_address + static_cast<std::uint64_t>(count) <= kImageBytes) return;
    content_.beyond_image = std::min(content_.beyond_image, std::max(byte_address, kImageBytes));
  }

  // Which regions the file speaks for; the run changes only those.
  void Touch(std::size_t address) {
    if (address >= kApplicationStart && address < kApplicationEnd) content_.application = true;
    if (address >= kEEPROMBase && address < kEEPROMBase + kEEPROMSize) content_.eeprom = true;
  }

  WordImage& NewCode;
  const Console& console_;
  bool ignore_checksums_;
  long upper_ = 0;
  int line_number_ = 0;
  bool starts_line_ = true;  // the next read begins a new line of the file
  HexContent content_;
};

// Empty and cut-short files are what failed downloads leave behind.
void RefuseIncomplete(const char* name, const HexContent& content, const Console& console) {
  if (content.read_error != 0) {
    std::fflush(console.out);
    FailSaying(FailedIn::kHexFile, console.err, "Can't read Hex File %s: %s\n", name,
               std::strerror(content.read_error));
  }
  if (!content.data) FailSaying(FailedIn::kHexFile, console.out, "No data in %s\n", name);
  if (!content.end_record) {
    FailSaying(FailedIn::kHexFile, console.out,
               "No end-of-file record in %s: the file may be cut short\n", name);
  }
}

}  // namespace

HexContent LoadHexFile(const char* name, WordImage& NewCode, const Console& console,
                       bool ignore_checksums) {
  NewCode.fill(kBlankWord);
  const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(name, "r"));
  if (!file) {
    FailSaying(FailedIn::kHexFile, console.out, "Can't open Hex File %s\n", name);
  }
  const HexContent content = ReadHexRecords(file.get(), NewCode, console, ignore_checksums);
  RefuseIncomplete(name, content, console);
  RefuseForeignData(name, NewCode, content, console);
  return content;
}

// A read error is not the end of the file: a directory given by mistake
// would otherwise flash as an empty image.
HexContent ReadHexRecords(std::FILE* file, WordImage& NewCode, const Console& console,
                          bool ignore_checksums) {
  RecordReader reader(NewCode, console, ignore_checksums);
  char line[kLineBuffer];
  errno = 0;
  while (std::fgets(line, kLineBuffer, file) != nullptr) {
    if (!reader.Read(line)) break;
  }
  HexContent content = reader.Content();
  if (!content.end_record && std::ferror(file) != 0) content.read_error = errno != 0 ? errno : EIO;
  return content;
}

void RefuseUnstorableCode(const char* name, const WordImage& NewCode, const Console& console) {
  for (std::size_t address = kApplicationStart; address < kApplicationEnd; ++address) {
    if (NewCode[address] <= kBlankWord) continue;
    FailSaying(FailedIn::kHexFile, console.out,
               "%s holds a word that the PIC cannot store: 0x%04x at 0x%04zx\n", name,
               static_cast<unsigned>(NewCode[address]), address);
  }
}

}  // namespace zelmo::image
