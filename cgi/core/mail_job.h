// What the run tells delivery beyond a message's described arguments, and
// what delivery tells the run back for its log line.
#pragma once

#include <cctype>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

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

// Where the delivery to one recipient stopped, at its last attempt.
struct DeliveryNote {
  std::string step;       // "connect", "HELO", "RCPT", ..., "sendmail", "deadline"
  std::string host;       // the mail host it was talking to, or the command
  std::string reply;      // the first line of the server's last reply, or why there was none
  std::string recipient;  // whose mail it was (all of them for the local mail system)
  // The reply's code, 0 when there was no reply.
  int code() const {
    const bool digits = reply.size() >= 3 && std::isdigit(static_cast<unsigned char>(reply[0])) &&
                        std::isdigit(static_cast<unsigned char>(reply[1])) &&
                        std::isdigit(static_cast<unsigned char>(reply[2]));
    return digits ? std::stoi(reply.substr(0, 3)) : 0;
  }
};

struct MailExtras {
  // A site with settings sends mail that receivers' filters take: a
  // Message-ID, MIME-Version, no X-Mailer, X-Priority only when high, and a
  // fully qualified greeting (greeting_name; empty: the address literal).
  bool inbox_ready = false;
  std::string greeting_name;
  std::string reply_to;                           // the visitor's address when the site sends as itself
  std::vector<DeliveryNote>* failures = nullptr;  // one note per recipient not delivered
  const TransportSettings* transport = nullptr;   // nothing: plain SMTP as always
  // When the run's delivery budget is spent: no host is tried after it.
  std::optional<std::chrono::steady_clock::time_point> deadline;
  std::time_t now = 0;  // the run's time, for a signature's time stamp
};

}  // namespace quillo
