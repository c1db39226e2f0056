// The site's webhook: each accepted post announced to an HTTPS address of
// the site owner's as JSON, signed so that the receiver can tell it came
// from this program: "X-Quillo-Signature: t=UNIX,v1=HEX", HEX being
// HMAC-SHA-256 under the shared secret of "UNIX.BODY".
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillo {

struct WebhookSettings {
  std::string url;  // empty: no webhook
  std::string secret;
  std::uint32_t timeout_ms = 5000;
  std::string tls_ca_file;  // empty: [smtp] tls_ca_file, else the system's roots
};

// What the receiver is told of one post; texts in UTF-8.
struct WebhookPost {
  std::optional<std::int64_t> id;  // the store's row, when there is a store
  std::time_t time = 0;
  std::string state;  // the main mail's: "sent", "failed", ...
  std::vector<std::pair<std::string, std::string>> fields;
};

// {"id":N or null,"time":"2026-12-09T18:00:00Z","state":"sent","fields":[["Name","Jo"],...]}
std::string WebhookBody(const WebhookPost& post, std::string_view time_stamp);

// "t=UNIX,v1=HEX"
std::string WebhookSignature(std::string_view secret, std::time_t when, std::string_view body);

struct WebhookOutcome {
  bool delivered = false;  // the receiver answered 2xx
  std::string detail;      // otherwise why not, for the log
};

// Posts it, within the settings' time-out; the certificate and host name
// verified.
WebhookOutcome SendWebhook(const WebhookSettings& settings, const WebhookPost& post,
                           std::string_view time_stamp, std::time_t now);

}  // namespace quillo
