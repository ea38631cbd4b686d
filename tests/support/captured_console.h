#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/console.h"

namespace zelmo::testing {

// A console whose two streams are kept in memory.
class CapturedConsole {
 public:
  CapturedConsole()
      : out_file_(open_memstream(&out_data_, &out_size_)),
        err_file_(open_memstream(&err_data_, &err_size_)) {}
  CapturedConsole(const CapturedConsole&) = delete;
  CapturedConsole& operator=(const CapturedConsole&) = delete;
  CapturedConsole(CapturedConsole&&) = delete;
  CapturedConsole& operator=(CapturedConsole&&) = delete;
  ~CapturedConsole() {
    std::fclose(out_file_);
    std::fclose(err_file_);
    std::free(out_data_);
    std::free(err_data_);
  }

  [[nodiscard]] Console Get() const { return Console{out_file_, err_file_, terminal}; }
  std::string Out() {
    std::fflush(out_file_);
    return {out_data_, out_size_};
  }
  std::string Err() {
    std::fflush(err_file_);
    return {err_data_, err_size_};
  }

  bool terminal = false;  // whether Get() says that out faces a person

 private:
  char* out_data_ = nullptr;
  std::size_t out_size_ = 0;
  char* err_data_ = nullptr;
  std::size_t err_size_ = 0;
  std::FILE* out_file_;
  std::FILE* err_file_;
};

}  // namespace zelmo::testing
