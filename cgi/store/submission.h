// A stored submission: what the site's store keeps of every post it
// accepted, and where its delivery stands. Plain records, no storage.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/text.h"

namespace quillo {

enum class SubmissionState { kPending, kSent, kFailed, kExpired, kSpam };

// "pending", "sent", "failed", "expired", "spam": the words the store and
// the admin command use.
std::string_view StateName(SubmissionState state);
std::optional<SubmissionState> StateNamed(std::string_view name);

// What was posted and the main mail made of it.
struct Submission {
  std::time_t received_at = 0;  // Unix time, UTC
  std::string remote_addr;
  std::string referer;
  std::string charset;           // of the field values and the mail
  std::string recipients_given;  // QUILLO_TO as the form gave it: alias names stand as they were
  TextList recipients;           // the addresses the mail goes to
  TextList reply_recipients;     // the automatic reply's, if one was asked for
  std::vector<std::pair<std::string, std::string>> fields;  // the user fields, decoded, in order
  std::string server;  // the mail server the form or the site named; empty: the MX
  std::string sender;  // the envelope sender
  std::string subject;
  std::string message;  // the mail as it goes out, signature and all
};

// The decisive reply of the last attempt that failed.
struct FailureNote {
  std::string step;
  std::string host;
  std::string reply;
  int code = 0;
  bool permanent = false;
};

struct StoredSubmission {
  std::int64_t id = 0;
  Submission submission;
  SubmissionState state = SubmissionState::kPending;
  TextList remaining;  // recipients not yet delivered
  int attempts = 0;
  std::optional<std::time_t> next_attempt_at;
  std::optional<FailureNote> failure;
  std::string webhook;  // the post's announcement: "", "sent" or "failed"
};

// Where resend waits after the attempts so far, from the last attempt's
// time: 5 minutes, 15 minutes, an hour, 4 hours, then every 12 hours.
std::time_t NextAttemptAfter(int attempts, std::time_t last_attempt);

}  // namespace quillo
