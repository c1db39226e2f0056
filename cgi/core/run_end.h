// How a run ends. Every way out of a run is one complete response: the
// writers build it whole and hand it to EndRun. Nothing is written before
// that point, so a run can never leave a partial page behind.
//
// The program installs an ender that writes the answer and exits on the
// spot: a run is one pass, nothing waits to be released, and unwinding the
// stack would cost more than the rest of a short run. Without one, EndRun
// throws the answer, which is how tests catch it.
#pragma once

#include <string>

namespace quillo {

struct RunEnded {
  std::string output;  // text with LF line ends; standard output adds the CRs
  int exit_status = 0;
};

// Writes the answer and ends the process; must not return.
using RunEnder = void (*)(const RunEnded& end);

void SetRunEnder(RunEnder ender);

[[noreturn]] void EndRun(RunEnded end);

}  // namespace quillo
