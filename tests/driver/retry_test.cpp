// A passing fault costs a try, not the run: each try is what a new run of
// the same command would do against the board as the try before left it.

#include <gtest/gtest.h>

#include "update_bench.h"
#include "wire_frames.h"

namespace zelmo::testing {
namespace {

// The frames of each try from its sync request on.
std::vector<std::vector<Bytes>> Tries(const std::vector<Bytes>& frames) {
  const Bytes reset(protocol::kSerialResetRequest.begin(), protocol::kSerialResetRequest.end());
  std::vector<std::vector<Bytes>> tries;
  for (const Bytes& frame : frames) {
    if (frame == reset) continue;
    if (frame == Bytes(protocol::kSyncRequest.begin(), protocol::kSyncRequest.end())) {
      tries.emplace_back();
    }
    if (!tries.empty()) tries.back().push_back(frame);
  }
  return tries;
}

TEST(Retries, EachTryIsARunAgainstTheBoardAsItIs) {
  const std::string kGone = "0520\r/dev/ttySIM0 went away\n";
  const struct {
    const char* name;
    sim::Faults faults;
    bool i2c;
    bool stop_requested;
    int status, tries;
    std::string failure;  // the first try's last text
  } cases[] = {
      {"reply missed while programming",
       {.silent_request = 0x01, .silent_from = 1, .silent_count = 1},
       false,
       false,
       0,
       2,
       "0400\rTimeout writing to Flash\n"},
      {"failed transfer while programming",
       {.i2c_fail_after = 7235, .i2c_fail_count = 1},
       true,
       false,
       0,
       2,
       "0400\r"},
      {"verification failed once",
       {.bad_word = 0x0211, .bad_word_reads = 1},
       false,
       false,
       0,
       2,
       "Code verification failed at 0x0211\n"},
      {"timeout in the first code read",
       {.silent_request = 0x02, .silent_from = 5, .silent_count = 1},
       false,
       false,
       0,
       2,
       "0280\rTimeout reading code\n"},
      {"faults outlasting the tries",
       {.silent_request = 0x01, .silent_from = 1},
       false,
       false,
       1,
       3,
       "0400\rTimeout writing to Flash\n"},
      {"the port back soon",
       {.vanish_after = 30, .back_after_opens = 25},
       false,
       false,
       0,
       2,
       kGone},
      {"the port gone for good",
       {.vanish_after = 30},
       false,
       false,
       1,
       1,
       kGone + "Trying again (1 of 2)\nWaiting for /dev/ttySIM0 to come back\n/dev/ttySIM0 did not "
               "come back\n"},
      {"a packet as the sync's answer",
       {.stale_bytes = {0x32, 0x3F}},
       false,
       false,
       0,
       2,
       "Sending Reset Request\n"},
      {"a stop asked for",
       {.silent_request = 0x01, .silent_from = 1, .silent_count = 1},
       false,
       true,
       1,
       1,
       "0400\rTimeout writing to Flash\n"},
  };
  for (const auto& c : cases) {
    const auto prepared = [&c](UpdateBench& bench) {
      bench.SetBlock(0x0FE0, 0x0100);
      bench.SetBlock(0x0400, 0x0200);
      bench.SetBlock(0x0200, 0x0300);
    };
    UpdateBench bench(c.faults, c.i2c);
    prepared(bench);
    driver::RunPlan plan{.retries = 2};
    if (c.stop_requested) plan.stop_requested = [] { return true; };
    const Outcome outcome = bench.Run(plan);
    EXPECT_EQ(outcome.status, c.status) << c.name;
    EXPECT_EQ(outcome.tally.tries, c.tries) << c.name;
    const std::string err = c.i2c ? "poll failed: No such device or address\n" : "";
    EXPECT_EQ(outcome.err, err) << c.name;
    EXPECT_NE(outcome.out.find(c.failure + (c.tries > 1 ? "Trying again (1 of 2)\n" : "")),
              std::string::npos)
        << c.name << outcome.out;
    EXPECT_EQ(outcome.out.find("Trying again (3 of 2)"), std::string::npos) << c.name;
    const auto tries = Tries(bench.Writes());
    ASSERT_EQ(tries.size(), static_cast<std::size_t>(c.tries)) << c.name;
    if (c.status == 0) {
      for (std::size_t a = 0x0200; a < 0x1000; ++a)
        ASSERT_EQ(bench.board.FlashWord(a), (*bench.image)[a]) << c.name << a;
      EXPECT_TRUE(bench.board.Started()) << c.name;
    }
    if (c.tries < 2) continue;
    // The second try against the board as a run without retries leaves it.
    UpdateBench first(c.faults, c.i2c);
    prepared(first);
    first.Run();
    UpdateBench again(first.board, c.i2c);
    again.board.Output().clear();  // what the try drops before its handshake
    again.board.PlugIn();          // a new run finds the port back
    prepared(again);
    again.Run();
    std::vector<Bytes> expected = Tries(again.Writes()).at(0);
    // A board that an earlier try changed is started even when found current.
    if (expected.back() != Bytes{protocol::kRun}) expected.push_back({protocol::kRun});
    if (c.status != 0) expected.pop_back();
    EXPECT_EQ(tries[1], expected) << c.name;
  }
}

// A bootloader that answered before and is silent now will not answer a
// fourth time: nobody may be watching, so the run ends by itself.
TEST(Retries, ALaterTryGivesUpAfterThreeHandshakes) {
  UpdateBench bench(
      {.silent_request = 0xC0, .silent_from = 1, .bad_word = 0x0211, .bad_word_reads = 1});
  bench.SetBlock(0x0200, 0x0300);
  const Outcome outcome = bench.Run({.retries = 2});
  EXPECT_TRUE(outcome.status == 1 && outcome.tally.tries == 2 &&
              outcome.out.ends_with("Request\nNo answer from the bootloader after 3 attempts\n"));
}

}  // namespace
}  // namespace zelmo::testing
