// zelmo_flash_simboard: a simulated TNC board on a pseudo-terminal, so that
// zelmo_flash can be run, tested and measured without hardware.

#include <getopt.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "base/run_failure.h"
#include "image/hex_reader.h"
#include "link/wire_log.h"
#include "tools/simboard/board_model.h"
#include "tools/simboard/pty_server.h"

namespace {

volatile std::sig_atomic_t stop_requested = 0;

extern "C" void RequestStop(int /*signal*/) { stop_requested = 1; }

constexpr const char* kUsage =
    "usage: zelmo_flash_simboard [options]\n"
    "Serves a simulated board on a pseudo-terminal and prints the path to flash.\n"
    "  --hex FILE               start with the flash and EEPROM content of FILE\n"
    "  --trace FILE             write every frame received to FILE, one per line\n"
    "  --silent CODE[:N[:K]]    do not answer request CODE (hex; c0 = sync) from its\n"
    "                           N-th on (counted from 0), K times (default: always)\n"
    "  --sync-answer BYTE       answer the sync with BYTE (hex) instead of aa\n"
    "  --stale BYTES            hex bytes waiting in the port before the first request\n"
    "  --checksum-errors ADDR:N refuse the first N writes of block ADDR (hex)\n"
    "  --lose-eeprom-writes     acknowledge EEPROM writes without keeping them\n"
    "  --bad-word ADDR[:N]      word ADDR (hex) reads back wrong once programmed, in\n"
    "                           the first N reads of its block (default: always)\n"
    "  --pieces SIZE:MS         send replies in pieces of SIZE bytes, MS apart\n"
    "  --vanish-after N         go away (close the terminal) after N frames\n"
    "  --replay LOG             answer as the board of a serial link's wire log (written\n"
    "                           by zelmo_flash --trace) did; ends by itself: status 0\n"
    "                           once every logged frame came as logged and the port\n"
    "                           was closed, 1 at the first frame that differs\n"
    "  --help                   this text\n";

struct Settings {
  bool help = false;
  zelmo::sim::Faults faults;
  std::string hex_file;
  std::string trace_file;
  std::string replay_file;
};

// "A:B[:C]" as numbers; B and C keep their defaults when absent.
void SplitNumbers(const char* text, int base_a, long& a, long& b, long* c = nullptr) {
  char* rest = nullptr;
  a = std::strtol(text, &rest, base_a);
  if (*rest != ':') return;
  b = std::strtol(rest + 1, &rest, 10);
  if (*rest == ':' && c != nullptr) *c = std::strtol(rest + 1, nullptr, 10);
}

std::vector<std::uint8_t> HexBytes(const char* text) {
  std::vector<std::uint8_t> bytes;
  for (const char* at = text; *at != '\0';) {
    char* end = nullptr;
    bytes.push_back(static_cast<std::uint8_t>(std::strtol(at, &end, 16)));
    if (end == at) break;
    at = (*end == ':' || *end == ',') ? end + 1 : end;
  }
  return bytes;
}

bool ApplyOption(int option, const char* value, Settings& settings) {
  auto& faults = settings.faults;
  long a = 0;
  long b = 0;
  long c = -1;
  switch (option) {
    case 'h':
      settings.hex_file = value;
      return true;
    case 'H':
      settings.help = true;
      return true;
    case 't':
      settings.trace_file = value;
      return true;
    case 's':
      SplitNumbers(value, 16, a, b, &c);
      faults.silent_request = static_cast<int>(a);
      faults.silent_from = static_cast<int>(b);
      faults.silent_count = static_cast<int>(c);
      return true;
    case 'a':
      faults.sync_answer = static_cast<std::uint8_t>(std::strtol(value, nullptr, 16));
      return true;
    case 'o':
      faults.stale_bytes = HexBytes(value);
      return true;
    case 'c':
      b = 1;
      SplitNumbers(value, 16, a, b);
      faults.checksum_error_block = static_cast<int>(a);
      faults.checksum_errors = static_cast<int>(b);
      return true;
    case 'r':
      settings.replay_file = value;
      return true;
    case 'v':
      faults.vanish_after = static_cast<std::size_t>(std::strtoul(value, nullptr, 10));
      return true;
    case 'l':
      faults.lose_eeprom_writes = true;
      return true;
    case 'b':
      b = -1;
      SplitNumbers(value, 16, a, b);
      faults.bad_word = static_cast<int>(a);
      faults.bad_word_reads = static_cast<int>(b);
      return true;
    case 'p':
      SplitNumbers(value, 10, a, b);
      faults.piece_size = static_cast<std::size_t>(a);
      faults.piece_delay_ms = static_cast<int>(b);
      return true;
    default:
      return false;
  }
}

bool ParseSettings(int argc, char** argv, Settings& settings) {
  static const option kOptions[] = {{"hex", required_argument, nullptr, 'h'},
                                    {"trace", required_argument, nullptr, 't'},
                                    {"silent", required_argument, nullptr, 's'},
                                    {"sync-answer", required_argument, nullptr, 'a'},
                                    {"stale", required_argument, nullptr, 'o'},
                                    {"checksum-errors", required_argument, nullptr, 'c'},
                                    {"lose-eeprom-writes", no_argument, nullptr, 'l'},
                                    {"bad-word", required_argument, nullptr, 'b'},
                                    {"pieces", required_argument, nullptr, 'p'},
                                    {"vanish-after", required_argument, nullptr, 'v'},
                                    {"replay", required_argument, nullptr, 'r'},
                                    {"help", no_argument, nullptr, 'H'},
                                    {nullptr, 0, nullptr, 0}};
  int option = 0;
  while ((option = getopt_long(argc, argv, "", kOptions, nullptr)) != -1) {
    if (!ApplyOption(option, optarg, settings)) return false;
  }
  return optind == argc;
}

constexpr int kNotALog = 2;

// The board of a log, or none (with the reason on stderr) when the file is
// not a serial link's log.
std::optional<zelmo::sim::BoardModel> ReplayedBoard(const std::string& path) {
  zelmo::link::WireLog log = zelmo::link::ReadWireLogFile(path);
  if (!log.error.empty()) {
    std::fprintf(stderr, "zelmo_flash_simboard: %s: %s\n", path.c_str(), log.error.c_str());
    return std::nullopt;
  }
  if (log.i2c) {
    std::fprintf(stderr,
                 "zelmo_flash_simboard: %s is a log of the I2C link: its reset request and "
                 "not-ready bytes have no form on a serial line, so it cannot be replayed\n",
                 path.c_str());
    return std::nullopt;
  }
  return zelmo::sim::BoardModel(zelmo::sim::LogReplay(std::move(log)));
}

zelmo::sim::BoardModel ModelledBoard(const Settings& settings) {
  zelmo::sim::BoardModel board(settings.faults);
  if (!settings.hex_file.empty()) {
    auto image = std::make_unique<zelmo::image::WordImage>();
    zelmo::image::LoadHexFile(settings.hex_file.c_str(), *image, zelmo::Console{stderr, stderr});
    board.Load(*image);
  }
  return board;
}

// A replay's ending: 0 only when the whole log came as logged.
int ReplayStatus(const zelmo::sim::LogReplay& replay) {
  const bool whole = !replay.Failed() && replay.Complete();
  std::fprintf(stderr, "zelmo_flash_simboard: %s%s\n",
               whole ? "" : "replay failed: ", replay.Report().c_str());
  return whole ? 0 : 1;
}

int Serve(zelmo::sim::BoardModel& board, const Settings& settings) {
  std::FILE* trace = nullptr;
  if (!settings.trace_file.empty() &&
      (trace = std::fopen(settings.trace_file.c_str(), "w")) == nullptr) {
    std::perror(settings.trace_file.c_str());
    return 1;
  }
  zelmo::sim::PtyServer server(board, trace);
  std::printf("%s\n", server.Open().c_str());
  std::fflush(stdout);
  server.Serve(stop_requested, settings.faults.vanish_after);
  if (trace != nullptr) std::fclose(trace);
  return board.Replay() != nullptr ? ReplayStatus(*board.Replay()) : 0;
}

int Run(const Settings& settings) {
  if (settings.replay_file.empty()) {
    zelmo::sim::BoardModel board = ModelledBoard(settings);
    return Serve(board, settings);
  }
  std::optional<zelmo::sim::BoardModel> board = ReplayedBoard(settings.replay_file);
  return board ? Serve(*board, settings) : kNotALog;
}

}  // namespace

int main(int argc, char** argv) {
  Settings settings;
  if (!ParseSettings(argc, argv, settings)) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  if (settings.help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  std::signal(SIGTERM, RequestStop);
  std::signal(SIGINT, RequestStop);
  std::signal(SIGHUP, RequestStop);
  try {
    return Run(settings);
  } catch (const zelmo::RunFailure& failure) {
    return failure.status;
  }
}
