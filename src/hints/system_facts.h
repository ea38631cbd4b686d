#pragma once

// What the first-run hints need to know about this computer, behind one
// small interface so that tests can describe any computer.

#include <optional>
#include <string>
#include <vector>

namespace zelmo::hints {

struct FileAccess {
  unsigned mode = 0;  // the permission bits
  std::string owner;
  std::string group;
};

enum class Membership {
  kNone,     // the user is not listed in the group
  kListed,   // listed in the group database, but this login lacks it
  kInLogin,  // this process has the group
};

class SystemFacts {
 public:
  SystemFacts() = default;
  SystemFacts(const SystemFacts&) = delete;
  SystemFacts& operator=(const SystemFacts&) = delete;
  SystemFacts(SystemFacts&&) = delete;
  SystemFacts& operator=(SystemFacts&&) = delete;
  virtual ~SystemFacts() = default;

  [[nodiscard]] virtual std::optional<FileAccess> Access(const std::string& path) const = 0;
  [[nodiscard]] virtual std::string UserName() const = 0;
  [[nodiscard]] virtual Membership MembershipOf(const std::string& name) const = 0;
  // The names in folder, in no particular order.
  [[nodiscard]] virtual std::vector<std::string> Entries(const std::string& folder) const = 0;
  // Empty when path is no symbolic link.
  [[nodiscard]] virtual std::string LinkTarget(const std::string& path) const = 0;
  // Empty when the file cannot be read.
  [[nodiscard]] virtual std::string Text(const std::string& path) const = 0;
};

// This computer, as the running process sees it.
class LiveSystem final : public SystemFacts {
 public:
  [[nodiscard]] std::optional<FileAccess> Access(const std::string& path) const override;
  [[nodiscard]] std::string UserName() const override;
  [[nodiscard]] Membership MembershipOf(const std::string& name) const override;
  [[nodiscard]] std::vector<std::string> Entries(const std::string& folder) const override;
  [[nodiscard]] std::string LinkTarget(const std::string& path) const override;
  [[nodiscard]] std::string Text(const std::string& path) const override;
};

}  // namespace zelmo::hints
