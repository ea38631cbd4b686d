#pragma once

#include <string>
#include <string_view>

#include "console.h"

namespace zelmo::image {

// A file that takes the place of `path` in one step or not at all. The
// content goes to an unnamed file in path's directory, which is given a
// name and renamed over path only once it is complete and on disk; a run
// that ends before that leaves path as it was and no file behind.
class ReplacementFile {
 public:
  // Ends the run (status 1, "Cannot write PATH: ERROR" on stderr) when the
  // directory does not take a new file, so nothing is read in vain.
  ReplacementFile(std::string path, const Console& console);
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;
  ReplacementFile(ReplacementFile&&) = delete;
  ReplacementFile& operator=(ReplacementFile&&) = delete;
  ~ReplacementFile();

  [[nodiscard]] const std::string& Path() const { return path_; }

  // Puts content in path's place. Ends the run (status 1) when it cannot,
  // leaving path as it was.
  void Replace(std::string_view content);

 private:
  [[noreturn]] void Fail() const;
  [[nodiscard]] std::string TemporaryName(int attempt) const;
  std::string LinkUnnamedFile();
  std::string WriteNamedFile(std::string_view content);

  std::string path_;
  std::string directory_;
  Console console_;
  int unnamed_ = -1;  // the O_TMPFILE file; -1 where the filesystem has none
};

}  // namespace zelmo::image
