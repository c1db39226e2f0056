// POSIX program runs behind the process seam; see process.h.
//
// posix_spawn starts the program with its stdin and stderr on pipes and its
// stdout on /dev/null. One poll loop then feeds the input, drains the error
// output and looks for the exit, all without blocking, so that a program
// which neither reads nor exits costs the caller its time limit and no more.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <ctime>

#include "platform/posix_retry.h"
#include "platform/process.h"

extern char** environ;

namespace quillo::platform {
namespace {

// While the program runs, the loop looks for its exit this often even when
// the pipes stay quiet: a program may end while a child of its own still
// holds them. Short, because a wake-up costs little and every run may wait
// up to this long after the program's last byte.
constexpr int kExitCheckMs = 5;

// The error output is read in steps of this size. What goes beyond
// kMaxErrorOutput is read all the same and dropped, so that a talkative
// program never blocks on a full pipe.
constexpr std::size_t kReadStep = 4096;

using Clock = std::chrono::steady_clock;

// A descriptor that closes with its scope.
class Descriptor {
 public:
  Descriptor() = default;
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() { Close(); }

  int get() const { return fd_; }
  bool is_open() const { return fd_ >= 0; }
  void Reset(int fd) {
    Close();
    fd_ = fd;
  }
  void Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
};

// A pipe end that landed on 0, 1 or 2 (the caller had one of them closed)
// would be overwritten by the program's standard descriptors, so it is
// moved above them. Keeps close-on-exec.
int AboveStandardDescriptors(int fd) {
  if (fd > STDERR_FILENO) return fd;
  const int moved = fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
  close(fd);
  return moved;
}

// A pipe whose ends close on exec; the caller's end does not block.
bool OpenPipe(Descriptor& read_end, Descriptor& write_end, bool caller_reads) {
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) return false;
  read_end.Reset(AboveStandardDescriptors(ends[0]));
  write_end.Reset(AboveStandardDescriptors(ends[1]));
  if (!read_end.is_open() || !write_end.is_open()) return false;
  // The two ends are separate open files: the program's end stays blocking.
  const int callers = caller_reads ? read_end.get() : write_end.get();
  const int flags = fcntl(callers, F_GETFL);
  return flags >= 0 && fcntl(callers, F_SETFL, flags | O_NONBLOCK) == 0;
}

// Starts path with stdin and stderr on the given descriptors and stdout on
// /dev/null. The program gets default signal handling with nothing blocked:
// the caller may ignore SIGPIPE for its sockets, and an ignored signal would
// stay ignored across exec.
bool Spawn(const std::string& path, const std::vector<std::string>& arguments, int program_stdin,
           int program_stderr, pid_t& pid) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(path.c_str()));
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  if (posix_spawn_file_actions_init(&actions) != 0) return false;
  posix_spawnattr_t attributes;
  if (posix_spawnattr_init(&attributes) != 0) {
    posix_spawn_file_actions_destroy(&actions);
    return false;
  }
  sigset_t nothing;
  sigset_t broken_pipe;
  sigemptyset(&nothing);
  sigemptyset(&broken_pipe);
  sigaddset(&broken_pipe, SIGPIPE);
  bool ready = posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF) == 0 &&
               posix_spawnattr_setsigmask(&attributes, &nothing) == 0 &&
               posix_spawnattr_setsigdefault(&attributes, &broken_pipe) == 0 &&
               posix_spawn_file_actions_adddup2(&actions, program_stdin, STDIN_FILENO) == 0 &&
               posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0) == 0 &&
               posix_spawn_file_actions_adddup2(&actions, program_stderr, STDERR_FILENO) == 0;
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
  // Our own descriptors close on exec; this also keeps from the program
  // those that code we do not own opened without O_CLOEXEC.
  ready = ready && posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1) == 0;
#endif
  const bool spawned =
      ready && posix_spawn(&pid, path.c_str(), &actions, &attributes, argv.data(), environ) == 0;
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  return spawned;
}

// Blocks SIGPIPE in this thread while the program's input is written: a
// program that closes its stdin early then makes the write fail with EPIPE
// instead of ending the caller. A SIGPIPE raised meanwhile is taken before
// the caller's signal mask comes back.
class BrokenPipeHeld {
 public:
  BrokenPipeHeld() {
    sigemptyset(&broken_pipe_);
    sigaddset(&broken_pipe_, SIGPIPE);
    held_ = pthread_sigmask(SIG_BLOCK, &broken_pipe_, &before_) == 0;
  }
  BrokenPipeHeld(const BrokenPipeHeld&) = delete;
  BrokenPipeHeld& operator=(const BrokenPipeHeld&) = delete;
  ~BrokenPipeHeld() {
    if (!held_) return;
    sigset_t pending;
    // One that was blocked before is the caller's to take.
    if (!sigismember(&before_, SIGPIPE) && sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE)) {
      const timespec no_wait{};
      RetryOnInterrupt([&] { return sigtimedwait(&broken_pipe_, nullptr, &no_wait); });
    }
    pthread_sigmask(SIG_SETMASK, &before_, nullptr);
  }

 private:
  sigset_t broken_pipe_;
  sigset_t before_;
  bool held_ = false;
};

// Writes as much of the input as the pipe takes now; true while some is
// left and the program may still take it.
bool FeedInput(int fd, std::string_view input, std::size_t& written) {
  while (written < input.size()) {
    const std::string_view rest = input.substr(written);
    const ssize_t put = RetryOnInterrupt([&] { return write(fd, rest.data(), rest.size()); });
    if (put < 0) return errno == EAGAIN || errno == EWOULDBLOCK;
    written += static_cast<std::size_t>(put);
  }
  return false;
}

enum class ErrorRead { kData, kNone, kEnd };

// One read of the program's error output, keeping what fits in
// kMaxErrorOutput. kNone: nothing there now; kEnd: the pipe closed.
ErrorRead ReadErrors(int fd, std::string& kept) {
  char buffer[kReadStep];
  const ssize_t got = RetryOnInterrupt([&] { return read(fd, buffer, sizeof buffer); });
  if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return ErrorRead::kNone;
  if (got <= 0) return ErrorRead::kEnd;
  const std::size_t room = kMaxErrorOutput - std::min(kept.size(), kMaxErrorOutput);
  kept.append(buffer, std::min(room, static_cast<std::size_t>(got)));
  return ErrorRead::kData;
}

// Milliseconds to the deadline, rounded up, at most cap.
int MillisecondsLeft(Clock::time_point deadline, int cap) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return static_cast<int>(std::clamp<decltype(left)>(left, 0, cap));
}

}  // namespace

ProgramRun RunProgram(const std::string& path, const std::vector<std::string>& arguments,
                      std::string_view standard_input, std::uint32_t timeout_ms) {
  ProgramRun run;
  Descriptor input_read, input_write, errors_read, errors_write;
  if (!OpenPipe(input_read, input_write, false) || !OpenPipe(errors_read, errors_write, true)) return run;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  pid_t pid = 0;
  if (!Spawn(path, arguments, input_read.get(), errors_write.get(), pid)) return run;
  run.started = true;
  input_read.Close();
  errors_write.Close();

  std::size_t written = 0;
  if (standard_input.empty()) input_write.Close();
  int status = 0;
  bool exited = false;
  bool status_known = true;
  {
    const BrokenPipeHeld held;
    while (!exited && Clock::now() < deadline) {
      pollfd watch[2];
      nfds_t watched = 0;
      if (input_write.is_open()) watch[watched++] = {input_write.get(), POLLOUT, 0};
      if (errors_read.is_open()) watch[watched++] = {errors_read.get(), POLLIN, 0};
      // Interrupted or not, the loop looks at everything again.
      poll(watch, watched, MillisecondsLeft(deadline, kExitCheckMs));
      if (input_write.is_open() && !FeedInput(input_write.get(), standard_input, written)) {
        input_write.Close();  // the program's end of input
      }
      if (errors_read.is_open() && ReadErrors(errors_read.get(), run.error_output) == ErrorRead::kEnd) {
        errors_read.Close();
      }
      const pid_t waited = waitpid(pid, &status, WNOHANG);
      if (waited == pid) {
        exited = true;
      } else if (waited < 0 && errno != EINTR) {
        // A child we cannot wait for (the caller lets the system reap its
        // children) has ended; it must not be killed, as its process id may
        // be another's by now.
        exited = true;
        status_known = false;
      }
    }
    input_write.Close();
  }
  if (!exited) {
    kill(pid, SIGKILL);
    RetryOnInterrupt([&] { return waitpid(pid, &status, 0); });
    run.timed_out = true;
  } else if (status_known && WIFEXITED(status)) {
    run.exit_status = WEXITSTATUS(status);
  }
  // What the program wrote before it ended is still in the pipe.
  while (errors_read.is_open() && run.error_output.size() < kMaxErrorOutput &&
         ReadErrors(errors_read.get(), run.error_output) == ErrorRead::kData) {
  }
  run.input_written = written == standard_input.size();
  return run;
}

unsigned long CurrentProcessId() { return static_cast<unsigned long>(getpid()); }

}  // namespace quillo::platform
