// The POSIX System and the process edges; see system.h.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "platform/net.h"
#include "platform/os_calls.h"
#include "platform/posix_retry.h"
#include "platform/system.h"

namespace quillo::platform {
namespace {

using os::kMaxLockedFileBytes;
using os::kReadStep;

// Appends at most at_most bytes read from fd to into; the count read, 0 at
// the end of input, -1 on an input error. Interrupted reads are retried.
ssize_t AppendRead(int fd, std::string& into, std::size_t at_most) {
  const std::size_t before = into.size();
  into.resize(before + at_most);
  const ssize_t got = RetryOnInterrupt([&] { return read(fd, into.data() + before, at_most); });
  into.resize(before + (got > 0 ? static_cast<std::size_t>(got) : 0));
  return got;
}

}  // namespace

namespace os {

void PrepareStandardStreams() {}

// On POSIX starting the sockets means ignoring SIGPIPE, so that a peer that
// closes the connection cannot kill the run; it cannot fail.
bool StartSockets() {
  signal(SIGPIPE, SIG_IGN);
  return true;
}

bool FileNamesIgnoreCase() { return false; }

std::optional<std::string> Variable(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

long AppendStandardInput(std::string& into, std::size_t at_most) {
  return static_cast<long>(AppendRead(STDIN_FILENO, into, at_most));
}

void DiscardStandardInput(std::size_t at_most, std::uint32_t timeout_ms) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  std::string scratch;
  while (at_most > 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return;
    pollfd watch{STDIN_FILENO, POLLIN, 0};
    if (RetryOnInterrupt(
            [&] { return poll(&watch, 1, static_cast<int>(std::min<long long>(left, INT_MAX))); }) <= 0)
      return;
    scratch.clear();
    const ssize_t got = AppendRead(STDIN_FILENO, scratch, std::min(at_most, kReadStep));
    if (got <= 0) return;
    at_most -= static_cast<std::size_t>(got);
  }
}

}  // namespace os

void ExitProcess(int status) {
  std::fflush(stdout);
  std::exit(status);
}

namespace os {

FileText ReadRegularFile(const std::string& path, std::size_t max_bytes) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    // A dangling link is there all the same: only no entry at all is missing.
    struct stat entry {};
    const bool missing = errno == ENOENT && lstat(path.c_str(), &entry) != 0 && errno == ENOENT;
    return {missing ? FileStatus::kMissing : FileStatus::kUnreadable, {}};
  }
  struct stat info {};
  FileText file;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    file.status = FileStatus::kUnreadable;
  } else if (static_cast<std::uint64_t>(info.st_size) > max_bytes) {
    file.status = FileStatus::kTooLarge;
  } else {
    // The first read asks for the size fstat gave and one byte more, which
    // tells a file that grew since; only such a file takes further steps. A
    // regular file reads short only at its end.
    std::string bytes;
    std::size_t step = static_cast<std::size_t>(info.st_size) + 1;
    ssize_t got;
    bool filled;
    do {
      const std::size_t asked = std::min(step, max_bytes + 1 - bytes.size());
      got = AppendRead(fd, bytes, asked);
      filled = got > 0 && static_cast<std::size_t>(got) == asked;
      step = kReadStep;
    } while (filled && bytes.size() <= max_bytes);
    if (got < 0) {
      file.status = FileStatus::kUnreadable;
    } else if (bytes.size() > max_bytes) {
      file.status = FileStatus::kTooLarge;
    } else {
      file.text = CrLfToLf(bytes);
      file.identity =
          FileIdentity{static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
    }
  }
  close(fd);
  return file;
}

std::optional<FileIdentity> IdentityOfFile(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return std::nullopt;
  return FileIdentity{static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino),
                      (info.st_mode & S_IROTH) != 0};
}

namespace {

bool WriteWhole(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t put = RetryOnInterrupt([&] { return write(fd, bytes.data(), bytes.size()); });
    if (put <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(put));
  }
  return true;
}

}  // namespace

// O_APPEND makes each write land whole at the end of the file.
bool AppendLineTo(const std::string& path, std::string_view line) {
  const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0640);
  if (fd < 0) return false;
  std::string text(line);
  text.push_back('\n');
  const bool written = WriteWhole(fd, text);
  return close(fd) == 0 && written;
}

// The lock is the file's own and goes with the descriptor, so a run that
// dies mid-update releases it.
bool UpdateUnderLock(const std::string& path, const std::function<std::string(std::string_view)>& update) {
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW, 0600);
  if (fd < 0) return false;
  bool done = false;
  struct stat info {};
  if (RetryOnInterrupt([&] { return flock(fd, LOCK_EX); }) == 0 && fstat(fd, &info) == 0 &&
      S_ISREG(info.st_mode) && info.st_size <= static_cast<off_t>(kMaxLockedFileBytes)) {
    std::string bytes;
    while (AppendRead(fd, bytes, kReadStep) > 0 && bytes.size() <= kMaxLockedFileBytes) {
    }
    const std::string replaced = update(bytes);
    done = lseek(fd, 0, SEEK_SET) == 0 && ftruncate(fd, 0) == 0 && WriteWhole(fd, replaced);
  }
  close(fd);  // releases the lock
  return done;
}

std::optional<LocalTime> LocalTimeOf(std::time_t when) {
  LocalTime local;
  if (localtime_r(&when, &local.fields) == nullptr) return std::nullopt;
  local.offset_east_seconds = local.fields.tm_gmtoff;
  return local;
}

}  // namespace os

}  // namespace quillo::platform
