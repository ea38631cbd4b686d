// The command line as a user meets it: the built program, run for real.

#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <string>
#include <vector>

#include "live_hints.h"
#include "process.h"
#include "temp_file.h"

namespace zelmo::testing {
namespace {

const std::string kUsage =
    "usage: zelmo_flash i2bus i2cdevice HexFileName\nUse i2cdevice = 0 for Serial Port\n";

// The smallest file a run takes: one blank word of application code.
const char* const kSmallestFile = ":02040000FF3FBC\n:00000001FF\n";

ProcessResult RunFlash(std::vector<std::string> args) {
  args.insert(args.begin(), ZELMO_FLASH_BINARY);
  return RunProcess(Wrapped(args));
}

nlohmann::json ReadReport(const std::string& path) {
  std::ifstream file(path);
  return nlohmann::json::parse(file);
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
  const TempFile report("old\n");
  const ProcessResult result =
      RunFlash({"--report", report.Path(), "/dev/zelmo-no-such-port", "0", "/nonexistent/fw.hex"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "Can't open Hex File /nonexistent/fw.hex\n");
  EXPECT_EQ(result.err, "");
  const auto json = ReadReport(report.Path());
  EXPECT_EQ(json["outcome"], "refused");
  EXPECT_EQ(json["message"], "Can't open Hex File /nonexistent/fw.hex");
  EXPECT_TRUE(json["file"]["code_sha256"].is_null() && json["tries"] == 0 && json["status"] == 1);
  EXPECT_TRUE(
      std::regex_match(std::string(json["time"]), std::regex(R"(20\d\d-\d\d-\d\dT[\d:]{8}Z)")));
}

TEST(Options, MalformedRecordEndsTheRunWithItsLine) {
  const TempFile hex(":020000040000FA\r\n:10000\r\n");
  const ProcessResult result = RunFlash({"/dev/zelmo-no-such-port", "0", hex.Path()});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "Invalid HEX record :10000\r\n\n");
}

// Each ends the run before the device is opened; what is read as before
// meets the missing port.
TEST(Options, DamagedOrWrongFilesNeverReachTheBoard) {
  const std::string port = "/dev/zelmo-no-such-port";
  const std::string opened = "\nUsing Serial port " + port + "\nDevice " + port + "\n";
  const TempFile empty("");
  const TempFile end_only(":00000001FF\n");
  const TempFile cut(":02040000FF3FBC\n");
  const TempFile corrupted(":02040000FF3EBC\n:00000001FF\n");
  const TempFile wide(":02040000FF3FBC\n:020410000040AA\n:00000001FF\n");
  const TempFile wide_last(":02040000FF3FBC\n:021FFE000040A1\n:00000001FF\n");
  const TempFile foreign(":02040000FF3FBC\n:021FFE000040A1\n:02FFFE00000001\n:00000001FF\n");
  const struct {
    std::vector<std::string> args;
    std::string out;
    std::string err;
  } cases[] = {
      {{port, "0", "/"}, "", "Can't read Hex File /: Is a directory\n"},
      {{port, "0", empty.Path()}, "No data in " + empty.Path() + "\n", ""},
      {{port, "0", end_only.Path()}, "No data in " + end_only.Path() + "\n", ""},
      {{port, "0", cut.Path()},
       "No end-of-file record in " + cut.Path() + ": the file may be cut short\n",
       ""},
      {{port, "0", corrupted.Path()}, "HEX checksum error in line 1: :02040000FF3EBC\n", ""},
      {{"--ignore-checksums", port, "0", corrupted.Path()},
       opened,
       "Com Open Failed: No such file or directory\n" +
           LiveMissingDeviceHints(hints::DeviceKind::kSerialPort, port, corrupted.Path())},
      {{port, "0", wide.Path()},
       wide.Path() + " holds a word that the PIC cannot store: 0x4000 at 0x0208\n",
       ""},
      {{"--check", port, "0", wide.Path()},
       opened,
       "Com Open Failed: No such file or directory\n" +
           LiveMissingDeviceHints(hints::DeviceKind::kSerialPort, port, wide.Path())},
      {{port, "0", wide_last.Path()},
       wide_last.Path() + " holds a word that the PIC cannot store: 0x4000 at 0x0fff\n",
       ""},
      {{"--check", "--ignore-checksums", port, "0", foreign.Path()},
       foreign.Path() +
           " holds code at 0x7fff, beyond the application region 0x0200-0x0FFF: it was built "
           "for another board\n",
       ""},
  };
  for (const auto& c : cases) {
    const ProcessResult result = RunFlash(c.args);
    EXPECT_EQ(result.status, 1) << c.args.back();
    EXPECT_EQ(result.out, c.out) << c.args.back();
    EXPECT_EQ(result.err, c.err) << c.args.back();
  }
}

TEST(Options, SerialPortThatCannotBeOpenedEndsWithStatusOne) {
  const TempFile hex(kSmallestFile);
  const TempFile report("");
  const ProcessResult result =
      RunFlash({"--report=" + report.Path(), "--", "/dev/zelmo-no-such-port", "-1", hex.Path()});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out,
            "\nUsing Serial port /dev/zelmo-no-such-port\nDevice /dev/zelmo-no-such-port\n");
  EXPECT_EQ(result.err, "Com Open Failed: No such file or directory\n" +
                            LiveMissingDeviceHints(hints::DeviceKind::kSerialPort,
                                                   "/dev/zelmo-no-such-port", hex.Path()));
  const auto json = ReadReport(report.Path());
  EXPECT_EQ(json["outcome"], "failed");
  EXPECT_EQ(json["message"], "Com Open Failed: No such file or directory");
  EXPECT_EQ(json["link"],
            nlohmann::json::parse(
                R"({"kind":"serial","device":"/dev/zelmo-no-such-port","address":null})"));
}

TEST(Options, RegularFileIsNoTerminal) {
  const TempFile hex(kSmallestFile);
  const ProcessResult result = RunFlash({hex.Path(), "0", hex.Path()});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "tty_speed: tcgetattr: Inappropriate ioctl for device\n");
}

TEST(Options, HelpListsEveryOptionAndStatus) {
  for (const std::vector<std::string>& args : {std::vector<std::string>{"--help"},
                                               {"1", "0", "f.hex", "--help", "-x"},
                                               {"--check", "--help"}}) {
    const ProcessResult result = RunFlash(args);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_TRUE(result.out.starts_with(kUsage)) << result.out;
    for (const char* item :
         {"\n  -v ", "\n  --check ", "\n  --save FILE ", "\n  --attempts N ", "\n  --retries N ",
          "\n  --trace FILE ", "\n  --report FILE ", "\n  --help ", "\n  --keep-eeprom ",
          "\n  --start ", "\n  --ignore-checksums ", "\n  0 ", "\n  1 ", "\n  2 "}) {
      EXPECT_NE(result.out.find(item), std::string::npos) << item;
    }
  }
  EXPECT_EQ(RunFlash({"-v", "--help"}).out, "0.0.0.2\n");
}

TEST(Options, LongOptionsThatAreRefused) {
  const auto refused = [](const std::string& value, const std::string& option = "attempts") {
    return "zelmo_flash: invalid value '" + value + "' for --" + option + "\n" + kUsage;
  };
  const struct {
    std::vector<std::string> args;
    std::string out;
    std::string err;
  } cases[] = {
      {{"--attempts", "1.5", "1", "0", "missing.hex"}, "", refused("1.5")},
      {{"--attempts=", "1", "0", "missing.hex"}, "", refused("")},
      {{"--attempts", "-2", "1", "0", "missing.hex"}, "", refused("-2")},
      {{"--attempts=2147483648"}, "", refused("2147483648")},
      {{"--attempts", "0", "-v"}, "", refused("0")},
      {{"--retries", "101", "1", "0", "f.hex"}, "", refused("101", "retries")},
      {{"--retries=-1", "1", "0", "f.hex"}, "", refused("-1", "retries")},
      {{"--retries", "", "1", "0", "f.hex"}, "", refused("", "retries")},
      {{"-v", "--attempts", "x"}, "0.0.0.2\n", ""},
      {{"1", "0", "f.hex", "--attempts"}, "", kUsage},
      {{"1", "0", "f.hex", "--save"}, "", kUsage},
      {{"--bogus", "1", "0", "f.hex"}, "", kUsage},
      {{"--check=yes", "1", "0", "f.hex"}, "", kUsage},
      {{"--check", "1", "0"}, "", kUsage},
      {{"--save", "f.hex", "--report", "./f.hex", "1", "0", "/nonexistent/fw.hex"},
       "",
       "zelmo_flash: --save and --report name the same file\n"},
      {{"--attempts", "0002", "--retries=100", "/dev/zelmo-no-such-port", "0",
        "/nonexistent/fw.hex"},
       "Can't open Hex File /nonexistent/fw.hex\n",
       ""},
  };
  for (const auto& c : cases) {
    const ProcessResult result = RunFlash(c.args);
    EXPECT_EQ(result.status, 1) << c.args[0];
    EXPECT_EQ(result.out, c.out) << c.args[0];
    EXPECT_EQ(result.err, c.err) << c.args[0];
  }
}

// Nothing is opened, let alone sent, when a file to write cannot be made.
TEST(Options, FilesThatCannotBeWrittenFailBeforeTheDevice) {
  const TempFile hex(kSmallestFile);
  for (const char* option : {"--save", "--trace"}) {
    const ProcessResult result =
        RunFlash({option, "/nonexistent/dir/out", "/dev/zelmo-no-such-port", "0", hex.Path()});
    EXPECT_EQ(result.status, 1) << option;
    EXPECT_EQ(result.out, "") << option;
    EXPECT_EQ(result.err, "Cannot write /nonexistent/dir/out: No such file or directory\n");
  }
}

}  // namespace
}  // namespace zelmo::testing
