#include "app/output_files.h"

#include <array>
#include <filesystem>
#include <utility>

namespace zelmo {
namespace {

namespace fs = std::filesystem;

// A file not yet there is resolved as far as its folders exist.
fs::path Resolved(const std::string& name) {
  std::error_code error;
  const fs::path absolute = fs::absolute(name, error);
  if (error) return fs::path(name).lexically_normal();
  const fs::path resolved = fs::weakly_canonical(absolute, error);
  return error ? absolute.lexically_normal() : resolved;
}

// Hard links are one file under two names.
bool SameFile(const std::string& a, const std::string& b) {
  std::error_code error;
  return fs::equivalent(a, b, error) || Resolved(a) == Resolved(b);
}

}  // namespace

std::optional<std::string> SameFileRefusal(const CommandLine& line, const std::string& progname) {
  const std::array<std::pair<const char*, const std::optional<std::string>*>, 3> files = {{
      {"save", &line.save_file},
      {"report", &line.report_file},
      {"trace", &line.trace_file},
  }};
  for (std::size_t i = 0; i < files.size(); ++i) {
    for (std::size_t j = i + 1; j < files.size(); ++j) {
      const auto& [first, first_file] = files.at(i);
      const auto& [second, second_file] = files.at(j);
      if (*first_file && *second_file && SameFile(**first_file, **second_file)) {
        return progname + ": --" + first + " and --" + second + " name the same file";
      }
    }
  }
  return std::nullopt;
}

}  // namespace zelmo
