#include "link/wire_log.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "base/hex_digits.h"

namespace zelmo::link {
namespace {

constexpr std::string_view kCommandLine = ", command line:";
constexpr std::string_view kI2CLink = ", I2C bus ";
constexpr std::string_view kNotReady = " not ready)";

// Arguments that a shell would split or expand are single-quoted.
std::string Quoted(const std::string& argument) {
  if (!argument.empty() &&
      argument.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                 "0123456789-_./:=+,@%") == std::string::npos) {
    return argument;
  }
  std::string quoted = "'";
  for (const char c : argument) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// The inverse of Quoted: blanks separate, single quotes and backslashes
// protect.
std::vector<std::string> Unquoted(std::string_view text) {
  std::vector<std::string> arguments;
  std::string current;
  bool in_word = false;
  bool quoted = false;
  for (std::size_t at = 0; at < text.size(); ++at) {
    const char c = text[at];
    if (quoted) {
      if (c == '\'') {
        quoted = false;
      } else {
        current += c;
      }
    } else if (c == '\'') {
      quoted = in_word = true;
    } else if (c == '\\' && at + 1 < text.size()) {
      current += text[++at];
      in_word = true;
    } else if (c == ' ') {
      if (in_word) arguments.push_back(current);
      current.clear();
      in_word = false;
    } else {
      current += c;
      in_word = true;
    }
  }
  if (in_word) arguments.push_back(current);
  return arguments;
}

// The version is there for whoever reads the log; the replay needs the
// link and the command line.
void ReadHeader(std::string_view text, WireLog& log) {
  const std::size_t version_end = text.find(',');
  if (version_end == std::string_view::npos) return;
  log.i2c = text.substr(version_end).starts_with(kI2CLink);
  if (const std::size_t at = text.find(kCommandLine); at != std::string_view::npos) {
    log.arguments = Unquoted(text.substr(at + kCommandLine.size()));
  }
}

bool ReadBytes(std::istringstream& fields, std::vector<std::uint8_t>& bytes) {
  for (std::string pair; fields >> pair;) {
    if (pair.size() != 2) return false;
    const std::uint8_t high = HexDigitValue(pair[0]);
    const std::uint8_t low = HexDigitValue(pair[1]);
    if (high == kNotAHexDigit || low == kNotAHexDigit) return false;
    bytes.push_back(static_cast<std::uint8_t>(high * 16U + low));
  }
  return true;
}

// "STAMP > BYTES", "STAMP < BYTES", "STAMP < BYTES (N not ready)", "STAMP < timeout".
bool ReadLine(const std::string& text, WireLogLine& line) {
  std::istringstream fields(text);
  double stamp = 0;
  std::string direction;
  if (!(fields >> stamp >> direction) || (direction != ">" && direction != "<")) return false;
  line.direction = direction[0];
  std::string rest;
  std::getline(fields, rest);
  if (line.direction == '<' && rest.ends_with(kNotReady)) {
    const std::size_t open = rest.rfind(" (");
    if (open == std::string::npos) return false;
    line.not_ready = static_cast<int>(std::strtol(rest.c_str() + open + 2, nullptr, 10));
    rest.erase(open);
  }
  if (line.direction == '<' && rest == " timeout") {
    line.timed_out = true;
    return true;
  }
  std::istringstream payload(rest);
  return ReadBytes(payload, line.bytes) && !line.bytes.empty();
}

}  // namespace

std::string WireLogHeader(std::string_view version, std::string_view link,
                          const std::vector<std::string>& arguments) {
  std::string header =
      "zelmo_flash " + std::string(version) + ", " + std::string(link) + std::string(kCommandLine);
  for (const std::string& argument : arguments) header += " " + Quoted(argument);
  return header;
}

std::string SerialLinkName(std::string_view path) { return "serial port " + std::string(path); }

std::string I2CLinkName(std::string_view path, int address) {
  std::array<char, 16> hex{};
  std::snprintf(hex.data(), hex.size(), "0x%02x", static_cast<unsigned>(address));
  return "I2C bus " + std::string(path) + " address " + hex.data();
}

WireLog ReadWireLog(std::istream& text) {
  WireLog log;
  int number = 0;
  for (std::string line; std::getline(text, line);) {
    ++number;
    if (line.starts_with("#")) {
      if (number == 1) ReadHeader(line, log);
      continue;
    }
    WireLogLine entry;
    entry.number = number;
    if (!ReadLine(line, entry)) {
      log.error = "line " + std::to_string(number) + " is not a line of a wire log: " + line;
      return log;
    }
    if (entry.not_ready > 0) log.i2c = true;
    log.lines.push_back(std::move(entry));
  }
  return log;
}

WireLog ReadWireLogFile(const std::string& path) {
  std::ifstream file(path);
  if (!file) {
    WireLog log;
    log.error = "cannot read " + path;
    return log;
  }
  return ReadWireLog(file);
}

}  // namespace zelmo::link
