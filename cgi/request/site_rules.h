// What the site's settings decide about one post, as pure functions: the
// mail charset, the recipients behind aliases, the origin of the post, the
// count of recent posts from one address, and the run's log line.
#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/text.h"
#include "delivery/outgoing_mail.h"
#include "settings/site_settings.h"

namespace quillo {

// The charset the mail declares: the site's, else (for a site that sets none
// or "form") the form's _charset_ when it names a mail charset, else
// iso-8859-1.
std::string MailCharset(const SiteSettings& site, std::string_view form_charset);

// Replaces alias names by their addresses, each address once. Returns the
// first entry (lower-cased) that names no alias, leaving recipients as they
// were.
std::optional<std::string> ExpandAliases(const SiteSettings& site, TextList& recipients);

// The host of an http(s) address, lower case; empty when there is none.
std::string RefererHost(std::string_view referer);

// Whether a post with this Referer may go on: its host is listed, or it is
// empty and the site allows that.
bool RefererAllowed(const SiteSettings& site, std::string_view referer);

// An IPv6 address's eight groups (RFC 4291 2.2: "::", an IPv4 ending and a
// "%zone" read); nothing for anything else.
std::optional<std::array<std::uint16_t, 8>> ParseIpv6(std::string_view text);

// What a post is counted under: an IPv4 address as it is, also when written
// as IPv6 (::ffff:192.0.2.7); an IPv6 address by its /64, the least one
// customer is given (RFC 6177), as "2001:db8:1:2::/64"; anything else by its
// address characters, so that no value can add a line or a field.
std::string RateKey(std::string_view remote_addr);

// The rate-limit state: one "SECONDS KEY" line per counted post. Drops what
// has left the window, then counts the key's posts; when fewer than the
// limit, the post is counted. Counts are never pushed out: once
// kMaxRateEntries lines are kept (less a share for the shared count), the
// posts of keys that find no room are counted together under "*", which
// has the limit too.
struct RateDecision {
  bool allowed = true;
  std::string state;  // to write back
};
constexpr std::size_t kMaxRateEntries = 10000;
RateDecision CountPost(std::string_view state, std::string_view remote_addr, std::time_t now,
                       const RateLimit& limit);

// "2026-12-08T16:51:58Z": a time as the log line and the store's exports
// give it.
std::string UtcStamp(std::time_t now);

// What the log line says about one run.
struct RunRecord {
  std::string outcome;  // "sent", "failed", "required", "error-300", ...
  std::size_t recipients = 0;
  std::string reply;                      // the automatic reply: "sent", "failed", "skipped", or none asked
  std::optional<DeliveryNote> failure;    // what decided a failed delivery
  std::vector<DeliveryNote> undelivered;  // every recipient of the main mail not delivered
  bool success = false;                   // the answer is the success answer
  int code = 0;                           // for JSON: the number of the refusal
  std::string reason;                     // for JSON: what was wrong
  std::string settings_file;              // the settings file read; empty: none
  std::string transport = "smtp";         // how mail leaves: "smtp" or "sendmail"
  std::string captcha;                    // the spam check's verdict: "passed", "expired", ...; none asked
  std::string captcha_codes;              // a provider's error codes
  std::string captcha_detail;             // why the check could not be made or was refused
};

// Whether the run's line belongs in the web server's error log: the answer
// was not the success, or some mail (a recipient, the automatic reply) was
// not delivered. Successes go only to a log file the settings name.
bool NeedsAttention(const RunRecord& record);

// The notes of undelivered recipients a log line names at most.
constexpr std::size_t kMaxLoggedRecipients = 10;

// "2026-12-08T16:51:58Z 192.0.2.7 sent recipients=2", then " reply=sent"
// (failed, skipped) when the form asked for an automatic reply, and for a
// failed delivery ' step=RCPT host=mx.example reply="451 try later" code=451
// failure=temporary' (" error=refused", "timeout", ... in place of the code
// when no reply came). When more than that one recipient was not delivered
// (or one was, though the answer is the success), " undelivered=N" and, for
// the first ten, ' to=<a@example.com> step=... host=... reply="..." ...'.
// Then " settings=PATH" (or "settings=none") and " transport=smtp" (or
// sendmail). With a CAPTCHA, " captcha=VERDICT" after the recipients, and
// for a refusal the provider's " error-codes=a,b" and ' detail="..."'.
// Bytes below 0x20 and 0x7F become "?", quotes in the reply "'":
// one line whatever the peer sent.
std::string FormatLogLine(std::time_t now, std::string_view remote_addr, const RunRecord& record);

}  // namespace quillo
