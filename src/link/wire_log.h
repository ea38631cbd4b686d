#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

namespace zelmo::link {

// The wire log as WireTrace writes it, read back: a first comment line that
// says what made it, then one line per transfer sent ("> ") and per reply
// waited for ("< "), each after its stamp. Lines that start with "#" are
// comments wherever they stand.
struct WireLogLine {
  int number = 0;  // in the file, from 1
  char direction = '>';
  std::vector<std::uint8_t> bytes;  // sent, or the reply collected
  bool timed_out = false;           // "<": the wait ran out
  int not_ready = 0;                // "<": I2C not-ready bytes dropped before the reply
};

struct WireLog {
  bool i2c = false;                    // written on the I2C link
  std::vector<std::string> arguments;  // the command line as given, options and file name
  std::vector<WireLogLine> lines;      // the transfers and replies, in order
  std::string error;                   // not a log: which line, and why
};

// The header's text (without "# "): the version, the link and the command
// line, each argument quoted as a shell would need it.
std::string WireLogHeader(std::string_view version, std::string_view link,
                          const std::vector<std::string>& arguments);

// How the header names each link.
std::string SerialLinkName(std::string_view path);
std::string I2CLinkName(std::string_view path, int address);

WireLog ReadWireLog(std::istream& text);
// A file that cannot be opened is an error of the log, named.
WireLog ReadWireLogFile(const std::string& path);

}  // namespace zelmo::link
