// The long options of the real program against the simulated board on a
// pseudo-terminal, in real time: check, backup and restore, the wire log,
// the port lock and the hint about who else holds the port, and the hint
// for a port that the user may not open.

#include <gtest/gtest.h>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "base/console.h"
#include "board_process.h"
#include "image/hex_reader.h"
#include "image/hex_writer.h"
#include "link/wire_trace.h"
#include "process.h"
#include "temp_file.h"
#include "temp_folder.h"
#include "wire_frames.h"

namespace zelmo::testing {
namespace {

const std::string kExample = ZELMO_EXAMPLE_HEX;
const std::string kDisplays = ApplicationReadDisplays();

ProcessResult Flash(std::vector<std::string> args, int timeout_seconds = 120) {
  args.insert(args.begin(), ZELMO_FLASH_BINARY);
  return RunProcess(Wrapped(args), ProcessOptions{.timeout_seconds = timeout_seconds});
}

// Another program that keeps the port open, as a forgotten terminal
// program would.
std::unique_ptr<BackgroundProcess> HoldOpen(const std::string& port) {
  return std::make_unique<BackgroundProcess>(
      std::vector<std::string>{"sh", "-c", "exec 3<\"$0\"; echo holding; exec sleep 60", port});
}

std::vector<std::string> AsText(const std::vector<Bytes>& frames) {
  std::vector<std::string> text(frames.size());
  std::transform(frames.begin(), frames.end(), text.begin(),
                 [](const Bytes& frame) { return link::HexBytes(frame); });
  return text;
}

std::vector<std::string> CheckFrames() {
  std::vector<Bytes> frames = {kReset, kSync, {0x10}};
  const auto reads = ApplicationReads();
  frames.insert(frames.end(), reads.begin(), reads.end());
  return AsText(frames);
}

// A wire log's lines: the frames sent and the replies received, in order.
struct WireLog {
  std::vector<std::string> sent;
  std::vector<std::string> received;
};

WireLog ReadWireLog(const std::string& path) {
  WireLog log;
  std::istringstream text(FileContent(path));
  for (std::string line; std::getline(text, line);) {
    if (line.starts_with("#")) continue;
    const std::size_t blank_at = line.find(' ');
    EXPECT_TRUE(blank_at != std::string::npos && line.size() > blank_at + 3) << line;
    (line[blank_at + 1] == '>' ? log.sent : log.received).push_back(line.substr(blank_at + 3));
  }
  return log;
}

// The file's words as a board of 14-bit words and EEPROM bytes holds them.
std::unique_ptr<image::WordImage> AsBoardHoldsIt(const std::string& hex) {
  auto board = std::make_unique<image::WordImage>();
  image::LoadHexFile(hex.c_str(), *board, Console{});
  for (std::size_t a = 0x0200; a < 0x1000; ++a) (*board)[a] &= 0x3FFFU;
  for (std::size_t k = 0; k < 64; ++k) (*board)[0xF000 + k] &= 0x00FFU;
  return board;
}

std::string Head(const std::string& port) {
  return "\nUsing Serial port " + port + "\nSending Reset Request\n";
}

TEST(OptionsEndToEnd, CheckSaveAndRestore) {
  TempFolder folder;
  const std::string saved = folder.File("tnc.hex");
  Board programmed({"--hex", kExample});
  const auto holder = HoldOpen(programmed.Port());
  const ProcessResult check = Flash({"--check", "--save", saved, programmed.Port(), "0", kExample});
  EXPECT_EQ(check.status, 0);
  EXPECT_EQ(check.out,
            Head(programmed.Port()) +
                "Reading EEPROM from PIC\nEEPROM is up to date\nReading Code from PIC\n" +
                kDisplays + "\nCode is up to date\nSaved " + saved + "\n");
  EXPECT_EQ(check.err, "");  // answered at once: no word about the other holder
  EXPECT_EQ(programmed.Frames(), CheckFrames());
  EXPECT_EQ(FileContent(saved), image::FormatHexFile(*AsBoardHoldsIt(kExample)));

  Board blank({});
  const ProcessResult differs = Flash({"--check", blank.Port(), "0", kExample});
  EXPECT_EQ(differs.status, 2);
  const auto example = AsBoardHoldsIt(kExample);
  const auto words = std::count_if(example->begin() + 0x0200, example->begin() + 0x1000,
                                   [](std::uint16_t w) { return w != 0x3FFF; });
  EXPECT_NE(differs.out.find("\nEEPROM differs in 5 of 64 bytes, the first at offset 0x00\n"),
            std::string::npos)
      << differs.out;
  EXPECT_TRUE(differs.out.ends_with("\nCode differs in " + std::to_string(words) +
                                    " words, the first at 0x0200\n"))
      << differs.out;

  const ProcessResult restore = Flash({blank.Port(), "0", saved});
  EXPECT_EQ(restore.status, 0);
  EXPECT_TRUE(restore.out.ends_with("Verified OK\n"));
  EXPECT_EQ(Flash({"--check", blank.Port(), "0", kExample}).status, 0);
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"tnc.hex"});
}

TEST(OptionsEndToEnd, SaveThenAFullUpdateWithItsWireLog) {
  TempFolder folder;
  const std::string saved = folder.File("before.hex");
  const std::string log = folder.File("wire.log");
  Board board({});
  const ProcessResult run = Flash({"--save", saved, "--trace", log, board.Port(), "0", kExample});
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(run.out.starts_with(Head(board.Port()) + "Saving the board to " + saved + "\n" +
                                  kDisplays + "\nSaved " + saved + "\nUpdating EEPROM\n"))
      << run.out;
  EXPECT_TRUE(run.out.ends_with("Verified OK\n"));
  auto blank = std::make_unique<image::WordImage>();
  blank->fill(0x3FFF);
  std::fill_n(blank->begin() + 0xF000, 64, 0x00FF);
  EXPECT_EQ(FileContent(saved), image::FormatHexFile(*blank));

  // Every frame the board received, in order, byte for byte; a reply line
  // after every request but the reset and the run.
  const std::vector<std::string> frames = board.Frames();
  const WireLog wire = ReadWireLog(log);
  EXPECT_EQ(wire.sent, frames);
  EXPECT_EQ(wire.received.size(), frames.size() - 2);
}

// A board with the same firmware and its own settings, on either link:
// backed up at no extra read, the settings kept, the firmware started.
TEST(OptionsEndToEnd, SaveKeepTheSettingsAndStart) {
  TempFolder folder;
  auto station = AsBoardHoldsIt(kExample);
  (*station)[0xF000 + 0x21] = 0x00C3;  // the station's own setting
  const std::string board_file = folder.File("station.hex");
  std::ofstream(board_file) << image::FormatHexFile(*station);
  const std::string saved = folder.File("saved.hex");
  const std::string log = folder.File("wire.log");
  for (const bool i2c : {false, true}) {
    Board board({"--hex", board_file});  // on the I2C run the shim holds the board instead
    const std::vector<std::string> options = {"--save",  saved,     "--keep-eeprom",
                                              "--start", "--trace", log};
    std::vector<std::string> args = {ZELMO_FLASH_BINARY};
    args.insert(args.end(), options.begin(), options.end());
    args.insert(args.end(), {i2c ? "7" : board.Port(), i2c ? "0x20" : "0", kExample});
    const ProcessResult run =
        RunProcess(Wrapped(args), {.environment = i2c ? OnI2CBus({"ZELMO_SHIM_HEX=" + board_file})
                                                      : std::vector<std::string>{},
                                   .timeout_seconds = 170});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, (i2c ? "Sending Reset Request\n" : Head(board.Port())) +
                           "Saving the board to " + saved + "\n" + kDisplays + "\nSaved " + saved +
                           "\nEEPROM differs in 1 of 64 bytes, the first at offset 0x21\n"
                           "EEPROM kept as it is\nCode is up to date\nStarting the firmware\n");
    std::vector<std::string> expected = CheckFrames();
    if (i2c) {  // the reset as three send-byte transfers
      expected.erase(expected.begin());
      expected.insert(expected.begin(), {"c0", "0f", "02"});
    }
    expected.emplace_back("08");
    EXPECT_EQ(ReadWireLog(log).sent, expected) << "i2c " << i2c;
    if (!i2c) {
      EXPECT_EQ(board.Frames(), expected);  // the board got what the log says
    }
    EXPECT_EQ(FileContent(saved), image::FormatHexFile(*station)) << "i2c " << i2c;
  }
}

// kill -9 in the middle of the save pass: the old backup stays, whole.
TEST(OptionsEndToEnd, KilledDuringTheSaveLeavesTheOldBackup) {
  TempFolder folder;
  const std::string saved = folder.File("tnc.hex");
  std::ofstream(saved) << "yesterday's backup\n";
  Board board({"--hex", kExample, "--silent", "2:20"});
  const ProcessResult run = Flash({"--save", saved, board.Port(), "0", kExample}, 5);
  EXPECT_EQ(run.status, -1);
  EXPECT_NE(run.out.find("Saving the board to"), std::string::npos);
  EXPECT_EQ(FileContent(saved), "yesterday's backup\n");
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"tnc.hex"});
}

TEST(OptionsEndToEnd, ALockedPortIsRefusedBeforeAByteIsSent) {
  Board board({"--hex", kExample, "--silent", "c0:0:2"});
  const std::string refused = "zelmo_flash: " + board.Port() + " is in use by another program\n";
  {
    // util-linux flock(1) locks the port for a shell that then keeps it.
    const BackgroundProcess locker(
        {"sh", "-c", "exec 3<\"$0\"; flock 3; echo locked; exec sleep 60", board.Port()});
    const ProcessResult run = Flash({board.Port(), "0", kExample});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "\nUsing Serial port " + board.Port() + "\n");
    EXPECT_TRUE(run.err.starts_with(refused)) << run.err;
    EXPECT_EQ(run.err, refused + "zelmo_flash: " + board.Port() + " is open in sleep (pid " +
                           std::to_string(locker.Pid()) + ")\n");
  }
  // A first run holds the port while its two attempts go unanswered; it
  // runs in the background, its output going to a file.
  TempFolder folder;
  const std::string first_out = folder.File("first.out");
  std::vector<std::string> first = {"sh", "-c", "echo started; exec \"$@\" >\"$0\" 2>&1",
                                    first_out};
  const auto command =
      Wrapped({ZELMO_FLASH_BINARY, "--attempts", "2", board.Port(), "0", kExample});
  first.insert(first.end(), command.begin(), command.end());
  BackgroundProcess running(first);
  std::this_thread::sleep_for(std::chrono::seconds(2));
  const ProcessResult second = Flash({board.Port(), "0", kExample});
  EXPECT_EQ(running.Wait(), 1);
  EXPECT_EQ(second.status, 1);
  EXPECT_EQ(second.out, "\nUsing Serial port " + board.Port() + "\n");
  EXPECT_TRUE(second.err.starts_with(refused)) << second.err;
  EXPECT_TRUE(FileContent(first_out).ends_with("No answer from the bootloader after 2 attempts\n"))
      << FileContent(first_out);
  // Once it has ended, the port is free again.
  const ProcessResult third = Flash({"--check", board.Port(), "0", kExample});
  EXPECT_EQ(third.status, 0) << third.out << third.err;
  std::vector<std::string> expected = {"c0 c0 0f 02", "c0 55 aa", "c0 c0 0f 02", "c0 55 aa"};
  const auto check = CheckFrames();
  expected.insert(expected.end(), check.begin(), check.end());
  EXPECT_EQ(board.Frames(), expected);
}

TEST(OptionsEndToEnd, TheFirstSilenceNamesWhoElseHasThePort) {
  Board board({"--hex", kExample, "--silent", "c0"});
  const auto holder = HoldOpen(board.Port());
  const ProcessResult run = Flash({"--attempts", "2", board.Port(), "0", kExample});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, Head(board.Port()) +
                         "Sending Reset Request\nNo answer from the bootloader after 2 attempts\n");
  EXPECT_EQ(run.err, "zelmo_flash: no answer yet; " + board.Port() +
                         " is also open in sleep (pid " + std::to_string(holder->Pid()) + ")\n");
}

// A first run as a user outside the group that may open the port; the
// program and the file are copied where that user can reach them.
TEST(OptionsEndToEnd, APortOnlyItsGroupMayOpenNamesTheGroupToJoin) {
  const group* dialout = getgrnam("dialout");
  if (geteuid() != 0 || dialout == nullptr) GTEST_SKIP() << "needs root and a dialout group";
  Board board({"--hex", kExample});
  ASSERT_EQ(chown(board.Port().c_str(), 0, dialout->gr_gid) | chmod(board.Port().c_str(), 0660), 0);
  TempFolder folder;
  chmod(folder.File("").c_str(), 0755);
  std::filesystem::copy_file(ZELMO_FLASH_BINARY, folder.File("zelmo_flash"));
  std::filesystem::copy_file(kExample, folder.File("tnc.hex"));
  std::vector<std::string> argv = {"setpriv", "--reuid=nobody", "--regid=nogroup",
                                   "--clear-groups"};
  const auto program =
      Wrapped({folder.File("zelmo_flash"), board.Port(), "0", folder.File("tnc.hex")});
  argv.insert(argv.end(), program.begin(), program.end());
  const ProcessResult run = RunProcess(argv);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "\nUsing Serial port " + board.Port() + "\nDevice " + board.Port() + "\n");
  EXPECT_EQ(run.err, "Com Open Failed: Permission denied\nzelmo_flash: " + board.Port() +
                         " may be opened by group dialout: sudo usermod -aG dialout nobody, then "
                         "log in again\n");
  EXPECT_TRUE(board.Frames().empty());
}

// Over I2C at the i2c-dev seam: a check that also saves, with its wire log.
// The I2C link takes a 10 ms pause per reply byte, so this is the slow one.
TEST(OptionsEndToEnd, CheckAndSaveOverI2C) {
  TempFolder folder;
  const std::string saved = folder.File("tnc.hex");
  const std::string log = folder.File("wire.log");
  const ProcessResult run = RunProcess(
      Wrapped(
          {ZELMO_FLASH_BINARY, "--check", "--save", saved, "--trace", log, "7", "0x20", kExample}),
      ProcessOptions{
          .environment = OnI2CBus({"ZELMO_SHIM_HEX=" + kExample, "ZELMO_SHIM_NOT_READY=2"}),
          .timeout_seconds = 170});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "Sending Reset Request\nReading EEPROM from PIC\nEEPROM is up to date\n"
            "Reading Code from PIC\n" +
                kDisplays + "\nCode is up to date\nSaved " + saved + "\n");
  EXPECT_EQ(FileContent(saved), image::FormatHexFile(*AsBoardHoldsIt(kExample)));

  const auto [sent, received] = ReadWireLog(log);
  const auto check = CheckFrames();
  std::vector<std::string> expected = {"c0", "0f", "02"};  // the reset as send-byte transfers
  expected.insert(expected.end(), check.begin() + 1, check.end());
  EXPECT_EQ(sent, expected);
  ASSERT_EQ(received.size(), 1U + 1U + 112U);
  EXPECT_EQ(received.front(), "aa (2 not ready)");
  for (const std::string& reply : received) EXPECT_TRUE(reply.ends_with(" (2 not ready)")) << reply;
}

// A run recorded with --trace, run again against a board that replays its
// log: the same output and status, and the replay ends well. Another file
// against the same log is caught at its first frame that differs.
TEST(OptionsEndToEnd, AWireLogReplayedAsABoard) {
  TempFolder folder;
  const std::string log = folder.File("wire.log");
  const std::string replay_err = folder.File("replay.err");
  const TempFile settings(":020000040001F9\n:02E000004100DD\n:00000001FF\n");
  const TempFile other(":020000040001F9\n:02E000004200DC\n:00000001FF\n");
  const auto run = [&](const std::string& port, const std::string& hex) {
    ProcessResult result = Flash({"--trace", log, port, "0", hex}, 60);
    result.out.replace(result.out.find(port), port.size(), "PORT");
    return result;
  };
  const auto replay = [&] {
    return std::make_unique<BackgroundProcess>(std::vector<std::string>{
        "sh", "-c", "exec \"$0\" --replay \"$1\" 2>\"$2\"", SimboardBinary(), log, replay_err});
  };
  Board board({});
  const ProcessResult recorded = run(board.Port(), settings.Path());
  EXPECT_EQ(recorded.status, 0);
  EXPECT_TRUE(FileContent(log).starts_with("# zelmo_flash 0.0.0.2, serial port " + board.Port() +
                                           ", command line: --trace " + log + " " + board.Port()));
  const auto same = replay();
  const ProcessResult replayed = run(same->FirstLine(), settings.Path());
  EXPECT_EQ(std::tie(replayed.out, replayed.status), std::tie(recorded.out, recorded.status));
  EXPECT_EQ(same->Wait(), 0) << FileContent(replay_err);

  const auto differs = replay();
  run(differs->FirstLine(), other.Path());
  EXPECT_EQ(differs->Wait(), 1);
  EXPECT_TRUE(
      FileContent(replay_err)
          .ends_with(
              ": replay failed: frame 4 (20 42 00) differs from the log: line 7 has 20 41 00\n"));
}

}  // namespace
}  // namespace zelmo::testing
