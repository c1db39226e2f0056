// A System for runs in-process: the environment, the request body, the
// site's files, the clock and the host name are what the test sets, and what
// the run writes to the error log is kept.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/system.h"

namespace quillo::testing {

class FakeSystem : public System {
 public:
  std::map<std::string, std::string> environment;
  std::optional<std::string> body = std::string();  // nothing: reading it fails
  std::size_t body_read = 0;                        // what AppendStdin has handed out
  std::map<std::string, FileText> files;            // by path; any other is missing
  std::map<std::string, std::string> links;         // another name of a file: its path in files
  std::time_t now = 1796748718;                     // Tue, 08 Dec 2026 16:51:58 UTC
  std::string host_name = "web.example.test";
  std::string canonical_host_name = "web.example.test";
  bool sockets_start = true;
  std::vector<std::string> log;
  mutable int local_times_made = 0;  // ToLocalTime calls: each reads the zone on a real system

  // A readable file with this text.
  void AddFile(const std::string& path, std::string text);

  FileText ReadTextFile(const std::string& path, std::size_t max_bytes) const override;
  // Each file of files is its own, numbered by its path; a link is the file it names.
  std::optional<FileIdentity> IdentityOf(const std::string& path) const override;
  bool StartSockets() override { return sockets_start; }
  std::optional<std::string> GetEnv(const char* name) const override;
  std::optional<std::string> ReadStdinLine(long max_bytes) override;
  long AppendStdin(std::string& into, std::size_t at_most) override;
  std::time_t Now() const override { return now; }
  std::optional<LocalTime> ToLocalTime(std::time_t when) const override;
  std::string HostName() const override { return host_name; }
  std::string CanonicalHostName() const override { return canonical_host_name; }
  bool FileNamesIgnoreCase() const override { return false; }
  void WriteStderrLine(std::string_view line) override { log.emplace_back(line); }
  bool AppendLine(const std::string& path, std::string_view line) override {
    files[path].text.append(line).append("\n");
    return true;
  }
  bool UpdateLockedFile(const std::string& path,
                        const std::function<std::string(std::string_view)>& update) override {
    files[path].text = update(files[path].text);
    return true;
  }
};

}  // namespace quillo::testing
