// quillo's store commands; see store_commands.h.
#include "admin/store_commands.h"

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "delivery/transport.h"
#include "request/site_rules.h"
#include "request/submission_journal.h"

namespace quillo {
namespace {

std::string Joined(const TextList& list) {
  std::string joined;
  for (const std::string& entry : list) joined += (joined.empty() ? "" : ", ") + entry;
  return joined;
}

std::string CsvCell(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

// The columns every export has, before the fields.
std::vector<std::string> FixedColumns(const StoredSubmission& row) {
  const Submission& s = row.submission;
  return {std::to_string(row.id),
          UtcStamp(s.received_at),
          std::string(StateName(row.state)),
          s.remote_addr,
          s.referer,
          Joined(s.recipients),
          s.sender,
          ToUtf8(s.subject, s.charset)};
}
const std::vector<std::string> kFixedNames = {"id",      "time", "state",  "remote_addr",
                                              "referer", "to",   "sender", "subject"};

bool Due(const StoredSubmission& row, std::time_t now, const ResendOptions& options) {
  if (options.force_id) return row.id == *options.force_id;
  // A run still delivering it holds the row pending for at most its deadline.
  constexpr std::time_t kPendingGrace = 60;
  if (row.state == SubmissionState::kPending) return row.submission.received_at + kPendingGrace <= now;
  if (row.state != SubmissionState::kFailed || !row.next_attempt_at) return false;
  return options.ignore_backoff || *row.next_attempt_at <= now;
}

}  // namespace

std::string ExportCsv(const std::vector<StoredSubmission>& rows, bool excel) {
  const std::string end = excel ? "\r\n" : "\n";
  std::vector<std::string> names;
  for (const StoredSubmission& row : rows) {
    for (const auto& [name, value] : row.submission.fields) {
      const std::string utf8 = ToUtf8(name, row.submission.charset);
      if (std::find(names.begin(), names.end(), utf8) == names.end()) names.push_back(utf8);
    }
  }
  std::string out = excel ? "\xEF\xBB\xBF" : "";
  const auto line = [&](const std::vector<std::string>& cells) {
    for (std::size_t i = 0; i < cells.size(); ++i) out += (i ? "," : "") + CsvCell(cells[i]);
    out += end;
  };
  std::vector<std::string> header = kFixedNames;
  header.insert(header.end(), names.begin(), names.end());
  line(header);
  for (const StoredSubmission& row : rows) {
    std::vector<std::string> cells = FixedColumns(row);
    std::vector<std::string> values(names.size());
    for (const auto& [name, value] : row.submission.fields) {
      const auto at = std::find(names.begin(), names.end(), ToUtf8(name, row.submission.charset));
      values[static_cast<std::size_t>(at - names.begin())] = ToUtf8(value, row.submission.charset);
    }
    cells.insert(cells.end(), values.begin(), values.end());
    line(cells);
  }
  return out;
}

std::string ExportJsonLines(const std::vector<StoredSubmission>& rows) {
  std::string out;
  for (const StoredSubmission& row : rows) {
    nlohmann::ordered_json object;
    const std::vector<std::string> cells = FixedColumns(row);
    for (std::size_t i = 0; i < cells.size(); ++i) object[kFixedNames[i]] = cells[i];
    object["id"] = row.id;
    nlohmann::ordered_json fields = nlohmann::ordered_json::array();
    for (const auto& [name, value] : row.submission.fields)
      fields.push_back({ToUtf8(name, row.submission.charset), ToUtf8(value, row.submission.charset)});
    object["fields"] = std::move(fields);
    out += object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
  }
  return out;
}

std::vector<std::string> ListLines(const std::vector<StoredSubmission>& rows) {
  std::vector<std::string> lines = {"ID      TIME                  STATE    SENDER / SUBJECT"};
  for (const StoredSubmission& row : rows) {
    char head[64];
    std::snprintf(head, sizeof head, "%-7lld %-21s %-8s ", static_cast<long long>(row.id),
                  UtcStamp(row.submission.received_at).c_str(), std::string(StateName(row.state)).c_str());
    lines.push_back(head + row.submission.sender + " / " +
                    ToUtf8(row.submission.subject, row.submission.charset));
  }
  return lines;
}

namespace {

int ResendLocked(const SiteSettings& site, SubmissionStore& store, const DeliveryPlan& plan, std::time_t now,
                 const ResendOptions& options, const PrintLine& print) {
  if (site.store.retention_days > 0) {
    const int purged =
        store.PurgeBefore(now - static_cast<std::time_t>(site.store.retention_days) * 24 * 3600);
    if (purged > 0)
      print("purged " + std::to_string(purged) + " rows older than " +
            std::to_string(site.store.retention_days) + " days");
  }
  int status = 0;
  int sent = 0;
  for (const StoredSubmission& row : store.List(0, std::nullopt)) {
    if (!Due(row, now, options)) continue;
    const TextList& recipients = row.remaining.empty() ? row.submission.recipients : row.remaining;
    DeliveryPlan row_plan = plan;
    if (!row.submission.server.empty()) row_plan.server = row.submission.server;
    const MailResult result =
        TransportFor(row_plan)->Deliver(row.submission.message, row.submission.sender, recipients);
    const Settlement settled = SettlementOf(result, recipients, row.attempts, row.submission.received_at, now,
                                            site.store.give_up_after_seconds);
    std::string error;
    if (!store.Settle(row.id, settled.remaining, settled.failure, settled.state, settled.next_attempt_at, now,
                      "resend", error)) {
      print("FAIL  " + std::to_string(row.id) + " was delivered but cannot be marked: " + error);
      return 2;
    }
    std::string said = std::to_string(row.id) + " " + std::string(StateName(settled.state));
    if (settled.failure) said += " " + settled.failure->step + " \"" + settled.failure->reply + "\"";
    print(said);
    if (settled.state == SubmissionState::kSent)
      ++sent;
    else
      status = 1;
  }
  print("resent " + std::to_string(sent));
  if (site.webhook.url.empty()) return status;
  int announced = 0;
  for (const StoredSubmission& row : store.List(0, std::nullopt)) {
    if (row.webhook != "failed") continue;
    const WebhookOutcome outcome = SendWebhook(site.webhook, WebhookPostOf(row, now), UtcStamp(now), now);
    store.SetWebhook(row.id, outcome.delivered ? "sent" : "failed");
    if (outcome.delivered) {
      ++announced;
    } else {
      print(std::to_string(row.id) + " webhook " + outcome.detail);
      status = 1;
    }
  }
  print("announced " + std::to_string(announced));
  return status;
}

}  // namespace

int ResendDue(const SiteSettings& site, SubmissionStore& store, const DeliveryPlan& plan, std::time_t now,
              const ResendOptions& options, System& system, const PrintLine& print) {
  // One run at a time holds the lock beside the store, for the whole run.
  const std::string lock = site.store.path + ".resend-lock";
  int status = 2;
  const bool locked = system.UpdateLockedFile(lock, [&](std::string_view state) {
    status = ResendLocked(site, store, plan, now, options, print);
    return std::string(state);
  });
  if (!locked) print("FAIL  cannot lock " + lock);
  return locked ? status : 2;
}

}  // namespace quillo
