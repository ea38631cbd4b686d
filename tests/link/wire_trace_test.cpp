// The wire log of whole updates in-process: every transfer and every
// wait's outcome, in order, as the board saw and answered them.

#include "link/wire_trace.h"

#include <gtest/gtest.h>

#include <chrono>
#include <numeric>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "temp_folder.h"
#include "update_bench.h"
#include "wire_frames.h"

namespace zelmo::testing {
namespace {

struct TraceLine {
  double seconds = 0;
  char direction = ' ';
  std::string payload;
};

std::vector<TraceLine> ReadTrace(const std::string& path) {
  static const std::regex kLine(R"(^(\d+\.\d{3}) ([<>]) (.+)$)");
  std::vector<TraceLine> lines;
  std::istringstream text(FileContent(path));
  for (std::string line; std::getline(text, line);) {
    std::smatch match;
    EXPECT_TRUE(std::regex_match(line, match, kLine)) << line;
    if (match.empty()) continue;
    lines.push_back({std::stod(match[1]), match[2].str()[0], match[3]});
  }
  return lines;
}

// The reply each request waits for, in bytes; 0 for none.
std::size_t ReplySize(const Bytes& frame) {
  if (frame == kSync) return 1;
  switch (frame.front()) {
    case 0x10:
    case 0x02:
      return 64;
    case 0x20:
    case 0x04:
    case 0x01:
      return 1;
    default:
      return 0;  // the reset request
  }
}

struct TracedRun {
  Outcome outcome;
  std::vector<TraceLine> lines;
};

TracedRun RunTraced(UpdateBench& bench) {
  TempFolder folder;
  const std::string path = folder.File("wire.log");
  TracedRun run;
  {
    // Started two seconds ago: the stamps say seconds, not milliseconds.
    link::WireTrace trace(path, std::chrono::steady_clock::now() - std::chrono::seconds(2));
    bench.link.Watch(&trace);
    run.outcome = bench.Run();
    bench.link.Watch(nullptr);
  }
  run.lines = ReadTrace(path);
  return run;
}

// Every transfer as a "> " line, each waited-for reply as a "< " line
// right after it; the seconds never go back.
void ExpectTraceOfTransfers(const TracedRun& run, const std::vector<sim::Transfer>& transfers,
                            const std::string& suffix) {
  std::size_t at = 0;
  double last = 2;
  for (const auto& transfer : transfers) {
    ASSERT_LT(at, run.lines.size());
    EXPECT_EQ(run.lines[at].direction, '>');
    EXPECT_EQ(run.lines[at].payload, link::HexBytes(transfer.bytes));
    EXPECT_GE(run.lines[at].seconds, last);
    last = run.lines[at++].seconds;
    const std::size_t reply =
        transfer.kind == sim::Transfer::Kind::kWrite ? ReplySize(transfer.bytes) : 0;
    if (reply == 0) continue;
    ASSERT_LT(at, run.lines.size());
    EXPECT_EQ(run.lines[at].direction, '<');
    EXPECT_EQ(run.lines[at].payload.size(), 3 * reply - 1 + suffix.size()) << run.lines[at].payload;
    EXPECT_TRUE(run.lines[at++].payload.ends_with(suffix));
  }
  EXPECT_EQ(at, run.lines.size());
  EXPECT_LT(last, 60);
}

TEST(WireTrace, FullUpdateOnEitherLink) {
  for (const bool i2c : {false, true}) {
    UpdateBench bench(sim::Faults{.not_ready = i2c ? 3 : 0}, i2c);
    bench.SetBlock(0x0400, 0x1000);
    (*bench.image)[0xF002] = 0x0077;
    bench.board.SetEEPROMByte(5, 0x42);
    const TracedRun run = RunTraced(bench);
    EXPECT_EQ(run.outcome.status, 0);
    ExpectTraceOfTransfers(run, bench.link.Transfers(), i2c ? " (3 not ready)" : "");
    // The first EEPROM read, byte for byte as the board answered it.
    const std::size_t eeprom_reply = i2c ? 6 : 4;
    ASSERT_GT(run.lines.size(), eeprom_reply);
    EXPECT_TRUE(run.lines[eeprom_reply].payload.starts_with("ff ff ff ff ff 42 ff"))
        << run.lines[eeprom_reply].payload;
  }
}

TEST(WireTrace, AWaitThatTimesOut) {
  UpdateBench bench(sim::Faults{.silent_request = 0x02, .silent_from = 3});
  bench.BoardHoldsImage();
  const TracedRun run = RunTraced(bench);
  EXPECT_EQ(run.outcome.status, 1);
  ASSERT_GE(run.lines.size(), 2U);
  EXPECT_EQ(run.lines[run.lines.size() - 2].payload, "02 02 60");
  EXPECT_EQ(run.lines.back().direction, '<');
  EXPECT_EQ(run.lines.back().payload, "timeout");
}

// Each frame is on record before it goes out, so that a write that never
// returns is in the log.
TEST(WireTrace, EveryTransferIsLoggedBeforeItGoesOut) {
  struct Watcher final : link::WireWatcher {
    explicit Watcher(const sim::SimLink& watched) : link(watched) {}
    void Sent(std::span<const std::uint8_t> /*bytes*/) override {
      gone_before.push_back(link.Transfers().size());
    }
    void Received(const link::WaitOutcome& /*outcome*/) override {}
    const sim::SimLink& link;
    std::vector<std::size_t> gone_before;
  };
  for (const bool i2c : {false, true}) {
    UpdateBench bench(sim::Faults{}, i2c);
    bench.SetBlock(0x0400, 0x1000);
    Watcher watcher(bench.link);
    bench.link.Watch(&watcher);
    EXPECT_EQ(bench.Run().status, 0);
    std::vector<std::size_t> expected(bench.link.Transfers().size());
    std::iota(expected.begin(), expected.end(), 0U);
    EXPECT_EQ(watcher.gone_before, expected) << "i2c " << i2c;
  }
}

}  // namespace
}  // namespace zelmo::testing
