#include "process.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <iterator>
#include <sstream>

namespace zelmo::testing {
namespace {

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  pointers.reserve(texts.size() + 1);
  std::transform(texts.begin(), texts.end(), std::back_inserter(pointers),
                 [](std::string& text) { return text.data(); });
  pointers.push_back(nullptr);
  return pointers;
}

[[noreturn]] void Exec(std::vector<std::string> argv, const std::vector<std::string>& environment) {
  for (const auto& entry : environment) {
    std::string copy = entry;
    const auto equals = copy.find('=');
    setenv(copy.substr(0, equals).c_str(), copy.substr(equals + 1).c_str(), 1);
  }
  auto pointers = Pointers(argv);
  execvp(pointers[0], pointers.data());
  _exit(127);
}

// Drains both pipes until the child closes them or the deadline passes.
bool Collect(int out_fd, int err_fd, ProcessResult& result,
             std::chrono::steady_clock::time_point deadline) {
  std::array<pollfd, 2> fds = {{{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}}};
  std::array<std::string*, 2> sinks = {&result.out, &result.err};
  int open_pipes = 2;
  while (open_pipes > 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    if (poll(fds.data(), fds.size(), static_cast<int>(left.count())) <= 0) continue;
    for (std::size_t i = 0; i < fds.size(); ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      std::array<char, 4096> buffer{};
      const ssize_t got = read(fds[i].fd, buffer.data(), buffer.size());
      if (got > 0) {
        sinks[i]->append(buffer.data(), static_cast<std::size_t>(got));
      } else {
        fds[i].fd = -1;
        --open_pipes;
      }
    }
  }
  return true;
}

}  // namespace

std::vector<std::string> Wrapped(std::vector<std::string> argv) {
  const char* wrapper = std::getenv("ZELMO_FLASH_WRAPPER");
  if (wrapper == nullptr) return argv;
  std::vector<std::string> words;
  std::istringstream text(wrapper);
  for (std::string word; text >> word;) words.push_back(word);
  argv.insert(argv.begin(), words.begin(), words.end());
  return argv;
}

ProcessResult RunProcess(const std::vector<std::string>& argv, const ProcessOptions& options) {
  ProcessResult result;
  std::array<int, 2> out_pipe{};
  std::array<int, 2> err_pipe{};
  if (pipe(out_pipe.data()) != 0 || pipe(err_pipe.data()) != 0) return result;
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(out_pipe[1], STDOUT_FILENO);
    dup2(err_pipe[1], STDERR_FILENO);
    close(out_pipe[0]);
    close(err_pipe[0]);
    Exec(argv, options.environment);
  }
  close(out_pipe[1]);
  close(err_pipe[1]);
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(options.timeout_seconds);
  if (!Collect(out_pipe[0], err_pipe[0], result, deadline)) kill(pid, SIGKILL);
  close(out_pipe[0]);
  close(err_pipe[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

BackgroundProcess::BackgroundProcess(const std::vector<std::string>& argv) {
  std::array<int, 2> out_pipe{};
  if (pipe(out_pipe.data()) != 0) return;
  pid_ = fork();
  if (pid_ == 0) {
    dup2(out_pipe[1], STDOUT_FILENO);
    close(out_pipe[0]);
    Exec(argv, {});
  }
  close(out_pipe[1]);
  char byte = 0;
  while (read(out_pipe[0], &byte, 1) == 1 && byte != '\n') first_line_ += byte;
  close(out_pipe[0]);
}

BackgroundProcess::~BackgroundProcess() { Stop(); }

void BackgroundProcess::Stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

}  // namespace zelmo::testing
