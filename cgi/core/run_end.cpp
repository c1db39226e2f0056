// How a run ends; see run_end.h.
#include "core/run_end.h"

#include <cstdlib>

namespace quillo {
namespace {

RunEnder installed_ender = nullptr;

}  // namespace

void SetRunEnder(RunEnder ender) { installed_ender = ender; }

void EndRun(RunEnded end) {
  if (installed_ender == nullptr) throw end;
  installed_ender(end);
  std::abort();  // an ender that returns has broken its one promise
}

}  // namespace quillo
