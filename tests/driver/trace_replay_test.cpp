// Every wire log in tests/traces run again through the driver's own Run,
// with the options of its header, against a board that answers from the
// log: the frames the log sent, in order and all of them, and the ending
// that tests/traces/endings gives.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "app/command_line.h"
#include "app/run_plan.h"
#include "image/hex_reader.h"
#include "link/wire_log.h"
#include "temp_folder.h"
#include "update_bench.h"

namespace zelmo::testing {
namespace {

const std::filesystem::path kTraces = ZELMO_TRACES;

// Each line: a log's file name and the status its run ends with.
std::map<std::string, int> Endings() {
  std::map<std::string, int> endings;
  std::ifstream file(kTraces / "endings");
  for (std::string name; file >> name;) file >> endings[name];
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
    std::vector<std::string> args = log.arguments;
    args.insert(args.begin(), "zelmo_flash");
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    const CommandLine line = ParseCommandLine(static_cast<int>(argv.size()), argv.data());
    UpdateBench bench(sim::BoardModel(sim::LogReplay(log)), line.i2c != 0);
    const std::string hex = kTraces / std::filesystem::path(line.hex_file).filename();
    driver::RunPlan plan =
        PlanRun(line, image::LoadHexFile(hex.c_str(), *bench.image, bench.console.Get()));
    const TempFolder folder;
    driver::BoardBackup backup(folder.File("board.hex"), Console{});
    if (line.save_file) plan.backup = &backup;
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
