// The command line as a user meets it: the built program, run for real.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "process.h"
#include "temp_file.h"

namespace zelmo::testing {
namespace {

const std::string kUsage =
    "usage: zelmo_flash i2bus i2cdevice HexFileName\nUse i2cdevice = 0 for Serial Port\n";

ProcessResult RunFlash(std::vector<std::string> args) {
  args.insert(args.begin(), ZELMO_FLASH_BINARY);
  return RunProcess(Wrapped(args));
}

TEST(Options, VersionAndUsageEndings) {
  const struct {
    std::vector<std::string> args;
    std::string out;
    std::string err;
  } cases[] = {
      {{"-v"}, "0.0.0.2\n", ""},
      {{"1", "0", "missing.hex", "-v"}, "0.0.0.2\n", ""},
      {{"-v", "-x"}, "0.0.0.2\n", ""},
      {{"-x", "-v"}, "", kUsage},
      {{"-q"}, "", kUsage},
      {{"1", "-5", "f.hex"}, "", kUsage},
      {{}, "", kUsage},
      {{"1", "0"}, "", kUsage},
      {{"1", "0", "a.hex", "b.hex"}, "", kUsage},
  };
  for (const auto& c : cases) {
    const ProcessResult result = RunFlash(c.args);
    const std::string label = c.args.empty() ? "(none)" : c.args[0];
    EXPECT_EQ(result.status, 1) << label;
    EXPECT_EQ(result.out, c.out) << label;
    EXPECT_EQ(result.err, c.err) << label;
  }
}

// The file is read before any device is opened, so the missing serial port
// never gets a word in.
TEST(Options, MissingHexFileIsReportedBeforeTheDevice) {
  const ProcessResult result = RunFlash({"/dev/zelmo-no-such-port", "0", "/nonexistent/fw.hex"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "Can't open Hex File /nonexistent/fw.hex\n");
  EXPECT_EQ(result.err, "");
}

TEST(Options, MalformedRecordEndsTheRunWithItsLine) {
  const TempFile hex(":020000040000FA\r\n:10000\r\n");
  const ProcessResult result = RunFlash({"/dev/zelmo-no-such-port", "0", hex.Path()});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "Invalid HEX record :10000\r\n\n");
}

TEST(Options, SerialPortThatCannotBeOpenedEndsWithStatusOne) {
  const TempFile hex(":00000001FF\n");
  const ProcessResult result = RunFlash({"--", "/dev/zelmo-no-such-port", "-1", hex.Path()});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out,
            "\nUsing Serial port /dev/zelmo-no-such-port\nDevice /dev/zelmo-no-such-port\n");
  EXPECT_EQ(result.err, "Com Open Failed: No such file or directory\n");
}

TEST(Options, RegularFileIsNoTerminal) {
  const TempFile hex(":00000001FF\n");
  const ProcessResult result = RunFlash({hex.Path(), "0", hex.Path()});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "tty_speed: tcgetattr: Inappropriate ioctl for device\n");
}

}  // namespace
}  // namespace zelmo::testing
