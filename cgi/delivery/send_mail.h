// Mail delivery for a run: builds the message text once and hands it to
// every recipient's mail host over SMTP, TCP port 25 only.
//
// Per recipient: two candidate hosts. Without a configured server they are
// the two the recipient domain's MX records give; with one, the server, and
// after it the domain's best exchanger, looked up only when the server has
// failed. Each host is tried from the first local address, then from the
// second; the second host only when the first failed and differs. At most
// four connection attempts and two transactions per recipient, no pauses.
// The answer is "OK" when the last recipient's delivery succeeded or there
// were no recipients, else "NO". Nothing here stops the run.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "core/form_request.h"
#include "core/mail_job.h"
#include "smtp/mx.h"
#include "smtp/smtp_client.h"

namespace quillo {

// Mail always leaves for the SMTP port (RFC 821); nothing a form sends can
// choose another.
constexpr std::uint16_t kSmtpPort = 25;

// Builds the message once and delivers it to every recipient; "OK" or "NO".
std::string sendMail(const FormRequest& request, const std::string& server,
                     const std::string& firstLocalAddress, const std::string& secondLocalAddress,
                     const std::string& fromAddress, const TextList& recipients, const std::string& fromName,
                     std::string subject, std::string textBody, std::string htmlBody, bool highPriority,
                     const MailExtras& extras = {});

// The looked-up hosts of one recipient's address (before the server choice).
using HostLookup = std::function<MxHosts(const std::string& recipient)>;

// A fresh MxResolver per recipient, as sendMail uses it.
MxHosts LookUpWithResolver(const std::string& recipient);

struct DeliveryOptions {
  HostLookup lookup = LookUpWithResolver;
  std::uint32_t replyTimeoutMs = kDefaultReplyTimeoutMs;
  std::uint16_t port = kSmtpPort;                 // another only where tests stand in for servers
  std::vector<DeliveryNote>* failures = nullptr;  // one note per recipient not delivered
  // What the site's settings add: the session, the connect time-out, the
  // budget, and whether the server is the only host (no MX fallback).
  SessionOptions session;
  std::uint32_t connectTimeoutMs = kDefaultReplyTimeoutMs;
  std::optional<std::chrono::steady_clock::time_point> deadline;
  bool serverOnly = false;
};

// The options a site's transport settings make; plain SMTP without them.
DeliveryOptions OptionsFor(const TransportSettings* transport);

// The delivery loop of sendMail over a finished message text.
std::string DeliverMessage(std::string messageText, const std::string& server,
                           const std::string& firstLocalAddress, const std::string& secondLocalAddress,
                           const std::string& fromAddress, const TextList& recipients,
                           const DeliveryOptions& options = {});

}  // namespace quillo
