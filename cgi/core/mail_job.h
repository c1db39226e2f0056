// What the run tells delivery beyond a message's described arguments, and
// what delivery tells the run back for its log line.
#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

namespace quillo {

enum class Transport { kSmtp, kSendmail };
enum class TlsMode { kNone, kStartTls, kImplicit };

// How mail leaves, as the site's settings file says. Unconfigured, it is
// plain SMTP as it has always been: HELO, port 25, no TLS, no AUTH.
struct TransportSettings {
  bool configured = false;  // any setting given: EHLO and what it offers
  Transport transport = Transport::kSmtp;
  std::string sendmail_path = "/usr/sbin/sendmail";
  std::string host;  // the only server when set
  std::uint16_t port = 25;
  TlsMode tls = TlsMode::kNone;
  bool tls_verify = true;
  std::string tls_ca_file;
  std::string user;
  std::string password;
  bool allow_plaintext_auth = false;
  std::string helo;  // the greeting name; the host name when empty
  std::uint32_t connect_timeout_ms = 60000;
  std::uint32_t reply_timeout_ms = 60000;
  std::uint32_t deadline_ms = 0;  // the whole delivery's budget; 0 for none
  std::string dkim_domain;
  std::string dkim_selector;
  std::string dkim_key;      // the key file's name or path, as written
  std::string dkim_key_pem;  // its text, read by the run
};

// Where the last failed delivery attempt stopped.
struct DeliveryNote {
  std::string step;   // "connect", "HELO", "RCPT", ...
  std::string host;   // the mail host it was talking to
  std::string reply;  // the first line of the server's last reply
};

struct MailExtras {
  std::string reply_to;                          // the visitor's address when the site sends as itself
  DeliveryNote* failure = nullptr;               // filled when an attempt fails
  const TransportSettings* transport = nullptr;  // nothing: plain SMTP as always
  // When the run's delivery budget is spent: no host is tried after it.
  std::optional<std::chrono::steady_clock::time_point> deadline;
  std::time_t now = 0;  // the run's time, for a signature's time stamp
};

}  // namespace quillo
