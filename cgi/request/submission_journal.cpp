// The run's rows in the store; see submission_journal.h.
#include "request/submission_journal.h"

#include <algorithm>

namespace quillo {

Settlement SettlementOf(const MailResult& result, const TextList& recipients, int attempts_before,
                        std::time_t received_at, std::time_t now, std::uint32_t give_up_after_seconds) {
  Settlement settled;
  if (result.undelivered.empty()) return settled;
  bool temporary = false;
  for (const DeliveryNote& note : result.undelivered) {
    if (note.permanent) continue;
    temporary = true;
    // A note without one of the addresses (the local mail system's) stands for all of them.
    const bool one_of_them =
        std::find(recipients.begin(), recipients.end(), note.recipient) != recipients.end();
    if (!one_of_them) {
      settled.remaining = recipients;
      break;
    }
    settled.remaining.push_back(note.recipient);
  }
  const DeliveryNote& decisive = result.undelivered.back();
  settled.failure = FailureNote{decisive.step, decisive.host, decisive.reply, decisive.code, !temporary};
  settled.state = SubmissionState::kFailed;
  if (!temporary) {
    settled.remaining.clear();
  } else if (now - received_at >= static_cast<std::time_t>(give_up_after_seconds)) {
    settled.state = SubmissionState::kExpired;
  } else {
    settled.next_attempt_at = NextAttemptAfter(attempts_before + 1, now);
  }
  return settled;
}

WebhookPost WebhookPostOf(const StoredSubmission& row, std::time_t now) {
  WebhookPost post;
  post.id = row.id;
  post.time = now;
  post.state = std::string(StateName(row.state));
  for (const auto& [name, value] : row.submission.fields)
    post.fields.emplace_back(ToUtf8(name, row.submission.charset), ToUtf8(value, row.submission.charset));
  return post;
}

Submission SubmissionOf(const FormRequest& request, std::time_t now, std::string referer) {
  Submission s;
  s.received_at = now;
  s.remote_addr = request.remote_addr;
  s.referer = std::move(referer);
  s.charset = request.charset;
  s.recipients_given = request.settings.to;
  s.recipients = request.settings.recipients;
  s.reply_recipients = request.settings.autoreply_recipients;
  s.server = request.settings.server;
  for (std::size_t i = 0; i < request.field_names.size(); ++i)
    s.fields.emplace_back(request.field_names[i], request.field_values[i]);
  s.subject = request.settings.subject;
  return s;
}

bool SubmissionJournal::Record(const std::string& message, const std::string& sender,
                               const TextList& recipients, std::string& why) {
  submission_.message = message;
  submission_.sender = sender;
  submission_.recipients = recipients;
  id_ = store_.Add(submission_, SubmissionState::kPending, now_, why);
  return id_.has_value();
}

void SubmissionJournal::Settle(const MailResult& result) {
  if (!id_) return;
  const Settlement settled = SettlementOf(result, submission_.recipients, 0, submission_.received_at, now_,
                                          settings_.give_up_after_seconds);
  store_.Settle(*id_, settled.remaining, settled.failure, settled.state, settled.next_attempt_at, now_,
                "program", settle_error_);
}

}  // namespace quillo
