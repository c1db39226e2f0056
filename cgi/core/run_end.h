// How a run ends. Every way out of a run is one complete response: the
// writers build it whole and throw RunEnded, and the program's entry writes
// it to standard output and exits. Nothing is written before that point, so
// a run can never leave a partial page behind.
#pragma once

#include <string>

namespace quillo {

struct RunEnded {
  std::string output;  // text with LF line ends; standard output adds the CRs
  int exit_status = 0;
};

}  // namespace quillo
