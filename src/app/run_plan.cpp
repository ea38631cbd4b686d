#include "app/run_plan.h"

#include <vector>

#include "link/wire_log.h"

namespace zelmo {

// On I2C a wait ends at the first byte, so the handshake runs once anyway.
driver::RunPlan PlanRun(const CommandLine& line, const image::HexContent& content) {
  driver::RunPlan plan;
  plan.handshake.attempts = line.i2c != 0 ? 0 : line.attempts;
  plan.check = line.check;
  plan.keep_eeprom = line.keep_eeprom;
  plan.start = line.start;
  plan.retries = line.retries;
  plan.file_has_eeprom = content.eeprom;
  plan.file_has_application = content.application;
  return plan;
}

report::RunFacts FactsOf(const CommandLine& line) {
  report::RunFacts facts;
  facts.check = line.check;
  facts.file_name = line.hex_file;
  facts.i2c = line.i2c != 0;
  facts.device = facts.i2c ? I2CPath(line) : SerialPath(line);
  facts.address = line.address;
  return facts;
}

std::string WireLogHeaderOf(const CommandLine& line, int argc, char** argv) {
  const std::string link = line.i2c != 0 ? link::I2CLinkName(I2CPath(line), line.address)
                                         : link::SerialLinkName(SerialPath(line));
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  return link::WireLogHeader(kVersionText, link, arguments);
}

}  // namespace zelmo
