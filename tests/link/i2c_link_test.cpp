// The I2C link of the real program, down to libi2c, against a stand-in for
// the i2c-dev driver (i2c_dev_shim.cpp) that puts the simulated board on a
// bus.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "live_hints.h"
#include "process.h"
#include "temp_file.h"

namespace zelmo::testing {
namespace {

const char* const kBus = "/dev/i2c-7";

struct I2CRun {
  ProcessResult result;
  std::string trace;
};

I2CRun RunOnBus(const std::string& bus_text, const std::string& address,
                std::vector<std::string> environment) {
  // Blank code and EEPROM, both in the file: the run reads both regions.
  const TempFile hex(":02040000FF3FBC\n:020000040001F9\n:02E00000FF001F\n:00000001FF\n");
  const TempFile trace("");
  // Under qemu-user the preload must reach the emulated program, not qemu.
  std::string preload = std::string("LD_PRELOAD=") + ZELMO_I2C_SHIM;
#ifdef ZELMO_EMULATOR
  preload = "QEMU_SET_ENV=" + preload;
#endif
  environment.push_back(preload);
  environment.push_back(std::string("ZELMO_SHIM_BUS=") + kBus);
  environment.push_back("ZELMO_SHIM_TRACE=" + trace.Path());
  // The shim must come before the sanitizer runtime in sanitized builds.
  environment.push_back("ASAN_OPTIONS=verify_asan_link_order=0");
  I2CRun run;
  run.result = RunProcess(Wrapped({ZELMO_FLASH_BINARY, bus_text, address, hex.Path()}),
                          ProcessOptions{.environment = environment});
  std::ifstream file(trace.Path());
  std::ostringstream text;
  text << file.rdbuf();
  run.trace = text.str();
  return run;
}

TEST(I2CLink, OpeningFailures) {
  const struct {
    std::string bus;
    std::string address;
    std::vector<std::string> environment;
    std::string err;
  } cases[] = {
      {"9",
       "0x20",
       {},
       "zelmo_flash: Cannot find i2c bus /dev/i2c-9\n" +
           LiveMissingDeviceHints(hints::DeviceKind::kI2CBus, "/dev/i2c-9")},
      {"7", "128", {"ZELMO_SHIM_REFUSE=128"}, "zelmo_flash: Cannot open i2c device 80\n"},
  };
  for (const auto& c : cases) {
    const I2CRun run = RunOnBus(c.bus, c.address, c.environment);
    EXPECT_EQ(run.result.status, 1) << c.err;
    EXPECT_EQ(run.result.err, c.err);
    EXPECT_EQ(run.result.out, "");
    EXPECT_EQ(run.trace, "");
  }
}

// The reset request as three send-byte transfers, the sync as one write,
// and then nobody acknowledges the receive-byte transfer.
TEST(I2CLink, SlaveThatDoesNotAnswer) {
  const I2CRun run = RunOnBus("7", "0x20", {"ZELMO_SHIM_FAIL_AFTER=0"});
  EXPECT_EQ(run.result.status, 1);
  EXPECT_EQ(run.result.out, "Sending Reset Request\n");
  EXPECT_EQ(run.result.err, "poll failed: No such device or address\n");
  EXPECT_EQ(run.trace,
            "send-byte c0\nsend-byte 0f\nsend-byte 02\nwrite c0 55 aa\nreceive-byte failed\n");
}

// Not-ready bytes before the sync answer are dropped; in the EEPROM reply
// the slave goes away after a few bytes.
TEST(I2CLink, NotReadyBytesThenTheSlaveGoesAway) {
  const I2CRun run = RunOnBus("7", "32", {"ZELMO_SHIM_NOT_READY=2", "ZELMO_SHIM_FAIL_AFTER=8"});
  EXPECT_EQ(run.result.status, 1);
  EXPECT_EQ(run.result.out, "Sending Reset Request\nReading EEPROM from PIC\n");
  EXPECT_EQ(run.result.err, "poll failed: No such device or address\n");
  EXPECT_EQ(run.trace,
            "send-byte c0\nsend-byte 0f\nsend-byte 02\nwrite c0 55 aa\n"
            "receive-byte 0e\nreceive-byte 0e\nreceive-byte aa\nwrite 10\n"
            "receive-byte 0e\nreceive-byte 0e\nreceive-byte ff\nreceive-byte ff\n"
            "receive-byte ff\nreceive-byte failed\n");
}

// Only before a reply has begun is 0x0E "not ready": the board's EEPROM
// holds it at offset 1, which the file wants blank.
TEST(I2CLink, ANotReadyValueInsideAReplyIsData) {
  const TempFile board(":020000040001F9\n:04E00000FF000E000F\n:00000001FF\n");
  const I2CRun run =
      RunOnBus("7", "0x20", {"ZELMO_SHIM_HEX=" + board.Path(), "ZELMO_SHIM_FAIL_AFTER=70"});
  EXPECT_NE(run.trace.find("receive-byte 0e\nreceive-byte ff\n"), std::string::npos);
  EXPECT_NE(run.trace.find("write 20 ff 01\n"), std::string::npos) << run.trace;
}

}  // namespace
}  // namespace zelmo::testing
