#include "tools/simboard/board_model.h"

#include <algorithm>

#include "protocol/frames.h"

namespace zelmo::sim {
namespace {

using protocol::kFrameStart;
constexpr auto kResetTail = protocol::kI2CResetBytes;
constexpr auto kSync = protocol::kSyncRequest;
// What the firmware may keep of a stream that holds no reset request.
constexpr std::size_t kApplicationHistory = kResetTail.size() - 1;

bool StartsWith(const std::vector<std::uint8_t>& bytes, std::span<const std::uint8_t> prefix) {
  return bytes.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), bytes.begin());
}

bool InApplicationRegion(std::size_t address, std::size_t words) {
  return address >= image::kApplicationStart && address + words <= image::kApplicationEnd;
}

}  // namespace

BoardModel::BoardModel(Faults faults) : faults_(std::move(faults)) {
  flash_.fill(image::kBlankWord);
  eeprom_.fill(0xFF);
  output_.assign(faults_.stale_bytes.begin(), faults_.stale_bytes.end());
}

BoardModel::BoardModel(LogReplay replay) : BoardModel(Faults{}) {
  replay_.emplace(std::move(replay));
}

void BoardModel::Load(const image::WordImage& image) {
  for (std::size_t a = 0; a < kFlashWords; ++a) flash_[a] = image[a] & image::kBlankWord;
  for (std::size_t k = 0; k < image::kEEPROMSize; ++k) eeprom_[k] = image::EEPROMByte(image, k);
}

void BoardModel::Receive(std::span<const std::uint8_t> bytes) {
  pending_.insert(pending_.end(), bytes.begin(), bytes.end());
  if (replay_) {
    replay_->Take(pending_, frames_, output_, not_ready_due_);
    return;
  }
  while (ConsumeFrame()) {
  }
  const std::size_t limit = faults_.vanish_after;
  if (limit > 0 && !vanished_ && frames_.size() >= limit) unplugged_ = vanished_ = true;
}

bool BoardModel::TakeNotReady() {
  if (not_ready_due_ == 0) return false;
  --not_ready_due_;
  return true;
}

bool BoardModel::AcknowledgesReceive() {
  const bool failing = faults_.i2c_fail_after >= 0 &&
                       acknowledged_receives_ >= faults_.i2c_fail_after &&
                       (faults_.i2c_fail_count < 0 || refused_receives_ < faults_.i2c_fail_count);
  ++(failing ? refused_receives_ : acknowledged_receives_);
  return !failing;
}

bool BoardModel::ConsumeFrame() {
  if (pending_.empty()) return false;
  return bootloader_ ? ConsumeBootloaderFrame() : ConsumeApplicationBytes();
}

// The running firmware only listens for the reset request (C0 0F 02, with
// any number of C0 before it); everything else is its own traffic.
bool BoardModel::ConsumeApplicationBytes() {
  const auto found =
      std::search(pending_.begin(), pending_.end(), kResetTail.begin(), kResetTail.end());
  if (found == pending_.end()) {
    if (pending_.size() > kApplicationHistory) {
      const auto keep = pending_.end() - static_cast<std::ptrdiff_t>(kApplicationHistory);
      frames_.emplace_back(pending_.begin(), keep);
      pending_.erase(pending_.begin(), keep);
    }
    return false;
  }
  const auto end = found + static_cast<std::ptrdiff_t>(kResetTail.size());
  frames_.emplace_back(pending_.begin(), end);
  pending_.erase(pending_.begin(), end);
  bootloader_ = true;
  return true;
}

// Length of a frame that starts with C0: a sync, a repeated reset request,
// or a stray C0; 0 while too few bytes are there to tell.
std::size_t BoardModel::ControlFrameLength() const {
  for (std::size_t skip = 0; skip < 2; ++skip) {
    const std::span<const std::uint8_t> rest(pending_.begin() + static_cast<std::ptrdiff_t>(skip),
                                             pending_.end());
    if (rest.size() < kResetTail.size()) return 0;
    if (std::equal(kResetTail.begin(), kResetTail.end(), rest.begin()))
      return skip + kResetTail.size();
    if (skip == 0 && std::equal(kSync.begin(), kSync.end(), rest.begin())) return kSync.size();
    if (rest[1] != kFrameStart) break;
  }
  return 1;
}

bool BoardModel::ConsumeBootloaderFrame() {
  const std::uint8_t code = pending_.front();
  std::size_t length = code == kFrameStart ? ControlFrameLength() : protocol::RequestLength(code);
  if (code != kFrameStart && length == 0) length = 1;  // a stray byte, ignored
  if (length == 0 || pending_.size() < length) return false;
  std::vector<std::uint8_t> frame(pending_.begin(),
                                  pending_.begin() + static_cast<std::ptrdiff_t>(length));
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(length));
  frames_.push_back(frame);
  Handle(frame);
  return true;
}

void BoardModel::Handle(const std::vector<std::uint8_t>& frame) {
  if (StartsWith(frame, kSync)) {
    Reply(kFrameStart, {faults_.sync_answer});
    return;
  }
  switch (frame.front()) {
    case protocol::kReadEEPROM:
      Reply(frame[0], std::vector<std::uint8_t>(eeprom_.begin(), eeprom_.end()));
      break;
    case protocol::kWriteEEPROMByte:
      WriteEEPROM(frame[1], frame[2]);
      break;
    case protocol::kReadCodeBlock:
      ReadCode(protocol::WordFromWire(frame[1], frame[2]));
      break;
    case protocol::kErase:
      std::fill(flash_.begin() + image::kApplicationStart, flash_.end(), image::kBlankWord);
      Reply(frame[0], {kAck});
      break;
    case protocol::kWriteCodeBlock:
      WriteCode(frame);
      break;
    case protocol::kRun:
      bootloader_ = false;
      started_ = true;
      break;
    default:
      break;  // repeated reset requests and stray bytes
  }
}

void BoardModel::Reply(std::uint8_t request, std::vector<std::uint8_t> bytes) {
  const int occurrence = requests_seen_[request]++;
  const int silenced = occurrence - faults_.silent_from;
  if (request == faults_.silent_request && silenced >= 0 &&
      (faults_.silent_count < 0 || silenced < faults_.silent_count)) {
    return;
  }
  output_.insert(output_.end(), bytes.begin(), bytes.end());
  not_ready_due_ = faults_.not_ready;
}

std::uint16_t BoardModel::ReadBackWord(std::size_t address, bool corrupt) const {
  if (address >= kFlashWords) return image::kBlankWord;
  const std::uint16_t word = flash_[address];
  corrupt = corrupt && static_cast<int>(address) == faults_.bad_word;
  return corrupt ? static_cast<std::uint16_t>(word ^ 0x0001U) : word;
}

// The bad word reads back wrong once the board was programmed, as often as
// the fault says.
bool BoardModel::ReadsBadWord(std::uint16_t address) {
  const int offset = faults_.bad_word - address;
  if (!programmed_ || offset < 0 || offset >= static_cast<int>(protocol::kBlockWords)) return false;
  return faults_.bad_word_reads < 0 || bad_reads_++ < faults_.bad_word_reads;
}

void BoardModel::ReadCode(std::uint16_t address) {
  if (!InApplicationRegion(address, protocol::kBlockWords)) ++violations_;
  const bool corrupt = ReadsBadWord(address);
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i < protocol::kBlockWords; ++i) {
    const std::uint16_t word = ReadBackWord(address + i, corrupt);
    bytes.push_back(protocol::HighByte(word));
    bytes.push_back(protocol::LowByte(word));
  }
  Reply(protocol::kReadCodeBlock, std::move(bytes));
}

void BoardModel::WriteCode(const std::vector<std::uint8_t>& frame) {
  const std::size_t address = protocol::WordFromWire(frame[1], frame[2]);
  const std::span<const std::uint8_t> covered(frame.begin() + 1, frame.end() - 1);
  const bool garbled = protocol::FrameChecksum(covered) != frame.back();
  const bool refused = static_cast<int>(address) == faults_.checksum_error_block &&
                       refused_writes_[static_cast<int>(address)]++ < faults_.checksum_errors;
  if (garbled || refused) {
    Reply(protocol::kWriteCodeBlock, {protocol::kChecksumError});
    return;
  }
  if (InApplicationRegion(address, protocol::kBlockWords) && address % protocol::kBlockWords == 0) {
    for (std::size_t i = 0; i < protocol::kBlockWords; ++i) {
      const std::uint16_t word = protocol::WordFromWire(frame[3 + 2 * i], frame[4 + 2 * i]);
      flash_[address + i] = word & image::kBlankWord;
    }
    programmed_ = true;
  } else {
    ++violations_;  // the bootloader protects itself and owns no memory above
  }
  Reply(protocol::kWriteCodeBlock, {kAck});
}

void BoardModel::WriteEEPROM(std::uint8_t value, std::uint8_t offset) {
  if (offset < image::kEEPROMSize) {
    if (!faults_.lose_eeprom_writes) eeprom_[offset] = value;
  } else {
    ++violations_;
  }
  Reply(protocol::kWriteEEPROMByte, {kAck});
}

}  // namespace zelmo::sim
