#include "app/command_line.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

namespace zelmo {
namespace {

CommandLine Parse(std::vector<std::string> args) {
  args.insert(args.begin(), "zelmo_flash");
  std::vector<char*> argv;
  std::transform(args.begin(), args.end(), std::back_inserter(argv),
                 [](std::string& arg) { return arg.data(); });
  argv.push_back(nullptr);
  return ParseCommandLine(static_cast<int>(args.size()), argv.data());
}

TEST(ConvertNumber, FollowsStrtolBaseZeroClampedTo32Bits) {
  const struct {
    const char* text;
    std::int32_t value;
  } cases[] = {
      {"0x20", 32},
      {"0X1f", 31},
      {"010", 8},
      {"  42", 42},
      {"+7", 7},
      {"-5", -5},
      {"abc", 0},
      {"", 0},
      {"12abc", 12},
      {"99999999999", 2147483647},
      {"-99999999999", -2147483647 - 1},
      {"0x80000000", 2147483647},
  };
  for (const auto& c : cases) EXPECT_EQ(ConvertNumber(c.text), c.value) << c.text;
}

TEST(CommandLine, SecondArgumentChoosesTheLink) {
  const struct {
    std::vector<std::string> args;
    int i2c;
    std::int32_t address;
  } cases[] = {
      {{"1", "0x20", "f.hex"}, 1, 32},
      {{"1", "0", "f.hex"}, 0, 0},
      {{"1", "abc", "f.hex"}, 0, 0},
      {{"--", "1", "-5", "f.hex"}, 0, -5},
  };
  for (const auto& c : cases) {
    const CommandLine line = Parse(c.args);
    ASSERT_EQ(line.action, CommandLine::Action::kRun) << c.args[1];
    EXPECT_EQ(line.i2c, c.i2c) << c.args[1];
    EXPECT_EQ(line.address, c.address) << c.args[1];
    EXPECT_EQ(line.hex_file, "f.hex");
  }
}

TEST(CommandLine, OptionsAndArgumentCount) {
  const struct {
    std::vector<std::string> args;
    CommandLine::Action action;
  } cases[] = {
      {{"-v"}, CommandLine::Action::kVersion},
      {{"1", "0", "f.hex", "-v"}, CommandLine::Action::kVersion},
      {{"-x", "-v"}, CommandLine::Action::kUsage},
      {{"1", "-5", "f.hex"}, CommandLine::Action::kUsage},
      {{"1", "0"}, CommandLine::Action::kUsage},
      {{"1", "0", "f.hex", "extra"}, CommandLine::Action::kUsage},
      {{"--", "1", "0", "-v"}, CommandLine::Action::kRun},
  };
  for (const auto& c : cases) EXPECT_EQ(Parse(c.args).action, c.action) << c.args[0];
}

TEST(CommandLine, DevicePaths) {
  const struct {
    const char* bus;
    const char* serial;
    const char* i2c;
  } cases[] = {
      {"/dev/ttyUSB0", "/dev/ttyUSB0", "/dev/i2c-/dev/ttyUSB0"},
      {"1", "/dev/ttyO1", "/dev/i2c-1"},
      {"0", "/dev/ttyAMA0", "/dev/i2c-0"},
      {"abc", "/dev/ttyAMA0", "/dev/i2c-abc"},
      {"-3", "/dev/ttyAMA0", "/dev/i2c--3"},
      {"1234", "1234", "/dev/i2c-1234"},
      {"0x1", "/dev/ttyO1", "/dev/i2c-0x1"},
  };
  for (const auto& c : cases) {
    const CommandLine line = Parse({"--", c.bus, "0", "f.hex"});
    EXPECT_EQ(SerialPath(line), c.serial) << c.bus;
    EXPECT_EQ(I2CPath(line), c.i2c) << c.bus;
  }
}

TEST(CommandLine, LongPathsAreKeptWhole) {
  const std::string bus = "/dev/serial/by-id/" + std::string(400, 'x');
  EXPECT_EQ(SerialPath(Parse({bus, "0", "f.hex"})), bus);
  EXPECT_EQ(I2CPath(Parse({bus, "0", "f.hex"})), "/dev/i2c-" + bus);
}

TEST(CommandLine, LongOptionsAnywhereInEitherForm) {
  const CommandLine line =
      Parse({"--save=old.hex", "1", "--check", "0", "--trace", "wire.log", "f.hex", "--attempts",
             "007", "--save", "new.hex", "--retries=0", "--retries", "05"});
  ASSERT_EQ(line.action, CommandLine::Action::kRun);
  EXPECT_TRUE(line.check);
  EXPECT_EQ(line.save_file, "new.hex");  // the last one given
  EXPECT_EQ(line.trace_file, "wire.log");
  EXPECT_EQ(line.attempts, 7);
  EXPECT_EQ(line.retries, 5);
  EXPECT_EQ(line.hex_file, "f.hex");
  const CommandLine plain = Parse({"1", "0", "f.hex"});
  EXPECT_FALSE(plain.check || plain.save_file || plain.trace_file || plain.attempts != 0 ||
               plain.retries != 0);
}

TEST(ParseAttempts, DecimalDigitsFromOneUp) {
  const struct {
    const char* text;
    int value;
  } cases[] = {{"1", 1},
               {"0003", 3},
               {"2147483647", 2147483647},
               {"0", 0},
               {"", 0},
               {"-1", 0},
               {"+1", 0},
               {"1.5", 0},
               {"2x", 0},
               {" 1", 0},
               {"0x10", 0},
               {"2147483648", 0},
               {"99999999999999999999", 0}};
  for (const auto& c : cases) EXPECT_EQ(ParseAttempts(c.text), c.value) << c.text;
}

TEST(ProgramName, LastPathComponentAtMost80Characters) {
  EXPECT_EQ(ProgramName("/usr/bin/zelmo_flash"), "zelmo_flash");
  EXPECT_EQ(ProgramName("zelmo_flash"), "zelmo_flash");
  EXPECT_EQ(ProgramName(("/x/" + std::string(100, 'n')).c_str()), std::string(80, 'n'));
}

}  // namespace
}  // namespace zelmo
