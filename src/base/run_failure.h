#pragma once

// Every way a run fails travels as one RunFailure: thrown where the failure
// is met, after its text was printed; decided on once by the update's
// sequence (another try, or the run's ending); turned into the exit status
// and the report by main alone. Throwing instead of calling exit() lets
// every ending run in-process under test.

#include <cstdio>
#include <string>

namespace zelmo {

// The exit statuses.
inline constexpr int kExitSuccess = 0;  // the board holds the file (or --help)
inline constexpr int kExitFailure = 1;  // the run failed; also -v and a bad command line
inline constexpr int kExitDiffers = 2;  // a check found the board unlike the file

// Where the run was: a failure of the HEX file is a refusal in the report;
// only one with the board may be passing.
enum class FailedIn {
  kHexFile,  // the file was refused or could not be read: nothing opened
  kHost,     // this computer: a file to write, a device to open or lock
  kBoard,    // the board, once the handshake began
};

// When another try can help.
enum class Retry {
  kNever,         // the board is not there, or the host is at fault
  kOnceAnswered,  // a passing fault, if the bootloader has answered once
  kAlways,        // a passing fault whatever came before: the firmware's own
                  // bytes taken for the sync's answer, a port that went away
};

struct RunFailure {
  std::string message;  // the first line of the text the run ended with
  FailedIn where = FailedIn::kHost;
  Retry retry = Retry::kNever;
  int status = kExitFailure;
};

// Prints a text made by snprintf on stream and fails with its first line.
template <typename... Args>
[[noreturn]] void FailSaying(FailedIn where, std::FILE* stream, const char* format, Args... args) {
  const int length = std::snprintf(nullptr, 0, format, args...);
  std::string text(length > 0 ? static_cast<std::size_t>(length) + 1 : 1, '\0');
  std::snprintf(text.data(), text.size(), format, args...);
  text.pop_back();
  std::fputs(text.c_str(), stream);
  throw RunFailure{text.substr(0, text.find('\n')), where};  // its first line
}

}  // namespace zelmo
