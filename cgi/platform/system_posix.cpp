// POSIX implementation of the system seam; see system.h.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "platform/system.h"

namespace quillo::platform {

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
  // Read in modest chunks so that a claimed length of gigabytes costs nothing
  // until the bytes are really there.
  constexpr std::size_t kChunk = 64 * 1024;
  std::string line;
  char chunk[kChunk];
  while (static_cast<long>(line.size()) < max_bytes) {
    const std::size_t wanted = std::min<std::size_t>(kChunk, static_cast<std::size_t>(max_bytes) - line.size());
    const ssize_t got = read(STDIN_FILENO, chunk, wanted);
    if (got < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;
    }
    if (got == 0) break;
    const std::string_view piece(chunk, static_cast<std::size_t>(got));
    const auto lf = piece.find('\n');
    if (lf != std::string_view::npos) {
      // Bytes after the first line feed are left unread on purpose: the body
      // ends at the first line feed.
      line.append(piece.substr(0, lf + 1));
      break;
    }
    line.append(piece);
  }
  return line;
}

void WriteStdoutText(std::string_view text) {
  const std::string bytes = LfToCrLf(text);
  std::fwrite(bytes.data(), 1, bytes.size(), stdout);
}

void ExitProcess(int status) {
  std::fflush(stdout);
  std::exit(status);
}

std::optional<std::string> ReadTextFile(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  // Read in steps; a directory or a failing device reports an error here.
  constexpr std::size_t kReadStep = 64 * 1024;
  std::string bytes;
  char step[kReadStep];
  for (;;) {
    const ssize_t got = read(fd, step, sizeof step);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      close(fd);
      return std::nullopt;
    }
    if (got == 0) break;
    bytes.append(step, static_cast<std::size_t>(got));
  }
  close(fd);
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
