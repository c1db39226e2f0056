// POSIX calls that a signal can interrupt (EINTR) are started again: the
// program handles no signal, so an interruption never means "give up".
#pragma once

#include <cerrno>

namespace quillo::platform {

// Calls call() until it returns anything but -1 with errno EINTR.
template <typename Call>
auto RetryOnInterrupt(Call call) {
  decltype(call()) result;
  do {
    result = call();
  } while (result < 0 && errno == EINTR);
  return result;
}

}  // namespace quillo::platform
