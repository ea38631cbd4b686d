#include "hints/port_holders.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <memory>

#include "hints/holder_hints.h"

namespace zelmo::hints {
namespace {

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};
using Directory = std::unique_ptr<DIR, DirCloser>;

bool IsPid(const char* name) {
  return *name != '\0' &&
         std::all_of(name, name + std::char_traits<char>::length(name),
                     [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; });
}

// Whether any descriptor of the process leads to the device; processes
// whose descriptors we may not see count as not holding it.
bool HoldsDevice(const std::string& fd_dir, dev_t device) {
  const Directory dir(opendir(fd_dir.c_str()));
  if (!dir) return false;
  while (const dirent* entry = readdir(dir.get())) {
    struct stat target {};
    if (!IsPid(entry->d_name)) continue;  // descriptor numbers are digits too
    if (stat((fd_dir + "/" + entry->d_name).c_str(), &target) != 0) continue;
    if (S_ISCHR(target.st_mode) && target.st_rdev == device) return true;
  }
  return false;
}

std::string CommandOf(const std::string& process_dir) {
  std::ifstream comm(process_dir + "/comm");
  std::string command;
  std::getline(comm, command);
  return command;
}

}  // namespace

std::vector<PortHolder> FindPortHolders(int fd, const std::string& proc) {
  std::vector<PortHolder> holders;
  struct stat port {};
  if (fstat(fd, &port) != 0 || !S_ISCHR(port.st_mode)) return holders;
  const Directory dir(opendir(proc.c_str()));
  if (!dir) return holders;
  const int self = getpid();
  while (const dirent* entry = readdir(dir.get())) {
    if (!IsPid(entry->d_name)) continue;
    const int pid = std::stoi(entry->d_name);
    const std::string process_dir = proc + "/" + entry->d_name;
    if (pid == self || !HoldsDevice(process_dir + "/fd", port.st_rdev)) continue;
    holders.push_back({pid, CommandOf(process_dir)});
  }
  std::sort(holders.begin(), holders.end(),
            [](const PortHolder& a, const PortHolder& b) { return a.pid < b.pid; });
  return holders;
}

void NameHolders(int fd, const std::string& progname, const std::string& before,
                 const std::string& after, const Console& console) {
  const LiveSystem system;
  for (const PortHolder& holder : FindPortHolders(fd)) {
    std::fprintf(console.err, "%s: %s %s (pid %d)%s\n", progname.c_str(), before.c_str(),
                 holder.command.c_str(), holder.pid, after.c_str());
    const auto service = HolderServiceHint(progname, holder.pid, holder.command, system);
    if (service) std::fprintf(console.err, "%s\n", service->c_str());
  }
  std::fflush(console.err);
}

}  // namespace zelmo::hints
