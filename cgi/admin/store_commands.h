// quillo's commands on the site's store of submissions: list, show,
// export, resend, purge and forget. Each reads the store the settings name
// and prints through print; the exports are pure functions of the rows.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "admin/mail_probe.h"
#include "core/system.h"
#include "delivery/outgoing_mail.h"
#include "settings/site_settings.h"
#include "store/submission_store.h"

namespace quillo {

// RFC 4180: a header of the fixed columns and one column per field name in
// the order names are first seen, CR LF after every record when excel (with
// a UTF-8 byte order mark first), else LF.
std::string ExportCsv(const std::vector<StoredSubmission>& rows, bool excel);
// One JSON object per line: the fixed columns and "fields", a list of
// [name, value] pairs in order.
std::string ExportJsonLines(const std::vector<StoredSubmission>& rows);

// "id  time  sender  subject  state" lines, with a header.
std::vector<std::string> ListLines(const std::vector<StoredSubmission>& rows);

struct ResendOptions {
  bool ignore_backoff = false;           // --now
  std::optional<std::int64_t> force_id;  // --force ID: that row, even after a permanent failure
};

// Delivers what is due: pending rows older than a minute, temporarily
// failed ones whose wait is over (all of them with ignore_backoff), or the
// forced row; each to the recipients it still has, as stored. Purges rows
// past retention_days first. Holds a lock beside the store for the whole
// run, so that overlapping runs never send a row twice. Returns the exit
// status: 0 when nothing due failed.
int ResendDue(const SiteSettings& site, SubmissionStore& store, const DeliveryPlan& plan, std::time_t now,
              const ResendOptions& options, System& system, const PrintLine& print);

}  // namespace quillo
