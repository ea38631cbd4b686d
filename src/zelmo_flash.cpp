// zelmo_flash: brings a TNC board's PIC in line with an Intel HEX file
// through its bootloader, over a serial port or an I2C bus.

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>

#include "command_line.h"
#include "console.h"
#include "driver/board_backup.h"
#include "driver/updater.h"
#include "hints/device_hints.h"
#include "image/hex_reader.h"
#include "image/replacement_file.h"
#include "link/clock.h"
#include "link/i2c_link.h"
#include "link/kernel_console.h"
#include "link/port_holders.h"
#include "link/port_lock.h"
#include "link/serial_link.h"
#include "link/wire_trace.h"
#include "output_files.h"
#include "report/run_report.h"
#include "run_end.h"
#include "run_plan.h"
#include "signal_guard.h"

namespace {

using zelmo::CommandLine;

// The link and what belongs to its kind, decided once.
struct OpenedLink {
  std::unique_ptr<zelmo::link::Link> link;
  std::function<void()> on_first_silence;  // I2C: none, the handshake runs once
};

// What to do about a device that would not open, from this computer's
// facts.
zelmo::link::OpenFailureHint HintOpening(zelmo::hints::DeviceKind kind, const std::string& path,
                                         const std::string& progname, const CommandLine& line,
                                         const zelmo::Console& console) {
  return [=](int error) {
    const zelmo::hints::LiveSystem system;
    zelmo::hints::PrintHints(
        zelmo::hints::OpenFailureHints({kind, path, error, progname, line.hex_file}, system),
        console);
  };
}

// On the serial link the port is locked and the first silence names
// whoever else has the port open, and the kernel when the port is its
// console. A bus cannot be locked: its other users are named at once.
OpenedLink OpenLink(const CommandLine& line, const std::string& progname,
                    const zelmo::Console& console) {
  if (line.i2c != 0) {
    const std::string path = zelmo::I2CPath(line);
    const int fd = zelmo::link::OpenI2CBus(
        path.c_str(), line.address, progname, console,
        HintOpening(zelmo::hints::DeviceKind::kI2CBus, path, progname, line, console));
    zelmo::link::WarnBusSharers(fd, path, progname, console);
    return {std::make_unique<zelmo::link::I2CLink>(fd), {}};
  }
  std::string path = zelmo::SerialPath(line);
  const int fd = zelmo::link::OpenCOMPort(
      path.c_str(), zelmo::link::kSerialBaud, console,
      HintOpening(zelmo::hints::DeviceKind::kSerialPort, path, progname, line, console));
  zelmo::link::LockPort(fd, path, progname, console);
  return {std::make_unique<zelmo::link::SerialLink>(fd, path, console),
          [fd, path = std::move(path), progname, console] {
            zelmo::link::HintPortHolders(fd, path, progname, console);
            zelmo::link::HintKernelConsole(fd, path, progname, console);
          }};
}

// Version, help and command-line errors: the status, or none for a run.
std::optional<int> AnswerWithoutRunning(const CommandLine& line, const std::string& progname) {
  switch (line.action) {
    case CommandLine::Action::kVersion:
      std::printf("%s\n", zelmo::kVersionText);
      return 1;
    case CommandLine::Action::kHelp:
      std::fputs(zelmo::kHelpText, stdout);
      return 0;
    case CommandLine::Action::kBadValue:
      std::fprintf(stderr, "%s: invalid value '%s' for --%s\n", progname.c_str(),
                   line.bad_value.c_str(), line.bad_option.c_str());
      std::fputs(zelmo::usage_string, stderr);
      return 1;
    case CommandLine::Action::kUsage:
      std::fputs(zelmo::usage_string, stderr);
      return 1;
    case CommandLine::Action::kRun:
      break;
  }
  return std::nullopt;
}

// The file read and checked, the files to write made ready, the link
// opened and the update run; facts gathers what the report tells.
void Update(const CommandLine& line, int argc, char** argv, const std::string& progname,
            const zelmo::Console& console, zelmo::link::WireTrace::Time started,
            zelmo::report::RunFacts& facts) {
  // 128 KiB: kept off the stack.
  static zelmo::image::WordImage NewCode;
  zelmo::image::HexContent content;
  try {
    content =
        zelmo::image::LoadHexFile(line.hex_file.c_str(), NewCode, console, line.ignore_checksums);
    // A check changes nothing, and must still compare a backup of a board
    // that reads back such words.
    if (!line.check) zelmo::image::RefuseUnstorableCode(line.hex_file.c_str(), NewCode, console);
  } catch (const zelmo::RunEnded&) {
    facts.refused = true;
    throw;
  }
  facts.file_code_sha256 =
      zelmo::report::CodeFingerprint(&NewCode[zelmo::image::kApplicationStart]);
  // Files that cannot be written fail before any device is touched.
  std::optional<zelmo::link::WireTrace> trace;
  if (line.trace_file) {
    trace.emplace(*line.trace_file, started, console, zelmo::WireLogHeaderOf(line, argc, argv));
  }
  std::optional<zelmo::driver::BoardBackup> backup;
  if (line.save_file) backup.emplace(*line.save_file, console);

  OpenedLink opened = OpenLink(line, progname, console);
  if (trace) opened.link->Watch(&*trace);
  zelmo::link::RealClock clock;
  zelmo::driver::Updater updater(NewCode, *opened.link, clock, console);
  zelmo::driver::RunPlan plan = zelmo::PlanRun(line, content);
  plan.handshake.on_first_silence = std::move(opened.on_first_silence);
  plan.backup = backup ? &*backup : nullptr;
  plan.before_change = [&progname] { zelmo::ProtectChanges(progname); };
  plan.stop_requested = zelmo::StopRequested;
  zelmo::driver::RunEnding ending;
  try {
    ending = updater.Run(plan);
  } catch (const zelmo::RunEnded& ended) {  // a backup that cannot be written
    ending = {ended.status, ended.message};
  }
  facts.status = ending.status;
  facts.message = ending.message;
  facts.tally = updater.Tally();
}

int Run(int argc, char** argv, zelmo::link::WireTrace::Time started) {
  const zelmo::Console console{.terminal = zelmo::FacesTerminal(stdout)};
  zelmo::IgnoreBrokenPipes();
  const CommandLine line = zelmo::ParseCommandLine(argc, argv);
  const std::string progname = zelmo::ProgramName(argc > 0 ? argv[0] : nullptr);
  if (const auto status = AnswerWithoutRunning(line, progname)) return *status;
  if (const auto refusal = zelmo::SameFileRefusal(line, progname)) {
    std::fprintf(stderr, "%s\n", refusal->c_str());
    return 1;
  }
  // Made ready first: every ending from here on is reported, a refused
  // HEX file too.
  std::optional<zelmo::image::ReplacementFile> report;
  if (line.report_file) report.emplace(*line.report_file, console);
  zelmo::report::RunFacts facts = zelmo::report::FactsOf(line);
  facts.time = zelmo::report::ReportTime(std::chrono::system_clock::now());
  try {
    Update(line, argc, argv, progname, console, started, facts);
  } catch (const zelmo::RunEnded& ended) {
    facts.status = ended.status;
    facts.message = ended.message;
  }
  std::fflush(stdout);
  if (report) {
    facts.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    report->Replace(zelmo::report::FormatReport(facts));
  }
  return facts.status;
}

}  // namespace

int main(int argc, char** argv) {
  const auto started = std::chrono::steady_clock::now();
  // A log must be complete up to the moment a run is stopped, even in a pipe.
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  try {
    return Run(argc, argv, started);
  } catch (const zelmo::RunEnded& ended) {
    std::fflush(stdout);
    return ended.status;
  }
}
