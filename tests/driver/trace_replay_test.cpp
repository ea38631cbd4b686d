// Every wire log in tests/traces run again through the driver's own Run,
// with the options of its header, against a board that answers from the
// log: the frames the log sent, in order and all of them, and the ending
// that tests/traces/endings gives.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>

#include "image/hex_reader.h"
#include "link/wire_log.h"
#include "parse_arguments.h"
#include "run_plan.h"
#include "temp_folder.h"
#include "update_bench.h"

namespace zelmo::testing {
namespace {

const std::filesystem::path kTraces = ZELMO_TRACES;

std::map<std::string, int> Endings() {
  std::map<std::string, int> endings;
  std::ifstream file(kTraces / "endings");
  for (std::string name; file >> name;) {
    if (name.starts_with("#")) {
      file.ignore(4096, '\n');
    } else {
      file >> endings[name];
    }
  }
  return endings;
}

TEST(TraceReplay, EveryLogRunsAgainFrameForFrame) {
  const auto endings = Endings();
  int logs = 0;
  for (const auto& entry : std::filesystem::directory_iterator(kTraces)) {
    if (entry.path().extension() != ".log") continue;
    ++logs;
    const std::string name = entry.path().filename();
    const link::WireLog log = link::ReadWireLogFile(entry.path());
    ASSERT_EQ(log.error, "") << name;
    const CommandLine line = Parse(log.arguments);
    ASSERT_EQ(line.action, CommandLine::Action::kRun) << name;
    UpdateBench bench(sim::BoardModel(sim::LogReplay(log)), line.i2c != 0);
    const std::string hex = kTraces / std::filesystem::path(line.hex_file).filename();
    driver::RunPlan plan =
        PlanRun(line, image::LoadHexFile(hex.c_str(), *bench.image, bench.console.Get()));
    TempFolder folder;
    std::optional<driver::BoardBackup> backup;
    if (line.save_file) plan.backup = &backup.emplace(folder.File("board.hex"), Console{});
    const Outcome outcome = bench.Run(plan);

    std::vector<Bytes> sent;
    std::vector<Bytes> logged;
    for (const auto& transfer : bench.link.Transfers()) sent.push_back(transfer.bytes);
    for (const auto& at : log.lines) {
      if (at.direction == '>') logged.push_back(at.bytes);
    }
    EXPECT_EQ(sent, logged) << name << ": " << bench.board.Replay()->Report();
    ASSERT_TRUE(endings.contains(name)) << name << " has no line in tests/traces/endings";
    EXPECT_EQ(outcome.status, endings.at(name)) << name << "\n" << outcome.out;
  }
  EXPECT_GE(logs, 4);
}

}  // namespace
}  // namespace zelmo::testing
