// zelmo_flash: brings a TNC board's PIC in line with an Intel HEX file
// through its bootloader, over a serial port or an I2C bus.

#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>

#include "app/command_line.h"
#include "app/open_link.h"
#include "app/output_files.h"
#include "app/run_plan.h"
#include "app/signal_guard.h"
#include "base/console.h"
#include "base/run_failure.h"
#include "driver/board_backup.h"
#include "driver/updater.h"
#include "image/hex_reader.h"
#include "image/replacement_file.h"
#include "link/clock.h"
#include "link/wire_trace.h"
#include "report/run_report.h"

namespace {

using zelmo::CommandLine;

// Version, help and command-line errors: the status, or none for a run.
std::optional<int> AnswerWithoutRunning(const CommandLine& line, const std::string& progname) {
  switch (line.action) {
    case CommandLine::Action::kVersion:
      std::printf("%s\n", zelmo::kVersionText);
      return zelmo::kExitFailure;
    case CommandLine::Action::kHelp:
      std::fputs(zelmo::kHelpText, stdout);
      return zelmo::kExitSuccess;
    case CommandLine::Action::kBadValue:
      std::fprintf(stderr, "%s: invalid value '%s' for --%s\n", progname.c_str(),
                   line.bad_value.c_str(), line.bad_option.c_str());
      std::fputs(zelmo::usage_string, stderr);
      return zelmo::kExitFailure;
    case CommandLine::Action::kUsage:
      std::fputs(zelmo::usage_string, stderr);
      return zelmo::kExitFailure;
    case CommandLine::Action::kRun:
      break;
  }
  if (const auto refusal = zelmo::SameFileRefusal(line, progname)) {
    std::fprintf(stderr, "%s\n", refusal->c_str());
    return zelmo::kExitFailure;
  }
  return std::nullopt;
}

// The file read and checked, the files to write made ready, the link
// opened and the update run: its status; facts gathers what the report
// tells.
int Update(const CommandLine& line, int argc, char** argv, const std::string& progname,
           const zelmo::Console& console, zelmo::link::WireTrace::Time started,
           zelmo::report::RunFacts& facts) {
  // 128 KiB: kept off the stack.
  static zelmo::image::WordImage NewCode;
  const zelmo::image::HexContent content =
      zelmo::image::LoadHexFile(line.hex_file.c_str(), NewCode, console, line.ignore_checksums);
  // A check changes nothing, and must still compare a backup of a board
  // that reads back such words.
  if (!line.check) zelmo::image::RefuseUnstorableCode(line.hex_file.c_str(), NewCode, console);
  facts.file_code_sha256 =
      zelmo::report::CodeFingerprint(&NewCode[zelmo::image::kApplicationStart]);
  // Files that cannot be written fail before any device is touched.
  std::optional<zelmo::link::WireTrace> trace;
  if (line.trace_file) {
    trace.emplace(*line.trace_file, started, zelmo::WireLogHeaderOf(line, argc, argv));
    if (!trace->IsOpen()) {
      throw zelmo::RunFailure{zelmo::PrintCannotWrite(console, line.trace_file->c_str())};
    }
  }
  std::optional<zelmo::driver::BoardBackup> backup;
  if (line.save_file) backup.emplace(*line.save_file, console);

  zelmo::OpenedLink opened = zelmo::OpenLink(line, progname, console);
  if (trace) opened.link->Watch(&*trace);
  zelmo::link::RealClock clock;
  zelmo::driver::Updater updater(NewCode, *opened.link, clock, console);
  zelmo::driver::RunPlan plan = zelmo::PlanRun(line, content);
  plan.handshake.on_first_silence = std::move(opened.on_first_silence);
  plan.backup = backup ? &*backup : nullptr;
  plan.before_change = [&progname] { zelmo::ProtectChanges(progname); };
  plan.stop_requested = zelmo::StopRequested;
  // The tally is the board's story whichever way the run ends.
  struct Tallied {
    zelmo::report::RunFacts& facts;
    const zelmo::driver::Updater& updater;
    ~Tallied() { facts.tally = updater.Tally(); }
  } tallied{facts, updater};
  return updater.Run(plan);
}

int Run(int argc, char** argv, zelmo::link::WireTrace::Time started) {
  const zelmo::Console console{.terminal = zelmo::FacesTerminal(stdout)};
  zelmo::IgnoreBrokenPipes();
  const CommandLine line = zelmo::ParseCommandLine(argc, argv);
  const std::string progname = zelmo::ProgramName(argc > 0 ? argv[0] : nullptr);
  if (const auto status = AnswerWithoutRunning(line, progname)) return *status;
  zelmo::report::RunFacts facts = zelmo::FactsOf(line);
  facts.time = zelmo::report::ReportTime(std::chrono::system_clock::now());
  // Made ready first: every ending from here on is reported, a refused
  // HEX file too.
  std::optional<zelmo::image::ReplacementFile> report;
  try {
    if (line.report_file) report.emplace(*line.report_file, console);
    facts.status = Update(line, argc, argv, progname, console, started, facts);
  } catch (const zelmo::RunFailure& failure) {
    facts.status = failure.status;
    facts.message = failure.message;
    facts.refused = failure.where == zelmo::FailedIn::kHexFile;
  }
  std::fflush(stdout);
  if (!report) return facts.status;
  facts.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  return report->Replace(zelmo::report::FormatReport(facts)) ? zelmo::kExitFailure : facts.status;
}

}  // namespace

int main(int argc, char** argv) {
  const auto started = std::chrono::steady_clock::now();
  // A log must be complete up to the moment a run is stopped, even in a pipe.
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  return Run(argc, argv, started);
}
