#include "hints/system_facts.h"

#include <dirent.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <iterator>
#include <memory>

namespace zelmo::hints {
namespace {

std::string NameOfUser(uid_t uid) {
  const passwd* entry = getpwuid(uid);
  return entry != nullptr ? entry->pw_name : std::to_string(uid);
}

std::string NameOfGroup(gid_t gid) {
  const group* entry = getgrgid(gid);
  return entry != nullptr ? entry->gr_name : std::to_string(gid);
}

// The groups the group database lists for the user, the primary one too.
std::vector<gid_t> ListedGroups() {
  const passwd* entry = getpwuid(geteuid());
  if (entry == nullptr) return {};
  const std::string name = entry->pw_name;
  const gid_t primary = entry->pw_gid;
  int count = 64;
  std::vector<gid_t> groups(static_cast<std::size_t>(count));
  if (getgrouplist(name.c_str(), primary, groups.data(), &count) < 0) {
    groups.resize(static_cast<std::size_t>(count));
    if (getgrouplist(name.c_str(), primary, groups.data(), &count) < 0) return {};
  }
  groups.resize(static_cast<std::size_t>(count));
  return groups;
}

std::vector<gid_t> LoginGroups() {
  std::vector<gid_t> groups(static_cast<std::size_t>(std::max(getgroups(0, nullptr), 0)));
  const int count = getgroups(static_cast<int>(groups.size()), groups.data());
  groups.resize(static_cast<std::size_t>(std::max(count, 0)));
  groups.push_back(getegid());
  return groups;
}

bool Holds(const std::vector<gid_t>& groups, gid_t gid) {
  return std::find(groups.begin(), groups.end(), gid) != groups.end();
}

}  // namespace

std::optional<FileAccess> LiveSystem::Access(const std::string& path) const {
  struct stat status {};
  if (stat(path.c_str(), &status) != 0) return std::nullopt;
  return FileAccess{.mode = status.st_mode & 07777U,
                    .owner = NameOfUser(status.st_uid),
                    .group = NameOfGroup(status.st_gid)};
}

std::string LiveSystem::UserName() const { return NameOfUser(geteuid()); }

Membership LiveSystem::MembershipOf(const std::string& name) const {
  const group* entry = getgrnam(name.c_str());
  if (entry == nullptr) return Membership::kNone;
  const gid_t gid = entry->gr_gid;
  if (Holds(LoginGroups(), gid)) return Membership::kInLogin;
  return Holds(ListedGroups(), gid) ? Membership::kListed : Membership::kNone;
}

std::vector<std::string> LiveSystem::Entries(const std::string& folder) const {
  std::vector<std::string> names;
  const std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), closedir);
  if (!dir) return names;
  while (const dirent* entry = readdir(dir.get())) names.emplace_back(entry->d_name);
  return names;
}

std::string LiveSystem::LinkTarget(const std::string& path) const {
  std::array<char, 4096> target{};
  const ssize_t length = readlink(path.c_str(), target.data(), target.size() - 1);
  return length > 0 ? std::string(target.data(), static_cast<std::size_t>(length)) : "";
}

std::string LiveSystem::Text(const std::string& path) const {
  std::ifstream file(path);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

}  // namespace zelmo::hints
