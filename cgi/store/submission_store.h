// The site's store of submissions: a SQLite database (WAL, durable
// commits) that keeps every post the program accepted, so that a post
// whose mail could not be delivered is not lost. The CGI program adds a row
// before the first byte of its mail leaves and settles it after; the admin
// command lists, exports, resends, purges and forgets.
//
// sqlite_store.cpp implements it with SQLite; store_unavailable.cpp, for a
// build without SQLite (Windows), opens nothing.
#pragma once

#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "store/submission.h"

namespace quillo {

// Whether this build can keep a store at all.
extern const bool kStoreBuilt;

class SubmissionStore {
 public:
  virtual ~SubmissionStore() = default;

  // A new row in state, committed before this returns; nothing when it
  // could not be written (error says why).
  virtual std::optional<std::int64_t> Add(const Submission& submission, SubmissionState state,
                                          std::time_t now, std::string& error) = 0;
  // The outcome of an attempt: the recipients still to deliver (none: sent),
  // the decisive failure if any, and when to try again. who: "program",
  // "resend".
  virtual bool Settle(std::int64_t id, const TextList& remaining, const std::optional<FailureNote>& failure,
                      SubmissionState state, std::optional<std::time_t> next_attempt_at, std::time_t now,
                      const std::string& who, std::string& error) = 0;

  // Where the row's webhook stands: "sent" or "failed".
  virtual bool SetWebhook(std::int64_t id, const std::string& state) = 0;

  virtual std::optional<StoredSubmission> Get(std::int64_t id) = 0;
  // Every row received at or after since, in state when given, oldest first.
  virtual std::vector<StoredSubmission> List(std::time_t since, std::optional<SubmissionState> state) = 0;
  // The attempts made on a row: "TIME WHO OUTCOME ..." lines, oldest first.
  virtual std::vector<std::string> History(std::int64_t id) = 0;
  // Deletes the rows received before the time; their count.
  virtual int PurgeBefore(std::time_t before) = 0;
  // Deletes the rows from or to address (case ignored); their count.
  virtual int Forget(const std::string& address) = 0;
};

struct OpenedStore {
  std::unique_ptr<SubmissionStore> store;  // null on failure
  std::string error;
};

// Opens the database at path, creating it when create says so (the CGI
// program does; the admin command, which may run as another user, does
// not); a lock held by another process is waited for up to
// busy_timeout_ms at each statement.
OpenedStore OpenSubmissionStore(const std::string& path, std::uint32_t busy_timeout_ms, bool create = true);

}  // namespace quillo
