// The site's settings file; see site_settings.h.
#include "settings/site_settings.h"

#include <algorithm>
#include <cstdlib>
#include <initializer_list>
#include <map>

#include "captcha/siteverify.h"
#include "core/messages.h"
#include "documents/files.h"
#include "documents/names.h"
#include "http/web_address.h"
#include "store/submission_store.h"
#include "upload/file_checks.h"

namespace quillo {
namespace {

using Problem = std::optional<std::string>;
using Setter = Problem (*)(SiteSettings& settings, const std::string& value);

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

Problem ReadSwitch(std::string_view value, bool& on) {
  const std::string word = LowerCopy(value);
  if (word == "on" || word == "yes" || word == "true") {
    on = true;
  } else if (word == "off" || word == "no" || word == "false") {
    on = false;
  } else {
    return "expected on or off, not '" + std::string(value) + "'";
  }
  return std::nullopt;
}

Problem ReadSwitch(std::string_view value, Switch& setting) {
  bool on = false;
  if (auto problem = ReadSwitch(value, on)) return problem;
  setting = on ? Switch::kOn : Switch::kOff;
  return std::nullopt;
}

// Comma-separated, each entry trimmed; at least one, none empty.
Problem ReadList(std::string_view value, TextList& list) {
  list.clear();
  for (std::string_view piece : Split(value, ',')) {
    std::string entry = Trimmed(piece);
    if (entry.empty()) return std::string("an empty entry in the list");
    list.push_back(std::move(entry));
  }
  return std::nullopt;
}

bool HasBlankOrControl(std::string_view text) {
  return std::any_of(text.begin(), text.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte <= ' ' || byte == 0x7F;
  });
}

// Mail goes out under this address, so it must read as one: local part, "@",
// domain, nothing that could end an SMTP command or a header.
Problem CheckAddress(std::string_view address) {
  const std::size_t at = address.find('@');
  if (at == 0 || at == std::string_view::npos || at + 1 == address.size() ||
      address.find('@', at + 1) != std::string_view::npos || HasBlankOrControl(address) ||
      FindAnyOf(address, "<>()[]\\,;:\"") >= 0) {
    return "'" + std::string(address) + "' is not an e-mail address";
  }
  return std::nullopt;
}

// One rule for every host name a setting gives (RFC 1123).
Problem CheckHostName(std::string_view host) {
  if (!IsHostName(host)) return "'" + std::string(host) + "' is not a host name";
  return std::nullopt;
}

// "[192.0.2.7]" or "[2001:db8::1]": how a greeting or a Referer names a
// host by its address.
bool IsAddressLiteral(std::string_view text) {
  if (text.size() < 3 || text.front() != '[' || text.back() != ']') return false;
  const std::string_view inside = text.substr(1, text.size() - 2);
  return std::all_of(inside.begin(), inside.end(), [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || c == ':' || c == '.';
  });
}

Problem CheckHostOrAddress(std::string_view host) {
  if (IsAddressLiteral(host)) return std::nullopt;
  return CheckHostName(host);
}

// A document name a form may use: the same rules as for the form's own.
Problem CheckDocumentNames(const TextList& names) {
  for (const std::string& name : names) {
    if (RefuseDocumentName(name)) return "'" + name + "' is not a file name next to the program";
  }
  return std::nullopt;
}

// Goes into a Location header: a path on this site or an http(s) address,
// nothing that could end the header.
Problem CheckRedirect(std::string_view target) {
  const std::string lower = LowerCopy(target);
  // "//host" and "/\\host" both leave the site: browsers read a backslash as a slash.
  const bool site_path = !target.empty() && target.front() == '/' &&
                         (target.size() == 1 || (target[1] != '/' && target[1] != '\\'));
  const bool web_address = lower.compare(0, 7, "http://") == 0 || lower.compare(0, 8, "https://") == 0;
  if ((!site_path && !web_address) || HasBlankOrControl(target)) {
    return "'" + std::string(target) + "' is not a path such as /thanks.html or an http(s) address";
  }
  return std::nullopt;
}

// The one syntax of a time: a number, then "second(s)", "minute(s)",
// "hour(s)" or "day(s)" (blanks between or not); a number alone counts seconds unless
// the caller needs a unit. "minute" alone is one minute where the caller
// allows a missing number. At most max_seconds.
struct DurationSyntax {
  std::uint64_t max_seconds;
  bool number_optional = false;  // "per minute"
  bool unit_required = false;    // a rate's window
};

std::optional<std::uint64_t> ReadDuration(std::string_view value, const DurationSyntax& syntax) {
  constexpr std::uint64_t kMaxAmount = 1000000;
  const std::string text = LowerCopy(Trimmed(value));
  std::size_t digits = 0;
  while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') ++digits;
  std::optional<std::uint64_t> amount = 1;
  if (digits > 0 || !syntax.number_optional)
    amount = ReadNumber(std::string_view(text).substr(0, digits), kMaxAmount);
  const std::string unit = Trimmed(std::string_view(text).substr(digits));
  std::uint64_t unit_seconds = 0;
  if (unit.empty() && !syntax.unit_required && digits > 0) unit_seconds = 1;
  if (unit == "second" || unit == "seconds") unit_seconds = 1;
  if (unit == "minute" || unit == "minutes") unit_seconds = 60;
  if (unit == "hour" || unit == "hours") unit_seconds = 3600;
  if (unit == "day" || unit == "days") unit_seconds = 24 * 3600;
  if (!amount || *amount == 0 || unit_seconds == 0 || *amount * unit_seconds > syntax.max_seconds)
    return std::nullopt;
  return *amount * unit_seconds;
}

// "5 per 10 minutes" or "5 per hour": posts, then a window.
Problem ReadRateLimit(std::string_view value, RateLimit& limit) {
  constexpr std::uint64_t kMaxPosts = 1000000;
  constexpr std::uint64_t kMaxWindowSeconds = 1000000ULL * 3600;
  const std::string usage = "expected a rate such as '5 per 10 minutes', not '" + std::string(value) + "'";
  const std::string text = LowerCopy(Trimmed(value));
  const std::size_t per = text.find(" per ");
  if (per == std::string::npos) return usage;
  const auto posts = ReadNumber(Trimmed(std::string_view(text).substr(0, per)), kMaxPosts);
  const auto window = ReadDuration(std::string_view(text).substr(per + 5), {kMaxWindowSeconds, true, true});
  if (!posts || *posts == 0 || !window) return usage;
  limit = {static_cast<long>(*posts), static_cast<long>(*window)};
  return std::nullopt;
}

// Each key's reader, by name: the one table of what [site] can say.
const std::vector<std::pair<std::string_view, Setter>>& SiteKeys() {
  static const std::vector<std::pair<std::string_view, Setter>> keys = {
      {"recipients_match",
       [](SiteSettings& s, const std::string& v) -> Problem {
         const std::string mode = LowerCopy(v);
         if (mode != "substring" && mode != "address")
           return "expected substring or address, not '" + v + "'";
         s.recipients_match = mode == "address" ? RecipientsMatch::kAddress : RecipientsMatch::kSubstring;
         return std::nullopt;
       }},
      {"sender",
       [](SiteSettings& s, const std::string& v) -> Problem {
         s.sender = v;
         return CheckAddress(v);
       }},
      {"reply_to",
       [](SiteSettings& s, const std::string& v) -> Problem {
         const std::string word = LowerCopy(v);
         if (word != "visitor" && word != "off") return "expected visitor or off, not '" + v + "'";
         s.reply_to_visitor = word == "visitor";
         return std::nullopt;
       }},
      {"charset",
       [](SiteSettings& s, const std::string& v) -> Problem {
         s.charset = LowerCopy(v);
         if (s.charset == "form" || IsMailCharset(s.charset)) return std::nullopt;
         return "expected iso-8859-1, utf-8, windows-1252 or form, not '" + v + "'";
       }},
      {"debug", [](SiteSettings& s, const std::string& v) { return ReadSwitch(v, s.debug); }},
      {"autoreply", [](SiteSettings& s, const std::string& v) { return ReadSwitch(v, s.autoreply); }},
      {"autoreply_templates",
       [](SiteSettings& s, const std::string& v) -> Problem {
         s.autoreply_templates.emplace();
         if (auto problem = ReadList(v, *s.autoreply_templates)) return problem;
         return CheckDocumentNames(*s.autoreply_templates);
       }},
      {"autoreply_subject",
       [](SiteSettings& s, const std::string& v) -> Problem {
         s.autoreply_subject = v;
         return std::nullopt;
       }},
      {"server",
       [](SiteSettings& s, const std::string& v) -> Problem {
         s.server = v;
         return CheckHostName(v);
       }},
      {"documents",
       [](SiteSettings& s, const std::string& v) -> Problem {
         s.documents.emplace();
         if (auto problem = ReadList(v, *s.documents)) return problem;
         return CheckDocumentNames(*s.documents);
       }},
      {"honeypot",
       [](SiteSettings& s, const std::string& v) -> Problem {
         s.honeypot = v;
         if (v.empty()) return std::string("expected the name of a form field");
         return std::nullopt;
       }},
      {"rate_limit",
       [](SiteSettings& s, const std::string& v) -> Problem {
         s.rate_limit.emplace();
         return ReadRateLimit(v, *s.rate_limit);
       }},
      {"state_dir",
       [](SiteSettings& s, const std::string& v) -> Problem {
         s.state_dir = v;
         if (!IsAbsolutePath(v)) return "expected an absolute folder path, not '" + v + "'";
         return std::nullopt;
       }},
      {"referers",
       [](SiteSettings& s, const std::string& v) -> Problem {
         s.referers.emplace();
         if (auto problem = ReadList(v, *s.referers)) return problem;
         for (std::string& host : *s.referers) {
           ToLower(host);
           if (auto problem = CheckHostOrAddress(host)) return problem;
         }
         return std::nullopt;
       }},
      {"allow_empty_referer",
       [](SiteSettings& s, const std::string& v) { return ReadSwitch(v, s.allow_empty_referer); }},
      {"success_redirect",
       [](SiteSettings& s, const std::string& v) -> Problem {
         s.success_redirect = v;
         return CheckRedirect(v);
       }},
      {"error_redirect",
       [](SiteSettings& s, const std::string& v) -> Problem {
         s.error_redirect = v;
         return CheckRedirect(v);
       }},
      {"json", [](SiteSettings& s, const std::string& v) { return ReadSwitch(v, s.json); }},
      {"log",
       [](SiteSettings& s, const std::string& v) -> Problem {
         s.log = v;
         if (v == "stderr" || v == "off" || IsAbsolutePath(v)) return std::nullopt;
         return "expected stderr, off or an absolute file path, not '" + v + "'";
       }},
  };
  return keys;
}

// A time-out or budget: from one second to an hour.
Problem ReadTimeout(std::string_view value, std::uint32_t& milliseconds) {
  constexpr std::uint64_t kMaxSeconds = 3600;
  const auto seconds = ReadDuration(value, {kMaxSeconds});
  if (!seconds)
    return "expected a time from 1 second to 1 hour, such as 30 or 2 minutes, not '" + Trimmed(value) + "'";
  milliseconds = static_cast<std::uint32_t>(*seconds * 1000);
  return std::nullopt;
}

Problem ReadText(std::string_view value, std::string& text) {
  text = value;
  if (text.empty()) return std::string("expected a value");
  return std::nullopt;
}

// Each key of [smtp]: how mail leaves.
const std::vector<std::pair<std::string_view, Setter>>& SmtpKeys() {
  static const std::vector<std::pair<std::string_view, Setter>> keys = {
      {"transport",
       [](SiteSettings& s, const std::string& v) -> Problem {
         const std::string word = LowerCopy(v);
         if (word != "smtp" && word != "sendmail") return "expected smtp or sendmail, not '" + v + "'";
         s.delivery.transport = word == "smtp" ? TransportKind::kSmtp : TransportKind::kSendmail;
         return std::nullopt;
       }},
      {"sendmail_path",
       [](SiteSettings& s, const std::string& v) -> Problem {
         s.delivery.sendmail_path = v;
         if (!IsAbsolutePath(v)) return "expected the absolute path of the program, not '" + v + "'";
         return std::nullopt;
       }},
      {"host",
       [](SiteSettings& s, const std::string& v) -> Problem {
         s.delivery.host = v;
         return CheckHostName(v);
       }},
      {"port",
       [](SiteSettings& s, const std::string& v) -> Problem {
         const auto port = ReadNumber(v, 65535);
         if (!port || *port == 0) return "expected a port from 1 to 65535, not '" + v + "'";
         s.delivery.port = static_cast<std::uint16_t>(*port);
         return std::nullopt;
       }},
      {"tls",
       [](SiteSettings& s, const std::string& v) -> Problem {
         const std::string word = LowerCopy(v);
         if (word == "none") s.delivery.session.tls = TlsMode::kNone;
         if (word == "starttls") s.delivery.session.tls = TlsMode::kStartTls;
         if (word == "implicit") s.delivery.session.tls = TlsMode::kImplicit;
         if (word != "none" && word != "starttls" && word != "implicit") {
           return "expected none, starttls or implicit, not '" + v + "'";
         }
         return std::nullopt;
       }},
      {"tls_verify",
       [](SiteSettings& s, const std::string& v) { return ReadSwitch(v, s.delivery.session.tls_verify); }},
      {"tls_ca_file",
       [](SiteSettings& s, const std::string& v) -> Problem {
         s.delivery.session.tls_ca_file = v;
         if (!IsAbsolutePath(v)) return "expected an absolute file path, not '" + v + "'";
         return std::nullopt;
       }},
      {"user", [](SiteSettings& s, const std::string& v) { return ReadText(v, s.delivery.session.user); }},
      {"password",
       [](SiteSettings& s, const std::string& v) { return ReadText(v, s.delivery.session.password); }},
      {"allow_plaintext_auth",
       [](SiteSettings& s, const std::string& v) {
         return ReadSwitch(v, s.delivery.session.allow_plaintext_auth);
       }},
      {"helo",
       [](SiteSettings& s, const std::string& v) -> Problem {
         s.delivery.helo = v;
         return CheckHostOrAddress(v);
       }},
      {"connect_timeout",
       [](SiteSettings& s, const std::string& v) { return ReadTimeout(v, s.delivery.connect_timeout_ms); }},
      {"reply_timeout",
       [](SiteSettings& s, const std::string& v) { return ReadTimeout(v, s.delivery.reply_timeout_ms); }},
      {"deadline",
       [](SiteSettings& s, const std::string& v) { return ReadTimeout(v, s.delivery.deadline_ms); }},
      {"dkim_domain",
       [](SiteSettings& s, const std::string& v) -> Problem {
         s.delivery.dkim.domain = v;
         return CheckHostName(v);
       }},
      {"dkim_selector",
       [](SiteSettings& s, const std::string& v) -> Problem {
         s.delivery.dkim.selector = v;
         return CheckHostName(v);
       }},
      {"dkim_key",
       [](SiteSettings& s, const std::string& v) -> Problem {
         s.delivery.dkim_key_file = v;
         if (IsAbsolutePath(v) || !RefuseDocumentName(v)) return std::nullopt;
         return "expected a file name next to the program or an absolute path, not '" + v + "'";
       }},
  };
  return keys;
}

// A floating-point number from 0 to 1, such as a reCAPTCHA score.
Problem ReadScore(std::string_view value, std::optional<double>& score) {
  const std::string text = Trimmed(value);
  char* end = nullptr;
  const double read = std::strtod(text.c_str(), &end);
  const bool digits = !text.empty() && text.find_first_not_of("0123456789.") == std::string::npos;
  if (!digits || end != text.c_str() + text.size() || read < 0 || read > 1)
    return "expected a score from 0 to 1, such as 0.5, not '" + text + "'";
  score = read;
  return std::nullopt;
}

// Each key of [captcha]: the spam check a post must pass.
const std::vector<std::pair<std::string_view, Setter>>& CaptchaKeys() {
  static const std::vector<std::pair<std::string_view, Setter>> keys = {
      {"provider",
       [](SiteSettings& s, const std::string& v) -> Problem {
         const std::string word = LowerCopy(v);
         for (CaptchaProvider provider : {CaptchaProvider::kAltcha, CaptchaProvider::kTurnstile,
                                          CaptchaProvider::kHcaptcha, CaptchaProvider::kRecaptcha}) {
           if (FactsOf(provider).name == word) s.captcha.provider = provider;
         }
         if (s.captcha.provider == CaptchaProvider::kNone)
           return "expected altcha, turnstile, hcaptcha or recaptcha, not '" + v + "'";
         return std::nullopt;
       }},
      {"secret", [](SiteSettings& s, const std::string& v) { return ReadText(v, s.captcha.secret); }},
      {"altcha_expires",
       [](SiteSettings& s, const std::string& v) -> Problem {
         constexpr std::uint64_t kMaxSeconds = 24 * 3600;
         const auto seconds = ReadDuration(v, {kMaxSeconds});
         if (!seconds)
           return "expected a time from 1 second to 24 hours, such as 10 minutes, not '" + v + "'";
         s.captcha.altcha_expires_seconds = static_cast<std::uint32_t>(*seconds);
         return std::nullopt;
       }},
      {"altcha_max_number",
       [](SiteSettings& s, const std::string& v) -> Problem {
         constexpr std::uint64_t kMaxDifficulty = 100000000;
         const auto number = ReadNumber(v, kMaxDifficulty);
         if (!number || *number < 1000)
           return "expected a number from 1000 to 100000000, such as 100000, not '" + v + "'";
         s.captcha.altcha_max_number = *number;
         return std::nullopt;
       }},
      {"altcha_cost",
       [](SiteSettings&, const std::string&) -> Problem {
         return std::string(
             "altcha_cost sets the difficulty of the second version of the challenge; "
             "this program issues the first: set altcha_max_number");
       }},
      {"verify_url",
       [](SiteSettings& s, const std::string& v) -> Problem {
         s.captcha.verify_url = v;
         if (!ParseHttpsAddress(v)) return "expected an https:// address with a host name, not '" + v + "'";
         return std::nullopt;
       }},
      {"min_score", [](SiteSettings& s, const std::string& v) { return ReadScore(v, s.captcha.min_score); }},
      {"expected_hostname",
       [](SiteSettings& s, const std::string& v) -> Problem {
         s.captcha.expected_hostname = LowerCopy(v);
         return CheckHostName(v);
       }},
      {"timeout", [](SiteSettings& s, const std::string& v) { return ReadTimeout(v, s.captcha.timeout_ms); }},
      {"tls_ca_file",
       [](SiteSettings& s, const std::string& v) -> Problem {
         s.captcha.tls_ca_file = v;
         if (!IsAbsolutePath(v)) return "expected an absolute file path, not '" + v + "'";
         return std::nullopt;
       }},
  };
  return keys;
}

// Each key of [store]: the submissions the program keeps.
const std::vector<std::pair<std::string_view, Setter>>& StoreKeys() {
  static const std::vector<std::pair<std::string_view, Setter>> keys = {
      {"path",
       [](SiteSettings& s, const std::string& v) -> Problem {
         if (!kStoreBuilt)
           return std::string("this build keeps no store (SQLite is not built for Windows): remove [store]");
         s.store.path = v;
         if (!IsAbsolutePath(v)) return "expected an absolute file path, not '" + v + "'";
         return std::nullopt;
       }},
      {"answer_when_stored",
       [](SiteSettings& s, const std::string& v) -> Problem {
         const std::string word = LowerCopy(v);
         if (word != "success" && word != "error") return "expected success or error, not '" + v + "'";
         s.store.answer_success_when_stored = word == "success";
         return std::nullopt;
       }},
      {"keep_spam", [](SiteSettings& s, const std::string& v) { return ReadSwitch(v, s.store.keep_spam); }},
      {"give_up_after",
       [](SiteSettings& s, const std::string& v) -> Problem {
         constexpr std::uint64_t kMaxSeconds = 90ULL * 24 * 3600;
         const auto seconds = ReadDuration(v, {kMaxSeconds, false, true});
         if (!seconds) return "expected a time from 1 second to 90 days, such as 3 days, not '" + v + "'";
         s.store.give_up_after_seconds = static_cast<std::uint32_t>(*seconds);
         return std::nullopt;
       }},
      {"retention_days",
       [](SiteSettings& s, const std::string& v) -> Problem {
         const auto days = ReadNumber(v, 36500);
         if (!days || *days == 0) return "expected a number of days from 1 to 36500, not '" + v + "'";
         s.store.retention_days = static_cast<std::uint32_t>(*days);
         return std::nullopt;
       }},
  };
  return keys;
}

// Each key of [webhook]: where each post is announced.
const std::vector<std::pair<std::string_view, Setter>>& WebhookKeys() {
  static const std::vector<std::pair<std::string_view, Setter>> keys = {
      {"url",
       [](SiteSettings& s, const std::string& v) -> Problem {
         s.webhook.url = v;
         if (!ParseHttpsAddress(v)) return "expected an https:// address with a host name, not '" + v + "'";
         return std::nullopt;
       }},
      {"secret",
       [](SiteSettings& s, const std::string& v) -> Problem {
         s.webhook.secret = v;
         if (v.size() < 16)
           return std::string("secret must be at least 16 bytes: the receiver checks with it");
         return std::nullopt;
       }},
      {"timeout", [](SiteSettings& s, const std::string& v) { return ReadTimeout(v, s.webhook.timeout_ms); }},
      {"tls_ca_file",
       [](SiteSettings& s, const std::string& v) -> Problem {
         s.webhook.tls_ca_file = v;
         if (!IsAbsolutePath(v)) return "expected an absolute file path, not '" + v + "'";
         return std::nullopt;
       }},
  };
  return keys;
}

// Where each key was set, "section.key" to its line.
using KeyLines = std::map<std::string, int>;

// What no single line shows: settings that need one another. Each is
// reported at the line of the key that asks for the other.
std::optional<SettingsError> CheckKeysTogether(const KeyLines& lines) {
  const auto line_of = [&](std::string_view key) {
    const auto found = lines.find(std::string(key));
    return found == lines.end() ? 0 : found->second;
  };
  const auto needs = [&](std::string_view key, std::string_view needed, std::string_view message) {
    const int line = line_of(key);
    return line != 0 && line_of(needed) == 0 ? std::optional<SettingsError>({line, std::string(message)})
                                             : std::nullopt;
  };
  const auto together = [&](std::initializer_list<std::string_view> keys, std::string_view message) {
    int first = 0;
    bool all = true;
    for (std::string_view key : keys) {
      const int line = line_of(key);
      all = all && line != 0;
      if (line != 0 && (first == 0 || line < first)) first = line;
    }
    return first != 0 && !all ? std::optional<SettingsError>({first, std::string(message)}) : std::nullopt;
  };
  if (auto error = needs("site.rate_limit", "site.state_dir",
                         "rate_limit needs state_dir, the folder that keeps the counts"))
    return error;
  for (std::string_view key :
       {"captcha.secret", "captcha.altcha_expires", "captcha.altcha_max_number", "captcha.verify_url",
        "captcha.min_score", "captcha.expected_hostname", "captcha.timeout", "captcha.tls_ca_file"}) {
    if (auto error = needs(key, "captcha.provider", "the keys of [captcha] need provider, the check to make"))
      return error;
  }
  if (auto error = needs("captcha.provider", "captcha.secret",
                         "provider needs secret: the key of the challenges or the provider's secret key"))
    return error;
  for (std::string_view key :
       {"store.answer_when_stored", "store.keep_spam", "store.give_up_after", "store.retention_days"}) {
    if (auto error = needs(key, "store.path", "the keys of [store] need path, the database file"))
      return error;
  }
  if (auto error = together({"webhook.url", "webhook.secret"}, "url and secret of [webhook] go together"))
    return error;
  for (std::string_view key : {"webhook.timeout", "webhook.tls_ca_file"}) {
    if (auto error = needs(key, "webhook.url", "the keys of [webhook] need url, where posts are announced"))
      return error;
  }
  if (auto error = together({"smtp.user", "smtp.password"}, "user and password go together")) return error;
  if (auto error =
          needs("smtp.user", "smtp.host", "user needs host: only your own server takes the password"))
    return error;
  return together({"smtp.dkim_domain", "smtp.dkim_selector", "smtp.dkim_key"},
                  "dkim_domain, dkim_selector and dkim_key go together");
}

// A size in bytes: a number alone, or with KB or MB (1024 and 1024 * 1024
// bytes), blanks between or not; from 1 byte to max_bytes.
Problem ReadSize(std::string_view value, std::uint64_t max_bytes, std::size_t& size) {
  const std::string text = LowerCopy(Trimmed(value));
  std::size_t digits = 0;
  while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') ++digits;
  const std::string unit = Trimmed(std::string_view(text).substr(digits));
  std::uint64_t unit_bytes = 0;
  if (unit.empty() || unit == "b" || unit == "bytes") unit_bytes = 1;
  if (unit == "kb" || unit == "k") unit_bytes = 1024;
  if (unit == "mb" || unit == "m") unit_bytes = 1024 * 1024;
  const auto amount = ReadNumber(std::string_view(text).substr(0, digits), max_bytes);
  if (unit_bytes == 0 || !amount || *amount == 0 || *amount > max_bytes / unit_bytes)
    return "expected a size from 1 byte to " + std::to_string(max_bytes / (1024 * 1024)) +
           " MB, such as 10 MB, not '" + std::string(value) + "'";
  size = static_cast<std::size_t>(*amount * unit_bytes);
  return std::nullopt;
}

// Files are held in memory while the mail is made: a post of files stays
// well within what a web server gives a CGI program.
constexpr std::uint64_t kMaxUploadBytes = 256 * 1024 * 1024;

// Each key of [uploads]: what files a form may send.
const std::vector<std::pair<std::string_view, Setter>>& UploadKeys() {
  static const std::vector<std::pair<std::string_view, Setter>> keys = {
      {"max_file_size",
       [](SiteSettings& s, const std::string& v) {
         return ReadSize(v, kMaxUploadBytes, s.uploads.max_file_size);
       }},
      {"max_total_size",
       [](SiteSettings& s, const std::string& v) {
         return ReadSize(v, kMaxUploadBytes, s.uploads.max_total_size);
       }},
      {"max_files",
       [](SiteSettings& s, const std::string& v) -> Problem {
         const auto files = ReadNumber(v, 100);
         if (!files || *files == 0) return "expected a number of files from 1 to 100, not '" + v + "'";
         s.uploads.max_files = static_cast<std::size_t>(*files);
         return std::nullopt;
       }},
      {"allowed_types",
       [](SiteSettings& s, const std::string& v) -> Problem {
         if (auto problem = ReadList(v, s.uploads.allowed_types)) return problem;
         for (std::string& type : s.uploads.allowed_types) {
           ToLower(type);
           if (StartsWith(type, ".")) type.erase(0, 1);
           if (IsAlwaysRefused(type))
             return "'" + type + "' files are never taken: programs, scripts, HTML and SVG";
           if (!IsKnownFileType(type))
             return "'" + type +
                    "' is no type this program can tell by its first bytes; it tells pdf, png, jpg, jpeg, "
                    "gif, "
                    "webp, txt, csv, zip, docx, xlsx, pptx, odt, ods, odp and epub";
         }
         return std::nullopt;
       }},
      {"list_files",
       [](SiteSettings& s, const std::string& v) { return ReadSwitch(v, s.uploads.list_files); }},
  };
  return keys;
}

// The site's own challenges are signed with secret, and a replay is told
// by the file of spent ones.
std::optional<SettingsError> CheckOwnChallenge(const KeyLines& lines, const SiteSettings& settings) {
  constexpr std::size_t kMinKeyBytes = 32;
  if (settings.captcha.provider != CaptchaProvider::kAltcha) return std::nullopt;
  if (settings.captcha.secret.size() < kMinKeyBytes)
    return SettingsError{
        lines.at("captcha.secret"),
        "secret must be at least 32 bytes: it signs the challenges (openssl rand -hex 32 draws one)"};
  if (settings.state_dir.empty())
    return SettingsError{lines.at("captcha.provider"),
                         "provider = altcha needs state_dir, the folder that keeps the solved challenges"};
  return std::nullopt;
}

Problem ReadAlias(SiteSettings& settings, const std::string& name, const std::string& value) {
  Alias alias{LowerCopy(name), {}};
  if (FindAnyOf(alias.name, ", ") >= 0) return "'" + name + "' cannot be an alias name";
  if (auto problem = ReadList(value, alias.addresses)) return problem;
  for (const std::string& address : alias.addresses) {
    if (auto problem = CheckAddress(address)) return problem;
  }
  settings.aliases.push_back(std::move(alias));
  return std::nullopt;
}

// The sections and the keys each takes; [aliases] takes any name.
struct Section {
  std::string_view name;
  const std::vector<std::pair<std::string_view, Setter>>* keys;
};
const Section* FindSection(std::string_view name) {
  static const Section kSections[] = {{"site", &SiteKeys()},       {"aliases", nullptr},
                                      {"smtp", &SmtpKeys()},       {"captcha", &CaptchaKeys()},
                                      {"webhook", &WebhookKeys()}, {"store", &StoreKeys()},
                                      {"uploads", &UploadKeys()}};
  for (const Section& section : kSections) {
    if (section.name == name) return &section;
  }
  return nullptr;
}

// What one line of the file does to the settings.
Problem ReadLine(std::string_view line, int line_number, const Section*& section, KeyLines& lines,
                 SiteSettings& settings) {
  const std::string trimmed = Trimmed(line);
  if (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '#') return std::nullopt;
  if (trimmed.front() == '[') {
    if (trimmed.back() != ']') return "'" + trimmed + "' is not a section name in brackets";
    const std::string name = LowerCopy(Trimmed(std::string_view(trimmed).substr(1, trimmed.size() - 2)));
    section = FindSection(name);
    if (section == nullptr) return "unknown section [" + name + "]";
    // The section alone takes files with its defaults.
    if (name == "uploads") settings.uploads.enabled = settings.present = true;
    return std::nullopt;
  }
  const std::size_t eq = trimmed.find('=');
  if (eq == std::string::npos) return "'" + trimmed + "' is not a key = value line";
  const std::string key = LowerCopy(Trimmed(std::string_view(trimmed).substr(0, eq)));
  const std::string value = Trimmed(std::string_view(trimmed).substr(eq + 1));
  if (section == nullptr) return "'" + key + "' comes before any [section]";
  if (key.empty()) return std::string("a value without a key");
  const std::string where(section->name);
  if (!lines.emplace(where + "." + key, line_number).second)
    return "'" + key + "' is set twice in [" + where + "]";
  settings.present = true;
  if (section->keys == nullptr) return ReadAlias(settings, key, value);
  if (where == "smtp") settings.delivery.configured = true;
  for (const auto& [name, setter] : *section->keys) {
    if (name == key) return setter(settings, value);
  }
  return "unknown key '" + key + "' in [" + where + "]";
}

}  // namespace

bool IsMailCharset(std::string_view name) {
  return name == "iso-8859-1" || name == "utf-8" || name == "windows-1252";
}

std::variant<SiteSettings, SettingsError> ParseSiteSettings(std::string_view text) {
  SiteSettings settings;
  if (StartsWith(text, kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
  const Section* section = nullptr;
  KeyLines lines;
  int line_number = 0;
  for (std::string_view line : Lines(text)) {
    ++line_number;
    if (auto problem = ReadLine(line, line_number, section, lines, settings))
      return SettingsError{line_number, *problem};
  }
  if (auto error = CheckKeysTogether(lines)) return *error;
  if (auto error = CheckOwnChallenge(lines, settings)) return *error;
  CaptchaSettings& captcha = settings.captcha;
  if (captcha.tls_ca_file.empty()) captcha.tls_ca_file = settings.delivery.session.tls_ca_file;
  if (settings.webhook.tls_ca_file.empty())
    settings.webhook.tls_ca_file = settings.delivery.session.tls_ca_file;
  // Implicit TLS has its own port (RFC 8314).
  if (settings.delivery.session.tls == TlsMode::kImplicit && lines.count("smtp.port") == 0)
    settings.delivery.port = 465;
  return settings;
}

const Alias* FindAlias(const SiteSettings& settings, std::string_view name) {
  const std::string lower = LowerCopy(name);
  for (const Alias& alias : settings.aliases) {
    if (alias.name == lower) return &alias;
  }
  return nullptr;
}

const std::string* ListedName(const TextList& names, std::string_view name) {
  const std::string lower = LowerCopy(Trimmed(name));
  const auto found =
      std::find_if(names.begin(), names.end(), [&](const std::string& n) { return LowerCopy(n) == lower; });
  return found == names.end() ? nullptr : &*found;
}

std::string RateLimitFilePath(const SiteSettings& settings) { return settings.state_dir + "/rate-limit"; }

std::string SpentChallengesFilePath(const SiteSettings& settings) {
  return settings.state_dir + "/spent-challenges";
}

std::vector<std::string> ProgramOwnFiles(const SiteSettings& settings, const std::string& program_path) {
  std::vector<std::string> paths = {SiteFilePath(program_path, kSettingsFileName),
                                    SiteFilePath(program_path, kAllowListFileName)};
  const DeliverySettings& d = settings.delivery;
  if (!d.dkim_key_file.empty()) paths.push_back(DkimKeyPath(d, program_path));
  if (!d.session.tls_ca_file.empty()) paths.push_back(d.session.tls_ca_file);
  if (IsAbsolutePath(settings.log)) paths.push_back(settings.log);
  if (!settings.store.path.empty()) {
    // SQLite keeps its write-ahead log and index beside the database.
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) paths.push_back(settings.store.path + suffix);
  }
  if (!settings.state_dir.empty()) {
    paths.push_back(RateLimitFilePath(settings));
    paths.push_back(SpentChallengesFilePath(settings));
  }
  return paths;
}

std::string DkimKeyPath(const DeliverySettings& delivery, const std::string& program_path) {
  const std::string& file = delivery.dkim_key_file;
  return IsAbsolutePath(file) ? file : SiteFilePath(program_path, file);
}

namespace {

// A password every account of the machine can read is a password every
// program of every site on it can read. The run still goes on: refusing
// would take a working site down for a mode it has always had.
void WarnOfReadablePassword(System& system, const SiteSettings& settings) {
  if (settings.delivery.session.password.empty()) return;
  const std::optional<FileIdentity> file = system.IdentityOf(settings.source);
  if (file && file->readable_by_all) {
    system.WriteStderrLine(
        "warning: " + settings.source +
        " holds the relay's password and every user of this machine may read it; chmod o-r it");
  }
}

}  // namespace

SiteSettings LoadSiteSettings(System& system, const std::string& program_path) {
  const std::string path = SiteFilePath(program_path, kSettingsFileName);
  // A settings file that is there, readable or not, keeps the paths hidden.
  const std::optional<std::string> text = ReadSiteFile(SiteFiles(system, true), path);
  if (!text) return {};
  auto parsed = ParseSiteSettings(*text);
  if (const auto* error = std::get_if<SettingsError>(&parsed)) {
    system.WriteStderrLine(path + " line " + std::to_string(error->line) + ": " + error->message);
    WriteErrorPage(Error604SettingsInvalid(kSettingsFileName, error->line));
  }
  SiteSettings settings = std::get<SiteSettings>(std::move(parsed));
  settings.source = path;
  WarnOfReadablePassword(system, settings);
  return settings;
}

}  // namespace quillo
