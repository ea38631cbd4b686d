#pragma once

// A run that cannot begin ends at the place that knows why, after printing
// its message: a file refused, a device that does not open. Throwing
// instead of calling exit() lets it run in-process under test; main()
// turns it into the process status. Failures met once the board answers
// are handed up to the run's sequence instead (driver/run_ending.h).

#include <cstdio>
#include <string>

namespace zelmo {

struct RunEnded {
  int status;
  std::string message;  // the first line of the text the run ended with
};

[[noreturn]] inline void EndRun(int status, std::string message) {
  throw RunEnded{status, std::move(message)};
}

// The first line of text, without its line end.
inline std::string FirstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

// Prints a text made by snprintf on stream and ends the run with it.
template <typename... Args>
[[noreturn]] void EndRunSaying(std::FILE* stream, int status, const char* format, Args... args) {
  const int length = std::snprintf(nullptr, 0, format, args...);
  std::string text(length > 0 ? static_cast<std::size_t>(length) + 1 : 1, '\0');
  std::snprintf(text.data(), text.size(), format, args...);
  text.pop_back();
  std::fputs(text.c_str(), stream);
  EndRun(status, FirstLine(text));
}

}  // namespace zelmo
