// Fuzz target: the rate limit's state file and the visitor's address, and
// the allow-list's check. The state a post writes back is one "SECONDS KEY"
// line per counted post, within the bound, whatever the file held; a list
// the check passes holds only entries that restrict.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "request/field_checks.h"
#include "request/site_rules.h"

using namespace quillo;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t bar = input.find('|');
  const std::string_view state = input.substr(0, bar);
  const std::string_view address = bar == std::string_view::npos ? std::string_view() : input.substr(bar + 1);
  const RateDecision decision = CountPost(state, address, 1000000, RateLimit{3, 600});
  if (static_cast<std::size_t>(std::count(decision.state.begin(), decision.state.end(), '\n')) >
      kMaxRateEntries)
    std::abort();
  for (std::size_t from = 0; from < decision.state.size();) {
    const std::size_t end = decision.state.find('\n', from);
    const std::string_view line = std::string_view(decision.state).substr(from, end - from);
    const std::size_t blank = line.find(' ');
    if (end == std::string::npos || blank == std::string_view::npos ||
        line.find(' ', blank + 1) != std::string_view::npos)
      std::abort();
    from = end + 1;
  }
  const std::string key = RateKey(address);
  if (key.empty() || key.find_first_of(" \n\r") != std::string::npos) std::abort();
  if (FirstInvalidAllowListLine(input) == 0) {
    for (const std::string& entry : ParseAllowList(input)) {
      if (!IsAllowListEntry(entry)) std::abort();
    }
  }
  return 0;
}
