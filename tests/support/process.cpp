#include "process.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
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

// The test's own environment with the given NAME=value entries in force.
std::vector<std::string> Environment(const std::vector<std::string>& changes) {
  std::vector<std::string> entries;
  for (char** entry = environ; *entry != nullptr; ++entry) entries.emplace_back(*entry);
  for (const auto& change : changes) {
    const std::string name = change.substr(0, change.find('=') + 1);
    std::erase_if(entries, [&](const std::string& entry) { return entry.starts_with(name); });
    entries.push_back(change);
  }
  return entries;
}

// posix_spawn rather than fork: the tests also run under qemu-user, whose
// fork emulation is not to be relied on.
pid_t Spawn(std::vector<std::string> argv, const std::vector<std::string>& changes, int out_fd,
            int err_fd, const std::vector<int>& to_close) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out_fd, STDOUT_FILENO);
  if (err_fd >= 0) posix_spawn_file_actions_adddup2(&actions, err_fd, STDERR_FILENO);
  for (const int fd : to_close) posix_spawn_file_actions_addclose(&actions, fd);
  auto environment = Environment(changes);
  auto arguments = Pointers(argv);
  auto variables = Pointers(environment);
  pid_t pid = -1;
  if (posix_spawnp(&pid, arguments[0], &actions, nullptr, arguments.data(), variables.data()) !=
      0) {
    pid = -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

// Drains both pipes until the child closes them or the deadline passes.
bool Collect(int& out_fd, int err_fd, ProcessResult& result, const ProcessOptions& options,
             pid_t pid, std::chrono::steady_clock::time_point deadline) {
  bool cued = !options.at_cue;
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
        if (i == 0 && !cued && result.out.find(options.cue) != std::string::npos) {
          cued = true;
          if (options.at_cue(pid)) {
            close(out_fd);  // the reader goes away
            out_fd = fds[0].fd = -1;
            --open_pipes;
          }
        }
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
#ifdef ZELMO_EMULATOR
  if (wrapper == nullptr) wrapper = ZELMO_EMULATOR;
#endif
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
  const pid_t pid = Spawn(argv, options.environment, out_pipe[1], err_pipe[1],
                          {out_pipe[0], err_pipe[0], out_pipe[1], err_pipe[1]});
  close(out_pipe[1]);
  close(err_pipe[1]);
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(options.timeout_seconds);
  if (!Collect(out_pipe[0], err_pipe[0], result, options, pid, deadline) && pid > 0) {
    kill(pid, SIGKILL);
  }
  if (out_pipe[0] >= 0) close(out_pipe[0]);
  close(err_pipe[0]);
  int status = 0;
  if (pid <= 0 || waitpid(pid, &status, 0) != pid) return result;
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  return result;
}

BackgroundProcess::BackgroundProcess(const std::vector<std::string>& argv) {
  std::array<int, 2> out_pipe{};
  if (pipe(out_pipe.data()) != 0) return;
  pid_ = Spawn(argv, {}, out_pipe[1], -1, {out_pipe[0], out_pipe[1]});
  close(out_pipe[1]);
  char byte = 0;
  while (read(out_pipe[0], &byte, 1) == 1 && byte != '\n') first_line_ += byte;
  close(out_pipe[0]);
}

BackgroundProcess::~BackgroundProcess() { Stop(); }

int BackgroundProcess::Wait() {
  int status = 0;
  const bool ended = pid_ > 0 && waitpid(pid_, &status, 0) == pid_;
  pid_ = -1;
  return ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void BackgroundProcess::Stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

}  // namespace zelmo::testing
