#pragma once

#include <string>

#include "app/command_line.h"
#include "driver/updater.h"
#include "image/hex_reader.h"
#include "report/run_report.h"

namespace zelmo {

// What the command line and the file ask of a run. The link adds its own
// hint for the handshake's first silence, and the caller the backup file
// and the protection of a board being written.
driver::RunPlan PlanRun(const CommandLine& line, const image::HexContent& content);

// The facts a report tells before the run begins: the file and the link.
report::RunFacts FactsOf(const CommandLine& line);

// The first line of the run's wire log: the version, the link and the
// arguments as given (argv without the program's name).
std::string WireLogHeaderOf(const CommandLine& line, int argc, char** argv);

}  // namespace zelmo
