// What the run hands delivery: one mail as a record, the plan of how this
// run's mail leaves, and what delivery hands back for the log.
#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/form_request.h"
#include "core/text.h"
#include "delivery/dkim.h"
#include "smtp/smtp_client.h"

namespace quillo {

// One mail, its subject's placeholders already filled in.
struct OutgoingMail {
  std::string fromName;
  std::string fromAddress;  // the From line's address and the envelope sender
  TextList recipients;
  std::string subject;
  std::string date;
  std::string textBody;
  std::string htmlBody;
  bool highPriority = false;
  std::string replyTo;                 // a Reply-To line when not empty
  std::string charset = "iso-8859-1";  // of the parts and the encoded-words
  // Files the visitor sent, after the body in a multipart/mixed message;
  // the main mail's alone, never an automatic reply's.
  std::vector<Attachment> attachments;
};

// Mail always leaves for the SMTP port (RFC 821); nothing a form sends can
// choose another.
constexpr std::uint16_t kSmtpPort = 25;

enum class TransportKind { kSmtp, kSendmail };

// How mail leaves, as the site's settings say. Unconfigured, it is plain
// SMTP as it has always been: HELO, port 25, no TLS, no AUTH.
struct DeliverySettings {
  bool configured = false;  // any setting given: EHLO and what it offers
  TransportKind transport = TransportKind::kSmtp;
  std::string sendmail_path = "/usr/sbin/sendmail";
  std::string host;  // the only server when set
  std::uint16_t port = kSmtpPort;
  // TLS and AUTH; the greeting name is the run's (helo below, or found).
  SessionOptions session;
  std::string helo;  // the greeting name the site gives; empty: the run finds one
  std::uint32_t connect_timeout_ms = kDefaultReplyTimeoutMs;
  std::uint32_t reply_timeout_ms = kDefaultReplyTimeoutMs;
  std::uint32_t deadline_ms = 0;  // the whole delivery's budget; 0 for none
  DkimKey dkim;                   // its private_key_pem read by the run
  std::string dkim_key_file;      // the key file's name or path, as written
};

// Whether the site hands its mail to the local mail system.
inline bool UsesSendmail(const DeliverySettings& settings) {
  return settings.configured && settings.transport == TransportKind::kSendmail;
}

struct MailResult;
class RelaySession;

// Sees a composed mail before its first byte leaves and its outcome after:
// the site's store of submissions. A mail it cannot record is not sent, so
// that nothing goes out that exists nowhere.
class DeliveryJournal {
 public:
  virtual ~DeliveryJournal() = default;
  // false, and why, when the mail could not be recorded.
  virtual bool Record(const std::string& message, const std::string& sender, const TextList& recipients,
                      std::string& why) = 0;
  virtual void Settle(const MailResult& result) = 0;
};

// How this run's mail leaves: what the form says, and what the site's
// settings add.
struct DeliveryPlan {
  std::string server;  // the form's or the site's mail server; empty: each recipient's MX
  std::string first_local_address;
  std::string second_local_address;
  DeliverySettings settings;
  // A site with settings sends mail that receivers' filters take: a
  // Message-ID, MIME-Version, no X-Mailer, X-Priority only when high, and a
  // fully qualified greeting (greeting_name; empty: the address literal).
  bool inbox_ready = false;
  std::string greeting_name;
  // When the run's delivery budget is spent: no host is tried after it.
  std::optional<std::chrono::steady_clock::time_point> deadline;
  std::time_t now = 0;  // the run's time, for a signature's time stamp
  // Each SMTP reply as it comes, for a person watching (the admin command's
  // test mail); the CGI program sets none.
  SmtpClient::Transcript transcript;
  // The store's journal for this mail; none without a store.
  DeliveryJournal* journal = nullptr;
  // With [smtp] host: the session with that relay, which the main mail
  // leaves open for the automatic reply (smtp_transport.h); none without.
  std::shared_ptr<RelaySession> relay;
};

// Where the delivery to one recipient stopped, at its last attempt.
struct DeliveryNote {
  std::string step;        // "connect", "HELO", "RCPT", ..., "sendmail", "deadline"
  std::string host;        // the mail host it was talking to, or the command
  std::string reply;       // the first line of the server's last reply, or why there was none
  std::string recipient;   // whose mail it was (all of them for the local mail system)
  int code = 0;            // the code of that reply; 0 when the server gave none
  std::string error{};     // why there was no reply ("timeout", "refused", ...; see platform/net.h)
  bool permanent = false;  // sending the same mail again would fail the same way
};

// The error of a note for a message the server would not take for its size.
constexpr std::string_view kMessageTooLarge = "message too large";

// The answer of a delivery: "OK" when the last recipient's delivery
// succeeded or there were none, else "NO".
constexpr std::string_view kAccepted = "OK";
constexpr std::string_view kRefused = "NO";

struct MailResult {
  std::string answer = std::string(kAccepted);
  std::vector<DeliveryNote> undelivered;  // one note per recipient not delivered
  bool accepted() const { return answer == kAccepted; }
};

// Composes one mail and hands it over as the plan says.
using MailSender = std::function<MailResult(OutgoingMail mail, const DeliveryPlan& plan)>;

}  // namespace quillo
