#pragma once

#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "link/clock.h"
#include "protocol/frames.h"

namespace zelmo::link {

// How one response wait ended.
struct WaitOutcome {
  std::span<const std::uint8_t> collected;  // the reply bytes gathered
  bool timed_out = false;                   // the budget ran out first
  int not_ready = 0;                        // I2C not-ready bytes dropped
};

// Records errno as the failure of a step of opening a device (a
// PortOpening or a BusOpening), and closes what had opened.
template <typename Opening>
Opening Failed(Opening opened, typename Opening::Step step) {
  opened.error = errno;
  if (opened.fd >= 0) close(opened.fd);
  opened.fd = -1;
  opened.failed = step;
  return opened;
}

// What a single poll of the link brought.
struct Polled {
  std::size_t count = 0;   // reply bytes stored at the front of the room given
  bool not_ready = false;  // the board said "not ready" before its reply began
  bool failed = false;     // the transfer failed; errno says why
  bool gone = false;       // the device has gone away (Link::Lost says how)
  int read_error = 0;      // a passing read error's errno: no data this time
};

// Told of a passing read error, at the moment it happens.
using ReadErrorReport = std::function<void(int error)>;

// How a device was found gone: the call that found it and its errno, 0
// for a read that met end-of-file (the port hung up).
struct Loss {
  const char* call = "";
  int error = 0;
};

// Told of every transfer that crosses a link, before it goes out, and of
// how each response wait ended: the wire log.
class WireWatcher {
 public:
  virtual ~WireWatcher() = default;

  virtual void Sent(std::span<const std::uint8_t> bytes) = 0;
  virtual void Received(const WaitOutcome& outcome) = 0;
  // Bytes read and dropped before a new try.
  virtual void Dropped(std::span<const std::uint8_t> /*bytes*/) {}
};

// The byte transport to the board, decided once when the port opens. The
// serial and I2C links implement it for real, each owning its descriptor;
// tests put a simulated board behind it. A link prints nothing and ends
// nothing: what went wrong comes back as values, for its caller to tell.
class Link {
 public:
  Link() = default;
  Link(const Link&) = delete;
  Link& operator=(const Link&) = delete;
  Link(Link&&) = delete;
  Link& operator=(Link&&) = delete;
  virtual ~Link() = default;

  // One frame out as one transfer; on record before it goes, so that a
  // write that never returns is in the log.
  long WriteBlock(std::span<const std::uint8_t> frame) {
    Sending(frame);
    return Write(frame);
  }

  // Asks the running firmware to restart into the bootloader, in the
  // link's own form. No reply comes.
  virtual void SendResetRequest() = 0;

  // Collects what one poll brings into the front of room. awaiting_first:
  // no byte of the reply has been accepted yet.
  virtual Polled Poll(std::span<std::uint8_t> room, bool awaiting_first) = 0;

  // Before a new try: reads and drops what the board still had to say (a
  // late reply of the try before) until the link has been quiet, or only
  // not-ready, for kQuietMs. On I2C a reply byte whose transfer failed may
  // still wait in the slave, and would be taken as the answer to the sync.
  static constexpr int kQuietMs = 200;
  void DropWaitingInput(Clock& clock, const ReadErrorReport& report = {});

  // The device as it was named, for the texts about it.
  [[nodiscard]] virtual std::string Name() const { return {}; }

  // Set once a transfer found the device gone (a USB adapter reset or
  // pulled): no transfer reaches the board until it is opened again.
  [[nodiscard]] const std::optional<Loss>& Lost() const { return lost_; }
  // Closes the device and opens it again by its name; false while it is
  // not there. Only a link whose device can go away and come back can.
  virtual bool Reopen() { return false; }

  void Watch(WireWatcher* watcher) { watcher_ = watcher; }
  void WaitEnded(const WaitOutcome& outcome) const {
    if (watcher_ != nullptr) watcher_->Received(outcome);
  }

 protected:
  virtual long Write(std::span<const std::uint8_t> frame) = 0;
  void MarkLost(const char* call, int error) {
    if (!lost_) lost_ = Loss{call, error};
  }
  void MarkFound() { lost_.reset(); }
  void Sending(std::span<const std::uint8_t> bytes) const {
    if (watcher_ != nullptr) watcher_->Sent(bytes);
  }

  // The reset request's two forms, for each link to choose its own: one
  // frame, or each byte as a transfer of its own made by send.
  void WriteResetFrame() {
    protocol::Block block{};
    WriteBlock(std::span<const std::uint8_t>(block).first(protocol::BuildResetRequest(block)));
  }
  template <typename Send>
  void SendResetBytes(Send send) {
    for (const std::uint8_t byte : protocol::kI2CResetBytes) {
      Sending(std::span<const std::uint8_t>(&byte, 1));
      send(byte);
    }
  }

 private:
  WireWatcher* watcher_ = nullptr;
  std::optional<Loss> lost_;
};

}  // namespace zelmo::link
