#include "image/replacement_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "base/run_failure.h"

namespace zelmo::image {
namespace {

constexpr mode_t kFileMode = 0666;  // less the umask, as any new file
constexpr int kNameAttempts = 100;

bool WriteAll(int fd, std::string_view content) {
  while (!content.empty()) {
    const ssize_t put = write(fd, content.data(), content.size());
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    content.remove_prefix(static_cast<std::size_t>(put));
  }
  return true;
}

// The rename itself is only durable once the directory is on disk too.
void SyncDirectory(const std::string& directory) {
  const int fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);  // NOLINT
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

bool LacksUnnamedFiles(int error) {
  return error == EOPNOTSUPP || error == EISDIR || error == EINVAL;
}

}  // namespace

ReplacementFile::ReplacementFile(std::string path, const Console& console)
    : path_(std::move(path)), console_(console) {
  directory_ = std::filesystem::path(path_).parent_path().string();
  if (directory_.empty()) directory_ = ".";
  struct stat existing {};
  if (stat(path_.c_str(), &existing) == 0 && S_ISDIR(existing.st_mode)) {
    errno = EISDIR;
    throw RunFailure{CannotWrite()};
  }
  unnamed_ = open(directory_.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, kFileMode);  // NOLINT
  if (unnamed_ >= 0) return;
  if (!LacksUnnamedFiles(errno)) throw RunFailure{CannotWrite()};
  // Without unnamed files, make sure now that a named one can be made.
  std::string probe = TemporaryName(0) + "XXXXXX";
  const int fd = mkstemp(probe.data());
  if (fd < 0) throw RunFailure{CannotWrite()};
  close(fd);
  unlink(probe.c_str());
}

ReplacementFile::~ReplacementFile() {
  if (unnamed_ >= 0) close(unnamed_);
}

std::string ReplacementFile::CannotWrite() const {
  return PrintCannotWrite(console_, path_.c_str());
}

std::string ReplacementFile::TemporaryName(int attempt) const {
  const std::string base = std::filesystem::path(path_).filename().string();
  return directory_ + "/." + base + "." + std::to_string(getpid()) + "." + std::to_string(attempt) +
         ".";
}

// Gives the complete unnamed file a name beside path; empty when the
// system will not (no /proc, say).
std::string ReplacementFile::LinkUnnamedFile() {
  const std::string self = "/proc/self/fd/" + std::to_string(unnamed_);
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    std::string name = TemporaryName(attempt) + "tmp";
    if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
      return name;
    }
    if (errno != EEXIST) break;
  }
  return {};
}

bool ReplacementFile::WriteNamedFile(std::string_view content, std::string& name) const {
  name = TemporaryName(0) + "XXXXXX";
  const int fd = mkstemp(name.data());
  if (fd < 0) return false;
  const mode_t mask = umask(0);
  umask(mask);
  const bool written =
      fchmod(fd, kFileMode & ~mask) == 0 && WriteAll(fd, content) && fsync(fd) == 0;
  const int error = errno;
  close(fd);
  if (written) return true;
  unlink(name.c_str());
  errno = error;
  return false;
}

std::optional<std::string> ReplacementFile::Replace(std::string_view content) {
  std::string name;
  if (unnamed_ >= 0) {
    if (!WriteAll(unnamed_, content) || fsync(unnamed_) != 0) return CannotWrite();
    name = LinkUnnamedFile();
  }
  if (name.empty() && !WriteNamedFile(content, name)) return CannotWrite();
  if (rename(name.c_str(), path_.c_str()) != 0) {
    const int error = errno;
    unlink(name.c_str());
    errno = error;
    return CannotWrite();
  }
  SyncDirectory(directory_);
  return std::nullopt;
}

}  // namespace zelmo::image
