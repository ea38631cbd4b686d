#pragma once

#include <unistd.h>

#include <cstdlib>
#include <string>

namespace zelmo::testing {

// A file with the given content that lives as long as this object.
class TempFile {
 public:
  explicit TempFile(const std::string& content) {
    char name[] = "/tmp/zelmo_test_XXXXXX";
    const int fd = mkstemp(name);
    path_ = name;
    if (fd >= 0) {
      const ssize_t put = write(fd, content.data(), content.size());
      static_cast<void>(put);
      close(fd);
    }
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  TempFile(TempFile&&) = delete;
  TempFile& operator=(TempFile&&) = delete;
  ~TempFile() { unlink(path_.c_str()); }

  [[nodiscard]] const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace zelmo::testing
