// The store of submissions in SQLite; see submission_store.h.
#include <sqlite3.h>

#include <algorithm>

#include "core/text.h"
#include "store/submission_store.h"

namespace quillo {

const bool kStoreBuilt = true;

namespace {

// The schema, also for a site owner reading the file with sqlite3: times
// are Unix seconds (UTC), lists one address per line, the message and the
// fields' name and value the bytes as received, in the row's charset, and
// name_text and value_text the same decoded to UTF-8.
constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS submissions (
  id INTEGER PRIMARY KEY,
  received_at INTEGER NOT NULL,
  remote_addr TEXT NOT NULL,
  referer TEXT NOT NULL,
  charset TEXT NOT NULL,
  recipients_given TEXT NOT NULL,
  recipients TEXT NOT NULL,
  reply_recipients TEXT NOT NULL,
  server TEXT NOT NULL,
  sender TEXT NOT NULL,
  subject BLOB NOT NULL,
  message BLOB NOT NULL,
  state TEXT NOT NULL CHECK (state IN ('pending', 'sent', 'failed', 'expired', 'spam')),
  remaining TEXT NOT NULL,
  attempts INTEGER NOT NULL DEFAULT 0,
  next_attempt_at INTEGER,
  failure_step TEXT,
  failure_host TEXT,
  failure_reply TEXT,
  failure_code INTEGER,
  failure_permanent INTEGER,
  webhook TEXT NOT NULL DEFAULT ''
);
CREATE INDEX IF NOT EXISTS submissions_by_state ON submissions (state, next_attempt_at);
CREATE TABLE IF NOT EXISTS fields (
  submission_id INTEGER NOT NULL REFERENCES submissions (id) ON DELETE CASCADE,
  position INTEGER NOT NULL,
  name BLOB NOT NULL,
  value BLOB NOT NULL,
  name_text TEXT NOT NULL,
  value_text TEXT NOT NULL,
  PRIMARY KEY (submission_id, position)
);
CREATE TABLE IF NOT EXISTS attempts (
  submission_id INTEGER NOT NULL REFERENCES submissions (id) ON DELETE CASCADE,
  at INTEGER NOT NULL,
  by TEXT NOT NULL,
  outcome TEXT NOT NULL,
  step TEXT,
  host TEXT,
  reply TEXT,
  code INTEGER
);
PRAGMA user_version = 1;
)sql";

std::string JoinLines(const TextList& list) {
  std::string joined;
  for (const std::string& entry : list) joined += entry + "\n";
  return joined;
}

TextList SplitLines(std::string_view text) {
  TextList list;
  for (std::string_view line : Lines(text)) list.emplace_back(line);
  return list;
}

class Statement {
 public:
  Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &statement_, nullptr); }
  ~Statement() { sqlite3_finalize(statement_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  bool ok() const { return statement_ != nullptr; }
  void Reset() { sqlite3_reset(statement_); }
  Statement& Bind(int index, std::string_view text) {
    sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    return *this;
  }
  Statement& BindBytes(int index, std::string_view bytes) {
    sqlite3_bind_blob(statement_, index, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
    return *this;
  }
  Statement& Bind(int index, std::int64_t number) {
    sqlite3_bind_int64(statement_, index, number);
    return *this;
  }
  Statement& Bind(int index, std::optional<std::int64_t> number) {
    if (number) return Bind(index, *number);
    sqlite3_bind_null(statement_, index);
    return *this;
  }
  // SQLITE_ROW or SQLITE_DONE when all went well.
  int Step() { return ok() ? sqlite3_step(statement_) : SQLITE_ERROR; }
  std::string Text(int column) const {
    const auto* bytes = static_cast<const char*>(sqlite3_column_blob(statement_, column));
    return bytes ? std::string(bytes, static_cast<std::size_t>(sqlite3_column_bytes(statement_, column)))
                 : std::string();
  }
  std::int64_t Number(int column) const { return sqlite3_column_int64(statement_, column); }
  bool Null(int column) const { return sqlite3_column_type(statement_, column) == SQLITE_NULL; }

 private:
  sqlite3_stmt* statement_ = nullptr;
};

// Whether the schema was made: it sets the file's user_version.
bool HasSchema(sqlite3* db) {
  sqlite3_stmt* version = nullptr;
  bool made = false;
  if (sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &version, nullptr) == SQLITE_OK &&
      sqlite3_step(version) == SQLITE_ROW)
    made = sqlite3_column_int(version, 0) >= 1;
  sqlite3_finalize(version);
  return made;
}

constexpr const char* kColumns =
    "id, received_at, remote_addr, referer, charset, recipients_given, recipients, reply_recipients, server, "
    "sender, subject, message, state, remaining, attempts, next_attempt_at, failure_step, failure_host, "
    "failure_reply, "
    "failure_code, failure_permanent, webhook";

class SqliteStore final : public SubmissionStore {
 public:
  explicit SqliteStore(sqlite3* db) : db_(db) {}
  ~SqliteStore() override { sqlite3_close_v2(db_); }

  std::optional<std::int64_t> Add(const Submission& s, SubmissionState state, std::time_t now,
                                  std::string& error) override {
    if (!Execute("BEGIN IMMEDIATE", error)) return std::nullopt;
    Statement row(db_,
                  "INSERT INTO submissions (received_at, remote_addr, referer, charset, recipients_given, "
                  "recipients, reply_recipients, server, sender, subject, message, state, remaining) "
                  "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    row.Bind(1, static_cast<std::int64_t>(s.received_at ? s.received_at : now))
        .Bind(2, s.remote_addr)
        .Bind(3, s.referer)
        .Bind(4, s.charset)
        .Bind(5, s.recipients_given)
        .Bind(6, JoinLines(s.recipients))
        .Bind(7, JoinLines(s.reply_recipients))
        .Bind(8, s.server)
        .Bind(9, s.sender)
        .BindBytes(10, s.subject)
        .BindBytes(11, s.message)
        .Bind(12, StateName(state))
        .Bind(13, JoinLines(state == SubmissionState::kPending ? s.recipients : TextList{}));
    if (row.Step() != SQLITE_DONE) return Rollback(error);
    const std::int64_t id = sqlite3_last_insert_rowid(db_);
    Statement field(db_,
                    "INSERT INTO fields (submission_id, position, name, value, name_text, value_text) "
                    "VALUES (?, ?, ?, ?, ?, ?)");
    for (std::size_t i = 0; i < s.fields.size(); ++i) {
      field.Reset();
      field.Bind(1, id)
          .Bind(2, static_cast<std::int64_t>(i))
          .BindBytes(3, s.fields[i].first)
          .BindBytes(4, s.fields[i].second)
          .Bind(5, ToUtf8(s.fields[i].first, s.charset))
          .Bind(6, ToUtf8(s.fields[i].second, s.charset));
      if (field.Step() != SQLITE_DONE) return Rollback(error);
    }
    if (!Execute("COMMIT", error)) return Rollback(error);
    return id;
  }

  bool Settle(std::int64_t id, const TextList& remaining, const std::optional<FailureNote>& failure,
              SubmissionState state, std::optional<std::time_t> next_attempt_at, std::time_t now,
              const std::string& who, std::string& error) override {
    // The post itself was synced when it was added. Its outcome survives a
    // killed process without a sync of its own (the log is in the system's
    // cache); only a power cut in the next moment could lose it, and then
    // resend sends the mail once more rather than never.
    if (!Execute("PRAGMA synchronous = NORMAL", error) || !Execute("BEGIN IMMEDIATE", error)) return false;
    Statement row(
        db_,
        "UPDATE submissions SET state = ?, remaining = ?, attempts = attempts + 1, next_attempt_at = ?, "
        "failure_step = ?, failure_host = ?, failure_reply = ?, failure_code = ?, failure_permanent = ? "
        "WHERE id = ?");
    row.Bind(1, StateName(state)).Bind(2, JoinLines(remaining));
    row.Bind(3, next_attempt_at ? std::optional<std::int64_t>(*next_attempt_at) : std::nullopt);
    if (failure) {
      row.Bind(4, failure->step).Bind(5, failure->host).Bind(6, failure->reply);
      row.Bind(7, static_cast<std::int64_t>(failure->code))
          .Bind(8, static_cast<std::int64_t>(failure->permanent));
    } else {
      for (int column = 4; column <= 8; ++column) row.Bind(column, std::optional<std::int64_t>());
    }
    row.Bind(9, id);
    if (row.Step() != SQLITE_DONE) return Rollback(error).has_value();
    Statement attempt(db_,
                      "INSERT INTO attempts (submission_id, at, by, outcome, step, host, reply, code) "
                      "VALUES (?, ?, ?, ?, ?, ?, ?, ?)");
    attempt.Bind(1, id).Bind(2, static_cast<std::int64_t>(now)).Bind(3, who).Bind(4, StateName(state));
    attempt.Bind(5, failure ? failure->step : "").Bind(6, failure ? failure->host : "");
    attempt.Bind(7, failure ? failure->reply : "")
        .Bind(8, static_cast<std::int64_t>(failure ? failure->code : 0));
    if (attempt.Step() != SQLITE_DONE) return Rollback(error).has_value();
    return Execute("COMMIT", error) || Rollback(error).has_value();
  }

  bool SetWebhook(std::int64_t id, const std::string& state) override {
    Statement row(db_, "UPDATE submissions SET webhook = ? WHERE id = ?");
    row.Bind(1, state).Bind(2, id);
    return row.Step() == SQLITE_DONE;
  }

  std::optional<StoredSubmission> Get(std::int64_t id) override {
    Statement row(db_, (std::string("SELECT ") + kColumns + " FROM submissions WHERE id = ?").c_str());
    row.Bind(1, id);
    if (row.Step() != SQLITE_ROW) return std::nullopt;
    return Read(row);
  }

  std::vector<StoredSubmission> List(std::time_t since, std::optional<SubmissionState> state) override {
    Statement rows(db_, (std::string("SELECT ") + kColumns +
                         " FROM submissions WHERE received_at >= ? AND (? IS NULL OR state = ?) ORDER BY id")
                            .c_str());
    rows.Bind(1, static_cast<std::int64_t>(since));
    if (state) {
      rows.Bind(2, StateName(*state)).Bind(3, StateName(*state));
    } else {
      rows.Bind(2, std::optional<std::int64_t>()).Bind(3, std::optional<std::int64_t>());
    }
    std::vector<StoredSubmission> found;
    while (rows.Step() == SQLITE_ROW) found.push_back(Read(rows));
    return found;
  }

  std::vector<std::string> History(std::int64_t id) override {
    Statement rows(db_,
                   "SELECT at, by, outcome, step, host, reply, code FROM attempts WHERE submission_id = ? "
                   "ORDER BY rowid");
    rows.Bind(1, id);
    std::vector<std::string> lines;
    while (rows.Step() == SQLITE_ROW) {
      std::string line = std::to_string(rows.Number(0)) + " " + rows.Text(1) + " " + rows.Text(2);
      if (!rows.Text(3).empty()) {
        line += " step=" + rows.Text(3) + " host=" + rows.Text(4) + " reply=\"" + rows.Text(5) + "\"";
        if (rows.Number(6) != 0) line += " code=" + std::to_string(rows.Number(6));
      }
      lines.push_back(std::move(line));
    }
    return lines;
  }

  int PurgeBefore(std::time_t before) override {
    Statement rows(db_, "DELETE FROM submissions WHERE received_at < ?");
    rows.Bind(1, static_cast<std::int64_t>(before));
    return rows.Step() == SQLITE_DONE ? sqlite3_changes(db_) : -1;
  }

  int Forget(const std::string& address) override {
    const std::string lower = LowerCopy(address);
    int count = 0;
    for (const StoredSubmission& row : List(0, std::nullopt)) {
      const Submission& s = row.submission;
      const auto same = [&](const std::string& each) { return LowerCopy(each) == lower; };
      const bool names = same(s.sender) || std::any_of(s.recipients.begin(), s.recipients.end(), same) ||
                         std::any_of(s.reply_recipients.begin(), s.reply_recipients.end(), same);
      if (!names) continue;
      Statement gone(db_, "DELETE FROM submissions WHERE id = ?");
      gone.Bind(1, row.id);
      if (gone.Step() == SQLITE_DONE) ++count;
    }
    return count;
  }

 private:
  bool Execute(const char* sql, std::string& error) {
    char* message = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) == SQLITE_OK) return true;
    error = message ? message : sqlite3_errmsg(db_);
    sqlite3_free(message);
    return false;
  }

  std::optional<std::int64_t> Rollback(std::string& error) {
    if (error.empty()) error = sqlite3_errmsg(db_);
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    return std::nullopt;
  }

  StoredSubmission Read(const Statement& row) {
    StoredSubmission stored;
    stored.id = row.Number(0);
    Submission& s = stored.submission;
    s.received_at = static_cast<std::time_t>(row.Number(1));
    s.remote_addr = row.Text(2);
    s.referer = row.Text(3);
    s.charset = row.Text(4);
    s.recipients_given = row.Text(5);
    s.recipients = SplitLines(row.Text(6));
    s.reply_recipients = SplitLines(row.Text(7));
    s.server = row.Text(8);
    s.sender = row.Text(9);
    s.subject = row.Text(10);
    s.message = row.Text(11);
    stored.state = StateNamed(row.Text(12)).value_or(SubmissionState::kPending);
    stored.remaining = SplitLines(row.Text(13));
    stored.attempts = static_cast<int>(row.Number(14));
    if (!row.Null(15)) stored.next_attempt_at = static_cast<std::time_t>(row.Number(15));
    if (!row.Null(16))
      stored.failure = FailureNote{row.Text(16), row.Text(17), row.Text(18), static_cast<int>(row.Number(19)),
                                   row.Number(20) != 0};
    stored.webhook = row.Text(21);
    Statement fields(db_, "SELECT name, value FROM fields WHERE submission_id = ? ORDER BY position");
    fields.Bind(1, stored.id);
    while (fields.Step() == SQLITE_ROW) s.fields.emplace_back(fields.Text(0), fields.Text(1));
    return stored;
  }

  sqlite3* db_;
};

}  // namespace

OpenedStore OpenSubmissionStore(const std::string& path, std::uint32_t busy_timeout_ms, bool create) {
  sqlite3* db = nullptr;
  const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (create ? SQLITE_OPEN_CREATE : 0);
  const int opened = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
  if (opened != SQLITE_OK) {
    std::string error = db ? sqlite3_errmsg(db) : sqlite3_errstr(opened);
    sqlite3_close_v2(db);
    return {nullptr, "cannot open " + path + ": " + error};
  }
  auto store = std::make_unique<SqliteStore>(db);
  sqlite3_busy_timeout(db, static_cast<int>(busy_timeout_ms));
  // Each run is one short connection. Left to itself the last one to close
  // would copy the log into the database and sync it, and the next run
  // would make the log anew: the log is kept instead. A connection that
  // finds a log rebuilds its index by reading it whole, so the log is kept
  // short: a commit that finds it past 64 pages (some twenty posts) copies
  // it into the database.
  sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
  int keep_log = 1;
  sqlite3_file_control(db, "main", SQLITE_FCNTL_PERSIST_WAL, &keep_log);
  // WAL lets readers (the admin command) go on while a post writes; FULL
  // syncs each commit, so that a row the run counted on survives a crash.
  char* message = nullptr;
  const int set =
      sqlite3_exec(db,
                   "PRAGMA journal_mode = WAL; PRAGMA synchronous = FULL; PRAGMA foreign_keys = ON; "
                   "PRAGMA wal_autocheckpoint = 64;",
                   nullptr, nullptr, &message);
  std::string error = set == SQLITE_OK ? "" : (message ? message : sqlite3_errmsg(db));
  sqlite3_free(message);
  if (set == SQLITE_OK && !HasSchema(db) &&
      sqlite3_exec(db, kSchema, nullptr, nullptr, &message) != SQLITE_OK) {
    error = message ? message : sqlite3_errmsg(db);
    sqlite3_free(message);
  }
  if (!error.empty()) return {nullptr, "cannot use " + path + ": " + error};
  return {std::move(store), {}};
}

}  // namespace quillo
