// How a run ends; see run_end.h.
#include "core/run_end.h"

#include <cstdlib>

namespace quillo {
namespace {

RunEnder installed_ender = nullptr;
AnswerFinisher installed_finisher;

}  // namespace

void SetRunEnder(RunEnder ender) { installed_ender = ender; }

ScopedAnswerFinisher::ScopedAnswerFinisher(AnswerFinisher finisher) {
  installed_finisher = std::move(finisher);
}

ScopedAnswerFinisher::~ScopedAnswerFinisher() { installed_finisher = nullptr; }

void EndRun(RunEnded end) {
  if (installed_finisher) {
    // Once: an answer the finisher itself ends with goes out as it is.
    const AnswerFinisher finisher = std::move(installed_finisher);
    installed_finisher = nullptr;
    finisher(end);
  }
  if (installed_ender == nullptr) throw end;
  installed_ender(end);
  std::abort();  // an ender that returns has broken its one promise
}

}  // namespace quillo
