// The machine's files and accounts as the setup check asks for them; see
// system_facts.h.
#include "admin/system_facts.h"

#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/accounts.h"

namespace quillo {
namespace {

constexpr unsigned kRead = 4, kWrite = 2, kSearch = 1;

// The kernel's rule: the owner's bits for the owner, else the group's for a
// member of the file's group, else the others'.
bool Permits(const platform::FileFacts& file, const platform::Account& account, unsigned wanted) {
  if (account.uid == 0) return true;
  unsigned shift = 0;
  if (account.uid == file.uid) {
    shift = 6;
  } else {
    for (const std::uint32_t group : account.groups) {
      if (group == file.gid) shift = 3;
    }
  }
  return ((file.mode >> shift) & wanted) == wanted;
}

}  // namespace

std::optional<std::string> SystemFacts::Read(const std::string& path) const {
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

Access SystemFacts::AccessOf(const std::string& path, Want want) const {
  std::error_code error;
  const std::filesystem::path real = std::filesystem::canonical(path, error);
  const std::optional<platform::FileFacts> target = error ? std::nullopt : platform::FactsOf(real.string());
  if (!target) return Access::kMissing;
  const std::optional<platform::Account> account = platform::LookUpAccount(web_user_);
  if (!account) return Access::kDenied;
  for (std::filesystem::path folder = real.parent_path();; folder = folder.parent_path()) {
    const std::optional<platform::FileFacts> facts = platform::FactsOf(folder.string());
    if (!facts || !Permits(*facts, *account, kSearch)) return Access::kDenied;
    if (folder == folder.root_path()) break;
  }
  unsigned wanted = want == Want::kRead ? kRead : kWrite;
  if (target->directory) wanted |= kSearch;
  return Permits(*target, *account, wanted) ? Access::kAllowed : Access::kDenied;
}

std::string SystemFacts::LinkTarget(const std::string& path) const { return platform::LinkTarget(path); }

std::optional<std::uint32_t> SystemFacts::ModeOf(const std::string& path) const {
  const std::optional<platform::FileFacts> facts = platform::FactsOf(path);
  if (!facts) return std::nullopt;
  return facts->mode;
}

}  // namespace quillo
