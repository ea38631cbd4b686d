#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "base/console.h"

namespace zelmo::image {

// A file that takes the place of `path` in one step or not at all. The
// content goes to an unnamed file in path's directory, which is given a
// name and renamed over path only once it is complete and on disk; a run
// that ends before that leaves path as it was and no file behind.
class ReplacementFile {
 public:
  // Fails (after "Cannot write PATH: ERROR" on stderr) when the directory
  // does not take a new file, so nothing is read in vain.
  ReplacementFile(std::string path, const Console& console);
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;
  ReplacementFile(ReplacementFile&&) = delete;
  ReplacementFile& operator=(ReplacementFile&&) = delete;
  ~ReplacementFile();

  [[nodiscard]] const std::string& Path() const { return path_; }

  // Puts content in path's place. When it cannot, leaves path as it was
  // and returns the "Cannot write" line it printed.
  [[nodiscard]] std::optional<std::string> Replace(std::string_view content);

 private:
  [[nodiscard]] std::string CannotWrite() const;
  [[nodiscard]] std::string TemporaryName(int attempt) const;
  std::string LinkUnnamedFile();
  bool WriteNamedFile(std::string_view content, std::string& name) const;

  std::string path_;
  std::string directory_;
  Console console_;
  int unnamed_ = -1;  // the O_TMPFILE file; -1 where the filesystem has none
};

}  // namespace zelmo::image
