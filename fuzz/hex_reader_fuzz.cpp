// Fuzz target: the Intel HEX reader on arbitrary file content. ASan and
// UBSan watch every store; the reader must end by reading to the end or by
// refusing a record with status 1.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "base/run_failure.h"
#include "image/hex_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  static std::FILE* const sink = std::fopen("/dev/null", "w");
  static const auto image = std::make_unique<zelmo::image::WordImage>();
  // Checked records first, then as --ignore-checksums reads them, so that
  // mutated checksums do not hide the field parsing behind them.
  for (const bool ignore_checksums : {false, true}) {
    image->fill(zelmo::image::kBlankWord);
    // fmemopen reads, it does not write: the cast only meets its C signature.
    std::FILE* file = fmemopen(const_cast<std::uint8_t*>(data), size, "r");  // NOLINT
    if (file == nullptr) return 0;
    try {
      zelmo::image::ReadHexRecords(file, *image, zelmo::Console{sink, sink}, ignore_checksums);
    } catch (const zelmo::RunFailure& failure) {
      if (failure.status != zelmo::kExitFailure) std::abort();
    }
    std::fclose(file);
  }
  return 0;
}
