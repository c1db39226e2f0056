// What the admin command asks of the system about users and files: who an
// account is and what a file's owner, group and mode are, so that it can
// tell whether the web server's user may read or write a path. POSIX only
// (accounts_posix.cpp); the CGI program itself never asks.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quillo::platform {

struct Account {
  std::uint32_t uid = 0;
  std::vector<std::uint32_t> groups;  // the primary group and every other
};

// The account of that name; nothing when there is none.
std::optional<Account> LookUpAccount(const std::string& name);

struct FileFacts {
  bool directory = false;
  std::uint32_t mode = 0;  // the permission bits, 07777 at most
  std::uint32_t uid = 0;
  std::uint32_t gid = 0;
};

// What the file at path is, symbolic links followed; nothing when it
// cannot be reached.
std::optional<FileFacts> FactsOf(const std::string& path);

// Where the symbolic link at path points, as written in it; empty when path
// is no link.
std::string LinkTarget(const std::string& path);

}  // namespace quillo::platform
