// The seam between mail delivery and the programs of the operating system:
// one program run with its input, its error output and a bounded wait. The
// sendmail transport hands a message to the local mail system's submission
// command through it; process_posix.cpp implements it for POSIX systems.
//
// The program is run directly, never through a shell: each argument reaches
// it as one word, whatever characters it holds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillo::platform {

// The first bytes of a program's error output that a run keeps: enough for
// the diagnostics of a mail submission command, and all a log line needs.
constexpr std::size_t kMaxErrorOutput = 4 * 1024;

// What became of one program run.
struct ProgramRun {
  bool started = false;        // the program could be run at all
  int exit_status = -1;        // its exit status; -1 unless it exited by itself
  bool timed_out = false;      // killed when its time was up
  std::string error_output;    // the first kMaxErrorOutput bytes of its stderr
  bool input_written = false;  // all of its standard input reached it
};

// Runs the program at path with argv[0] = path followed by arguments, in the
// caller's environment; writes standard_input to its stdin and then closes
// it, keeps the start of its stderr and discards its stdout. Waits at most
// timeout_ms in all for it to take its input and exit; then it is killed
// and timed_out is set. A program that exits without reading all of its
// input ends the writing, with input_written false; it does not end the
// caller. The program inherits no other descriptor of the caller's, and no
// child is left behind unreaped.
ProgramRun RunProgram(const std::string& path, const std::vector<std::string>& arguments,
                      std::string_view standard_input, std::uint32_t timeout_ms);

// The number of this process, for identifiers that must differ between runs.
unsigned long CurrentProcessId();

}  // namespace quillo::platform
