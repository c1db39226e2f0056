// A System for runs in-process; see fake_system.h.
#include "fake_system.h"

#include <ctime>
#include <functional>

namespace quillo::testing {

void FakeSystem::AddFile(const std::string& path, std::string text) {
  files[path] = FileText{FileStatus::kRead, std::move(text)};
}

FileText FakeSystem::ReadTextFile(const std::string& path, std::size_t max_bytes) const {
  const auto link = links.find(path);
  const auto found = files.find(link == links.end() ? path : link->second);
  if (found == files.end()) return {FileStatus::kMissing, {}};
  if (found->second.status == FileStatus::kRead && found->second.text.size() > max_bytes) {
    return {FileStatus::kTooLarge, {}};
  }
  FileText file = found->second;
  if (file.status == FileStatus::kRead) file.identity = IdentityOf(found->first);
  return file;
}

std::optional<FileIdentity> FakeSystem::IdentityOf(const std::string& path) const {
  const auto link = links.find(path);
  const auto found = files.find(link == links.end() ? path : link->second);
  if (found == files.end()) return std::nullopt;
  return FileIdentity{1, std::hash<std::string>()(found->first)};
}

std::optional<std::string> FakeSystem::GetEnv(const char* name) const {
  const auto found = environment.find(name);
  if (found == environment.end()) return std::nullopt;
  return found->second;
}

// As standard input is read: up to max_bytes, or through the first LF.
std::optional<std::string> FakeSystem::ReadStdinLine(long max_bytes) {
  if (!body) return std::nullopt;
  std::string line = body->substr(0, static_cast<std::size_t>(max_bytes));
  const std::size_t lf = line.find('\n');
  if (lf != std::string::npos) line.resize(lf + 1);
  return line;
}

// The body in pieces of at most at_most bytes, as a pipe gives it.
long FakeSystem::AppendStdin(std::string& into, std::size_t at_most) {
  if (!body) return -1;
  const std::string_view rest = std::string_view(*body).substr(std::min(body_read, body->size()));
  const std::size_t taken = std::min(rest.size(), at_most);
  into.append(rest.substr(0, taken));
  body_read += taken;
  return static_cast<long>(taken);
}

// The run's clock in UTC, whatever the machine's zone.
std::optional<LocalTime> FakeSystem::ToLocalTime(std::time_t when) const {
  ++local_times_made;
  LocalTime local;
#ifdef _WIN32
  if (gmtime_s(&local.fields, &when) != 0) return std::nullopt;
#else
  if (gmtime_r(&when, &local.fields) == nullptr) return std::nullopt;
#endif
  return local;
}

}  // namespace quillo::testing
