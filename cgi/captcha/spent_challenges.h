// The challenges already solved, so that each is accepted once: one
// "EXPIRES ID" line per challenge until it expires, in a state file the
// caller reads and writes under a lock. Pure.
#pragma once

#include <cstddef>
#include <ctime>
#include <string>
#include <string_view>

namespace quillo {

// The file's bound. When it is full of challenges that have not expired,
// the one expiring first makes room: replaying it needs as many fresh
// solutions as the file holds, which buys a bot nothing.
constexpr std::size_t kMaxSpentChallenges = 10000;

struct SpendDecision {
  bool fresh = false;  // not spent before: the post may go on
  std::string state;   // to write back
};

// Drops what has expired by now, then marks id as spent until expires,
// unless it already is. Lines that do not read are dropped.
SpendDecision SpendChallenge(std::string_view state, std::string_view id, std::time_t expires,
                             std::time_t now);

}  // namespace quillo
