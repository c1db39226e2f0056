// `quillo check`: reads the site's setup as the CGI program reads it and
// says, one finding a line, what holds and what to mend: the settings file
// and each mistake with its line, whether the web server's user can read
// the documents, templates, allow-list and DKIM key and write the state
// folder and the log, the modes of files that hold secrets, and the DNS
// record the DKIM key expects. Pure over SetupFacts, which the command
// fills from the system and tests from tables.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quillo {

enum class Verdict { kOk, kWarn, kFail };

struct Finding {
  Verdict verdict = Verdict::kOk;
  std::string text;  // what was found
  std::string fix;   // what to do about it; empty for OK
};

// "OK    text", "WARN  text; fix", "FAIL  text; fix".
std::string FormatFinding(const Finding& finding);

// For scripts: 0 when everything is OK, 1 with warnings only, 2 with a
// failure.
int ExitStatusOf(const std::vector<Finding>& findings);

enum class Want { kRead, kWrite };
enum class Access { kMissing, kDenied, kAllowed };

// What the check asks of the machine.
class SetupFacts {
 public:
  virtual ~SetupFacts() = default;
  // The file's text as this command reads it (as root, usually); nothing
  // when it is not there or cannot be read.
  virtual std::optional<std::string> Read(const std::string& path) const = 0;
  // Whether the web server's user may read the file, or write it (a file
  // it appends to, or a folder it creates files in), every folder on the
  // way included.
  virtual Access AccessOf(const std::string& path, Want want) const = 0;
  // Where a symbolic link points; empty for a file.
  virtual std::string LinkTarget(const std::string& path) const = 0;
  // The permission bits; nothing when it is not there.
  virtual std::optional<std::uint32_t> ModeOf(const std::string& path) const = 0;
};

struct CheckRequest {
  std::string program_path;  // quillopro.exe, absolute
  std::string web_user;      // the account the web server runs programs as
};

std::vector<Finding> CheckSetup(const CheckRequest& request, const SetupFacts& facts);

}  // namespace quillo
