// What an attempt at a stored post leaves of its row.
#include "request/submission_journal.h"

#include <gtest/gtest.h>

namespace quillo {
namespace {

TEST(SettlementOf, SentFailedForGoodRetriedOrGivenUp) {
  constexpr std::time_t kReceived = 1800000000;
  constexpr std::uint32_t kGiveUp = 3 * 24 * 3600;
  const TextList both = {"a@example.com", "b@example.com"};
  const DeliveryNote a_later{"RCPT", "mx", "451 later", "a@example.com", 451, {}, false};
  const DeliveryNote b_never{"RCPT", "mx", "550 no such user", "b@example.com", 550, {}, true};
  const DeliveryNote local{"sendmail", "/usr/sbin/sendmail", "exit 75", "", 0, {}, false};
  const struct {
    std::vector<DeliveryNote> undelivered;
    int attempts_before;
    std::time_t now;
    SubmissionState state;
    TextList remaining;
    std::optional<std::time_t> next;
  } cases[] = {
      {{}, 0, kReceived, SubmissionState::kSent, {}, std::nullopt},
      {{a_later}, 0, kReceived, SubmissionState::kFailed, {"a@example.com"}, kReceived + 300},
      {{a_later}, 2, kReceived + 60, SubmissionState::kFailed, {"a@example.com"}, kReceived + 60 + 3600},
      {{a_later}, 9, kReceived + 7200, SubmissionState::kFailed, {"a@example.com"}, kReceived + 7200 + 43200},
      {{b_never}, 0, kReceived, SubmissionState::kFailed, {}, std::nullopt},
      // A recipient refused for good is not tried again; the other is.
      {{a_later, b_never}, 0, kReceived, SubmissionState::kFailed, {"a@example.com"}, kReceived + 300},
      {{local}, 0, kReceived, SubmissionState::kFailed, both, kReceived + 300},
      {{a_later}, 4, kReceived + kGiveUp, SubmissionState::kExpired, {"a@example.com"}, std::nullopt},
  };
  for (const auto& c : cases) {
    MailResult result;
    result.undelivered = c.undelivered;
    const Settlement settled = SettlementOf(result, both, c.attempts_before, kReceived, c.now, kGiveUp);
    EXPECT_EQ(StateName(settled.state), StateName(c.state))
        << c.undelivered.size() << " " << c.attempts_before;
    EXPECT_EQ(settled.remaining, c.remaining) << c.undelivered.size() << " " << c.attempts_before;
    EXPECT_EQ(settled.next_attempt_at, c.next) << c.undelivered.size() << " " << c.attempts_before;
    EXPECT_EQ(settled.failure.has_value(), !c.undelivered.empty());
    if (settled.failure) {
      EXPECT_EQ(settled.failure->reply, c.undelivered.back().reply);
    }
  }
}

}  // namespace
}  // namespace quillo
