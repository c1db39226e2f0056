// Solved challenges; see spent_challenges.h.
#include "captcha/spent_challenges.h"

#include <algorithm>
#include <vector>

#include "core/text.h"

namespace quillo {
namespace {

struct Spent {
  std::time_t expires = 0;
  std::string_view id;
};

}  // namespace

SpendDecision SpendChallenge(std::string_view state, std::string_view id, std::time_t expires,
                             std::time_t now) {
  std::vector<Spent> kept;
  SpendDecision decision;
  for (std::string_view line : Lines(state)) {
    const std::size_t blank = line.find(' ');
    if (blank == std::string_view::npos) continue;
    const auto when = ReadNumber(line.substr(0, blank), 1ULL << 40);
    const std::string_view spent_id = line.substr(blank + 1);
    if (!when || spent_id.empty() || static_cast<std::time_t>(*when) < now) continue;
    if (spent_id == id) {
      decision.state = std::string(state);
      return decision;
    }
    kept.push_back({static_cast<std::time_t>(*when), spent_id});
  }
  if (kept.size() >= kMaxSpentChallenges) {
    std::sort(kept.begin(), kept.end(), [](const Spent& a, const Spent& b) { return a.expires > b.expires; });
    kept.resize(kMaxSpentChallenges - 1);
  }
  for (const Spent& spent : kept) {
    decision.state += std::to_string(spent.expires);
    decision.state += ' ';
    decision.state.append(spent.id);
    decision.state += '\n';
  }
  decision.state += std::to_string(expires) + " " + std::string(id) + "\n";
  decision.fresh = true;
  return decision;
}

}  // namespace quillo
