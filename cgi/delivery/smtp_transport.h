// Delivery over SMTP to every recipient's mail host.
//
// With a relay the site's settings name ([smtp] host, which takes mail for
// every recipient) instead: one session and one transaction carry every
// recipient, a recipient refused at RCPT is noted and the others delivered;
// the session stays open in the plan's RelaySession for the run's next mail
// (the automatic reply), which follows an RSET. Otherwise, as always:
//
// Per recipient: two candidate hosts. Without a configured server they are
// the two the recipient domain's MX records give; with one, the server, and
// after it the domain's best exchanger, looked up only when the server has
// failed (with a server the site's settings name, that server alone). Each
// host is tried from the first local address, then from the second; the
// second host only when the first failed and differs. At most four
// connection attempts and two transactions per recipient, no pauses. The
// mail is accepted when the last recipient's delivery succeeded or there
// were no recipients.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "delivery/transport.h"
#include "smtp/mx.h"
#include "smtp/smtp_client.h"

namespace quillo {

// The looked-up hosts of one recipient's address (before the server choice).
using HostLookup = std::function<MxHosts(const std::string& recipient)>;

// A fresh MxResolver per recipient, as delivery uses it.
MxHosts LookUpWithResolver(const std::string& recipient);

// The run's session with its relay, kept between its mails.
class RelaySession {
 public:
  RelaySession() = default;
  RelaySession(const RelaySession&) = delete;
  RelaySession& operator=(const RelaySession&) = delete;
  ~RelaySession() { Close(); }
  // QUIT, once the run's last mail went.
  void Close();
  std::unique_ptr<SmtpClient> client;
};

// Where and how the SMTP transport connects.
struct SmtpRoute {
  std::string server;       // empty: each recipient's MX hosts
  bool serverOnly = false;  // no MX fallback after the server
  std::string firstLocalAddress;
  std::string secondLocalAddress;
  HostLookup lookup = LookUpWithResolver;
  std::uint16_t port = kSmtpPort;  // another only where tests stand in for servers
  SessionOptions session;
  std::uint32_t connectTimeoutMs = kDefaultReplyTimeoutMs;
  std::uint32_t replyTimeoutMs = kDefaultReplyTimeoutMs;
  std::optional<std::chrono::steady_clock::time_point> deadline;
  SmtpClient::Transcript transcript;
  std::shared_ptr<RelaySession> relay;  // with serverOnly: the session to keep
};

class SmtpTransport : public Transport {
 public:
  explicit SmtpTransport(SmtpRoute route) : route_(std::move(route)) {}

  MailResult Deliver(std::string text, const std::string& sender, const TextList& recipients) override;

 private:
  MailResult DeliverToRelay(std::string text, const std::string& sender, const TextList& recipients);
  SmtpRoute route_;
};

// The route a plan makes: plain SMTP without settings.
SmtpRoute RouteFor(const DeliveryPlan& plan);

}  // namespace quillo
