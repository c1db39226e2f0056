// Program runs with real programs of the system: exit statuses, error
// output, a missing program, time-outs, input the program does not take, and
// what the program inherits. Each run is compared whole.
#include "platform/process.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <ostream>

namespace quillo::platform {

bool operator==(const ProgramRun& a, const ProgramRun& b) {
  return a.started == b.started && a.exit_status == b.exit_status && a.timed_out == b.timed_out &&
         a.error_output == b.error_output && a.input_written == b.input_written;
}
void PrintTo(const ProgramRun& run, std::ostream* out) {
  *out << "{started=" << run.started << " exit_status=" << run.exit_status << " timed_out=" << run.timed_out
       << " input_written=" << run.input_written << " error_output=\"" << run.error_output << "\"}";
}

namespace {

// Generous for a loaded machine: none of these programs needs a second.
constexpr std::uint32_t kEnough = 30000;

// More than a pipe holds, so that a program which does not read it cannot
// let all of it be written.
const std::string kMebibyte(1024 * 1024, 'm');

ProgramRun Exited(int status, std::string error_output = "", bool input_written = true) {
  return {true, status, false, std::move(error_output), input_written};
}

ProgramRun TimedOut(bool input_written) { return {true, -1, true, "", input_written}; }

struct Case {
  const char* what;
  std::string path;
  std::vector<std::string> arguments;
  std::string input;
  std::uint32_t timeout_ms;
  ProgramRun expected;
};

TEST(RunProgram, ReportsHowTheProgramEnded) {
  const Case cases[] = {
      {"reads its input and exits 0", "/bin/cat", {}, "a message\n", kEnough, Exited(0)},
      {"reads a mebibyte", "/bin/cat", {}, kMebibyte, kEnough, Exited(0)},
      {"no input", "/bin/cat", {}, "", kEnough, Exited(0)},
      {"exits 1", "/bin/false", {}, "", kEnough, Exited(1)},
      {"error output and a status",
       "/bin/sh",
       {"-c", "echo oops >&2; exit 3"},
       "",
       kEnough,
       Exited(3, "oops\n")},
      {"standard output is dropped",
       "/bin/sh",
       {"-c", "echo out; echo err >&2"},
       "",
       kEnough,
       Exited(0, "err\n")},
      {"error output beyond the bound",
       "/bin/sh",
       {"-c", "head -c 100000 /dev/zero | tr '\\0' x >&2; echo late >&2"},
       "",
       kEnough,
       Exited(0, std::string(kMaxErrorOutput, 'x'))},
      {"the error output keeps its bytes",
       "/bin/sh",
       {"-c", "printf 'a\\0b\\r\\n' >&2"},
       "",
       kEnough,
       Exited(0, std::string("a\0b\r\n", 5))},
      {"missing", "/nonexistent/sendmail", {"-i"}, "a message\n", kEnough, ProgramRun{}},
      {"not a program", "/etc/passwd", {}, "", kEnough, ProgramRun{}},
      {"sleeps past its time", "/bin/sleep", {"5"}, "", 300, TimedOut(true)},
      {"neither reads nor exits", "/bin/sleep", {"5"}, kMebibyte, 300, TimedOut(false)},
      {"exits without reading", "/bin/sh", {"-c", "exit 0"}, kMebibyte, kEnough, Exited(0, "", false)},
      {"fails without reading",
       "/bin/sh",
       {"-c", "echo busy >&2; exit 75"},
       kMebibyte,
       kEnough,
       Exited(75, "busy\n", false)},
      {"reads a little and exits", "/usr/bin/head", {"-c", "10"}, kMebibyte, kEnough, Exited(0, "", false)},
      {"closes its error output and sleeps",
       "/bin/sh",
       {"-c", "echo bye >&2; exec 2>&-; sleep 5"},
       "",
       300,
       {true, -1, true, "bye\n", true}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RunProgram(c.path, c.arguments, c.input, c.timeout_ms), c.expected) << c.what;
  }
}

// The run ends with the program: a child it left running with the pipes
// open would otherwise hold the caller until the time is up.
TEST(RunProgram, EndsWithTheProgramNotWithAChildItLeftBehind) {
  const ProgramRun run = RunProgram("/bin/sh", {"-c", "sleep 60 & echo $! >&2"}, "", kEnough);
  const pid_t left_behind = std::atoi(run.error_output.c_str());
  if (left_behind > 0) kill(left_behind, SIGKILL);
  EXPECT_EQ(run, Exited(0, std::to_string(left_behind) + "\n"));
}

// argv[0] is the path and every argument one word as given: no shell reads them.
TEST(RunProgram, PassesTheArgumentsAsGiven) {
  const std::string script = "tr '\\0' '|' < /proc/$$/cmdline >&2";
  const std::vector<std::string> arguments = {"-c", script, "a b; echo c", "$HOME", "", "-- *"};
  EXPECT_EQ(RunProgram("/bin/sh", arguments, "", kEnough),
            Exited(0, "/bin/sh|-c|" + script + "|a b; echo c|$HOME||-- *|"));
}

TEST(RunProgram, PassesTheCallersEnvironment) {
  ASSERT_EQ(setenv("QUILLO_PROCESS_TEST", "from the caller", 1), 0);
  EXPECT_EQ(RunProgram("/bin/sh", {"-c", "printf %s \"$QUILLO_PROCESS_TEST\" >&2"}, "", kEnough),
            Exited(0, "from the caller"));
  unsetenv("QUILLO_PROCESS_TEST");
}

// The program sees its three standard descriptors, and ls the one it opens
// to read the folder: not the caller's, not even one without close-on-exec.
TEST(RunProgram, TheProgramInheritsNoOtherDescriptor) {
  const int left_open = dup(STDERR_FILENO);
  ASSERT_GE(left_open, 0);
  EXPECT_EQ(RunProgram("/bin/sh", {"-c", "exec ls /proc/self/fd >&2"}, "", kEnough),
            Exited(0, "0\n1\n2\n3\n"));
  close(left_open);
}

// The CGI program ignores SIGPIPE for its sockets. Its children must not:
// yes is ended by SIGPIPE when head has had enough, instead of reporting a
// write error.
TEST(RunProgram, TheProgramGetsDefaultSignalHandling) {
  const auto before = signal(SIGPIPE, SIG_IGN);
  const ProgramRun run = RunProgram("/bin/sh", {"-c", "yes | head -c 1 >/dev/null"}, "", kEnough);
  signal(SIGPIPE, before);
  EXPECT_EQ(run, Exited(0));
}

// With SIGPIPE at its default, a program that closes its input early must
// not end the caller: this test would die here.
TEST(RunProgram, AProgramThatStopsReadingDoesNotEndTheCaller) {
  const auto before = signal(SIGPIPE, SIG_DFL);
  const ProgramRun run = RunProgram("/usr/bin/head", {"-c", "1"}, kMebibyte, kEnough);
  signal(SIGPIPE, before);
  EXPECT_EQ(run, Exited(0, "", false));
}

}  // namespace
}  // namespace quillo::platform
