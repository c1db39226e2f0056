// The store's plain records; see submission.h.
#include "store/submission.h"

#include <array>

namespace quillo {
namespace {

constexpr std::array<std::pair<SubmissionState, std::string_view>, 5> kStateNames = {{
    {SubmissionState::kPending, "pending"},
    {SubmissionState::kSent, "sent"},
    {SubmissionState::kFailed, "failed"},
    {SubmissionState::kExpired, "expired"},
    {SubmissionState::kSpam, "spam"},
}};

}  // namespace

std::string_view StateName(SubmissionState state) {
  for (const auto& [each, name] : kStateNames) {
    if (each == state) return name;
  }
  return "pending";
}

std::optional<SubmissionState> StateNamed(std::string_view name) {
  for (const auto& [state, each] : kStateNames) {
    if (each == name) return state;
  }
  return std::nullopt;
}

std::time_t NextAttemptAfter(int attempts, std::time_t last_attempt) {
  constexpr std::array<std::time_t, 4> kWaits = {5 * 60, 15 * 60, 3600, 4 * 3600};
  constexpr std::time_t kLaterWait = 12 * 3600;
  const std::size_t step = attempts < 1 ? 0 : static_cast<std::size_t>(attempts - 1);
  return last_attempt + (step < kWaits.size() ? kWaits[step] : kLaterWait);
}

}  // namespace quillo
