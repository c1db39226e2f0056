// POSIX implementation of the system seam; see system.h.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "platform/system.h"

namespace quillo::platform {
namespace {

// Input is read in steps of this size, so that memory grows with what really
// arrives: a claimed body length of gigabytes costs nothing by itself.
constexpr std::size_t kReadStep = 64 * 1024;

// Appends at most at_most bytes read from fd to into; the count read, 0 at
// the end of input, -1 on an input error. Interrupted reads are retried.
ssize_t AppendRead(int fd, std::string& into, std::size_t at_most) {
  const std::size_t before = into.size();
  into.resize(before + at_most);
  ssize_t got;
  do {
    got = read(fd, into.data() + before, at_most);
  } while (got < 0 && errno == EINTR);
  into.resize(before + (got > 0 ? static_cast<std::size_t>(got) : 0));
  return got;
}

}  // namespace

bool FileNamesIgnoreCase() { return false; }

bool StartSockets() {
  signal(SIGPIPE, SIG_IGN);
  return true;
}

std::optional<std::string> GetEnv(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

std::optional<std::string> ReadStdinLine(long max_bytes) {
  std::string line;
  while (static_cast<long>(line.size()) < max_bytes) {
    const std::size_t before = line.size();
    const std::size_t wanted = std::min<std::size_t>(kReadStep, static_cast<std::size_t>(max_bytes) - before);
    const ssize_t got = AppendRead(STDIN_FILENO, line, wanted);
    if (got < 0) return std::nullopt;
    if (got == 0) break;
    // The body ends at its first line feed; whatever came with it is dropped.
    const auto lf = line.find('\n', before);
    if (lf != std::string::npos) {
      line.resize(lf + 1);
      break;
    }
  }
  return line;
}

void WriteStdoutText(std::string_view text) {
  const std::string bytes = LfToCrLf(text);
  std::fwrite(bytes.data(), 1, bytes.size(), stdout);
}

void WriteStderrLine(std::string_view line) {
  std::string text = "quillopro.exe: ";
  text.append(line);
  text.push_back('\n');
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

void ExitProcess(int status) {
  std::fflush(stdout);
  std::exit(status);
}

std::optional<std::string> ReadTextFile(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  // A folder or a failing device opens but reports an error on reading.
  std::string bytes;
  ssize_t got;
  do {
    got = AppendRead(fd, bytes, kReadStep);
  } while (got > 0);
  close(fd);
  if (got < 0) return std::nullopt;
  return CrLfToLf(bytes);
}

std::time_t Now() { return std::time(nullptr); }

std::optional<LocalTime> ToLocalTime(std::time_t when) {
  LocalTime local;
  if (localtime_r(&when, &local.fields) == nullptr) return std::nullopt;
  local.offset_east_seconds = local.fields.tm_gmtoff;
  return local;
}

std::string HostName() {
  // POSIX host names are at most HOST_NAME_MAX bytes; one more for the NUL.
  char name[HOST_NAME_MAX + 1] = {};
  if (gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

}  // namespace quillo::platform
