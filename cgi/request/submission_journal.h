// The run's side of the site's store: the row of the main mail, written
// before the mail's first byte leaves and settled with its outcome; and
// what an attempt at a stored mail leaves of its row, for the run and for
// resend alike.
#pragma once

#include <ctime>
#include <optional>
#include <string>

#include "core/form_request.h"
#include "delivery/outgoing_mail.h"
#include "store/store_settings.h"
#include "store/submission_store.h"
#include "webhook/webhook.h"

namespace quillo {

// What an attempt leaves: sent when every recipient took the mail; failed
// with the recipients still to try and when, while a failure was only
// temporary and the post is younger than give_up_after; expired after
// that; failed for good when every failure was permanent.
struct Settlement {
  SubmissionState state = SubmissionState::kSent;
  TextList remaining;
  std::optional<FailureNote> failure;
  std::optional<std::time_t> next_attempt_at;
};
Settlement SettlementOf(const MailResult& result, const TextList& recipients, int attempts_before,
                        std::time_t received_at, std::time_t now, std::uint32_t give_up_after_seconds);

// A stored post as the webhook tells of it: its fields in UTF-8.
WebhookPost WebhookPostOf(const StoredSubmission& row, std::time_t now);

// What the store keeps of a post, without the mail: the visitor's fields,
// where the post came from, whom it was for.
Submission SubmissionOf(const FormRequest& request, std::time_t now, std::string referer);

class SubmissionJournal final : public DeliveryJournal {
 public:
  SubmissionJournal(SubmissionStore& store, Submission submission, const StoreSettings& settings,
                    std::time_t now)
      : store_(store), submission_(std::move(submission)), settings_(settings), now_(now) {}

  bool Record(const std::string& message, const std::string& sender, const TextList& recipients,
              std::string& why) override;
  void Settle(const MailResult& result) override;

  // The row was committed: the post is safe whatever the mail did.
  bool recorded() const { return id_.has_value(); }
  std::optional<std::int64_t> id() const { return id_; }
  // Why the row could not be settled, for the log; empty when it was.
  const std::string& settle_error() const { return settle_error_; }

 private:
  SubmissionStore& store_;
  Submission submission_;
  const StoreSettings& settings_;
  std::time_t now_;
  std::optional<std::int64_t> id_;
  std::string settle_error_;
};

}  // namespace quillo
