#pragma once

#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace zelmo::testing {

// An empty folder that lives, with whatever ends up in it, as long as
// this object.
class TempFolder {
 public:
  TempFolder() {
    std::string name = "/tmp/zelmo_folder_XXXXXX";
    path_ = mkdtemp(name.data());
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  TempFolder(TempFolder&&) = delete;
  TempFolder& operator=(TempFolder&&) = delete;
  ~TempFolder() {
    for (const auto& name : Names()) unlink(File(name).c_str());
    rmdir(path_.c_str());
  }

  [[nodiscard]] std::string File(const std::string& name) const { return path_ + "/" + name; }

  // Every entry, hidden ones included.
  [[nodiscard]] std::vector<std::string> Names() const {
    std::vector<std::string> names;
    DIR* dir = opendir(path_.c_str());
    if (dir == nullptr) return names;
    while (const dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    closedir(dir);
    return names;
  }

 private:
  std::string path_;
};

inline std::string FileContent(const std::string& path) {
  std::ifstream file(path);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

}  // namespace zelmo::testing
