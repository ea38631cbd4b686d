#include <array>
#include <cstdio>
#include <numeric>

#include "driver/updater.h"

namespace zelmo::driver {
namespace {

constexpr std::uint32_t kBlankBlockSum = protocol::kBlockWords * image::kBlankWord;
constexpr std::uint16_t kBlockStep = protocol::kBlockWords;
constexpr int kApplicationBlocks = (image::kApplicationEnd - image::kApplicationStart) / kBlockStep;

}  // namespace

void Updater::ReadCodeBlock(std::uint16_t address) {
  Request(protocol::BuildReadCodeBlock, address);
  const auto destination = std::span<std::uint8_t>(try_->OldCode).subspan(2 * std::size_t{address});
  if (Wait(destination, protocol::kBlockBytes, protocol::kReadBudget) == 0) {
    Fail("Timeout reading code");
  }
  Display().Show(address, true);
}

// All 112 blocks are read before any comparison.
void Updater::ReadCode() {
  Display().BeginPhase(kApplicationBlocks);
  for (std::uint16_t address = image::kApplicationStart; address < image::kApplicationEnd;
       address += kBlockStep) {
    ReadCodeBlock(address);
  }
  try_->code_read = true;
  auto& words = tally_.board_code.emplace();
  for (std::uint16_t a = image::kApplicationStart; a < image::kApplicationEnd; ++a) {
    words.push_back(OldCodeWord(a));
  }
}

Difference Updater::CompareCode() const {
  return Difference::Find(image::kApplicationStart, image::kApplicationEnd, [this](std::size_t a) {
    return OldCodeWord(static_cast<std::uint16_t>(a)) != NewCode[a];
  });
}

bool Updater::ReadAndCheck() {
  ReadCode();
  return CompareCode().count == 0;
}

void Updater::Erase(const char* lead) {
  Display().Print("%sCode is out of date, updating\nErasing...\n", lead);
  Changing();
  Request(protocol::BuildErase);
  Answer(protocol::kEraseBudget, "Timeout Erasing");  // its value says nothing
  Display().Text("Erase Complete\nProgramming...\n");
}

// The bootloader answers a garbled frame with a checksum error; the same
// frame goes again until it is taken.
void Updater::WriteUntilAccepted(const protocol::WriteFrame& frame) {
  for (;;) {
    Send(frame);
    if (Answer(protocol::kCodeWriteBudget, "Timeout writing to Flash") !=
        protocol::kChecksumError) {
      ++tally_.blocks_written;
      return;
    }
    Say("Checksum Error transfering data to TNC");
  }
}

std::span<const std::uint16_t, protocol::kBlockWords> Updater::BlockWords(
    std::uint16_t address) const {
  return std::span<const std::uint16_t>(NewCode).subspan(address).first<protocol::kBlockWords>();
}

// Only the sum decides, as the bootloader's own tools have always decided.
bool Updater::BlankInImage(std::uint16_t address) const {
  const auto words = BlockWords(address);
  return std::accumulate(words.begin(), words.end(), std::uint32_t{0}) == kBlankBlockSum;
}

// Top down from the end of the region, so that the entry block at 0x0200
// is the last one written: an update that is cut short leaves it blank.
// Blocks that are blank in the image stay as the erase left them.
void Updater::ProgramBlocks() {
  int to_write = 0;
  for (std::uint16_t at = image::kApplicationStart; at < image::kApplicationEnd; at += kBlockStep) {
    if (!BlankInImage(at)) ++to_write;
  }
  Display().BeginPhase(to_write);
  protocol::WriteFrame frame{};
  std::uint16_t FlashAddr = image::kApplicationEnd;
  do {
    FlashAddr -= kBlockStep;
    if (BlankInImage(FlashAddr)) continue;
    protocol::BuildWriteCodeBlock(frame, FlashAddr, BlockWords(FlashAddr));
    Display().Show(FlashAddr, false);
    WriteUntilAccepted(frame);
  } while (FlashAddr > image::kApplicationStart);
}

// A file without application code leaves the region as it is. A backup's
// read stands in for the phase's first.
int Updater::UpdateCode() {
  if (!plan_->file_has_application) {
    Say("No application code in the file; the application region is left as it is");
    return Done(kExitSuccess);
  }
  // After the backup's displays its own line end has come already.
  const char* lead = try_->code_read ? "" : "\n";
  if (!try_->code_read) {
    Say("Reading Code from PIC");
    ReadCode();
  }
  if (CompareCode().count == 0) return CodeUpToDate(lead);
  Erase(lead);
  ProgramBlocks();
  Say("\nProgramming Complete - Verifying Code");
  return VerifyCode();
}

// A board that an earlier try began to change is started as well: a run
// that changed the board always ends with its firmware running.
int Updater::CodeUpToDate(const char* lead) {
  Display().Print("%sCode is up to date\n", lead);
  if (plan_->start || try_->changed_before) StartFirmware();
  return Done(kExitSuccess);
}

// Silent when no try follows, as it has always been.
int Updater::VerifyCode() {
  if (!ReadAndCheck()) {
    const Difference difference = CompareCode();
    std::array<char, 48> text{};
    std::snprintf(text.data(), text.size(), "Code verification failed at 0x%04zx",
                  difference.first);
    if (plan_->retries > 0) Fail(text.data());
    std::fflush(console_.out);
    throw RunFailure{text.data(), FailedIn::kBoard, Retry::kOnceAnswered};
  }
  Say("Verified OK");
  SendRun();
  return Done(kExitSuccess);
}

}  // namespace zelmo::driver
