// Accounts and file facts from the C library; see accounts.h.
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/accounts.h"

namespace quillo::platform {

std::optional<Account> LookUpAccount(const std::string& name) {
  const passwd* entry = getpwnam(name.c_str());
  if (entry == nullptr) return std::nullopt;
  Account account;
  account.uid = entry->pw_uid;
  // Asked again with room enough when the first guess is too small.
  int count = 16;
  std::vector<gid_t> groups(static_cast<std::size_t>(count));
  while (getgrouplist(name.c_str(), entry->pw_gid, groups.data(), &count) < 0) {
    groups.resize(static_cast<std::size_t>(count));
  }
  groups.resize(static_cast<std::size_t>(count));
  account.groups.assign(groups.begin(), groups.end());
  return account;
}

std::optional<FileFacts> FactsOf(const std::string& path) {
  struct stat facts {};
  if (stat(path.c_str(), &facts) != 0) return std::nullopt;
  return FileFacts{S_ISDIR(facts.st_mode), static_cast<std::uint32_t>(facts.st_mode & 07777),
                   static_cast<std::uint32_t>(facts.st_uid), static_cast<std::uint32_t>(facts.st_gid)};
}

std::string LinkTarget(const std::string& path) {
  // readlink says nothing of a target longer than the buffer but that it
  // filled it: then it is asked again with twice the room.
  for (std::size_t room = 256;; room *= 2) {
    std::string target(room, '\0');
    const ssize_t length = readlink(path.c_str(), target.data(), target.size());
    if (length < 0) return {};
    if (static_cast<std::size_t>(length) < room) {
      target.resize(static_cast<std::size_t>(length));
      return target;
    }
  }
}

}  // namespace quillo::platform
