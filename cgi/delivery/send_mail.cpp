// Message sending; see send_mail.h.
#include "delivery/send_mail.h"

#include <cctype>

#include "content/placeholders.h"
#include "core/keyed_hash.h"
#include "core/text.h"
#include "delivery/dkim.h"
#include "delivery/message.h"
#include "platform/crypto.h"
#include "platform/process.h"
#include "smtp/wire.h"

namespace quillo {
namespace {

constexpr std::string_view kAccepted = "OK";
constexpr std::string_view kRefused = "NO";

// One host: connect from the first local address, else from the second,
// then one transaction. The client says QUIT when it goes out of scope.
bool DeliverVia(const std::string& host, const std::string& firstLocalAddress,
                const std::string& secondLocalAddress, const MailEnvelope& envelope,
                const DeliveryOptions& options, DeliveryNote& note) {
  SmtpClient client;
  client.setReplyTimeoutMs(options.replyTimeoutMs);
  client.setConnectTimeoutMs(options.connectTimeoutMs);
  client.setSession(options.session);
  client.setDeadline(options.deadline);
  // A site's own transport connects once, from wherever the system routes:
  // a refused password or certificate is no better from another address.
  // Otherwise from the first local address, then the second; when neither
  // can carry the connection at all, from wherever the system routes.
  bool connected = false;
  if (options.session.extended) {
    connected = client.connect(host, options.port, std::string());
  } else {
    bool any_usable = false;
    for (const std::string* local : {&firstLocalAddress, &secondLocalAddress}) {
      connected = client.connect(host, options.port, *local);
      any_usable = any_usable || !client.localAddressUnusable();
      if (connected) break;
    }
    if (!connected && !any_usable) connected = client.connect(host, options.port, std::string());
  }
  if (!connected) {
    note = {client.step(), host, client.lastReply(), {}};
    return false;
  }
  const bool sent = client.sendMessage(envelope);
  if (!sent) note = {client.step(), host, client.lastReply(), {}};
  client.quit();
  return sent;
}

// With the site's DKIM key, the message as its lines go out, signed.
// Nothing when the key does not sign: mail the site meant to sign does not
// go out unsigned.
std::optional<std::string> SignedMessage(std::string message, const MailExtras& extras) {
  const TransportSettings* t = extras.transport;
  if (t == nullptr || t->dkim_key_pem.empty()) return message;
  std::string lines = NormalizeDataLines(message);
  const auto signature =
      DkimSignatureHeader(lines, {t->dkim_domain, t->dkim_selector, t->dkim_key_pem}, extras.now);
  if (!signature) {
    if (extras.failures != nullptr)
      extras.failures->push_back({"DKIM",
                                  t->dkim_key,
                                  platform::SigningAvailable()
                                      ? "the key does not sign"
                                      : "this build of quillopro.exe cannot sign mail",
                                  {}});
    return std::nullopt;
  }
  return *signature + lines;
}

// The local mail system queues the message and retries for us: what its
// submission command takes, with Unix line ends, is delivered as far as
// this run is concerned.
std::string DeliverBySendmail(const std::string& message, const std::string& fromAddress,
                              const TextList& recipients, const MailExtras& extras) {
  const TransportSettings& t = *extras.transport;
  std::vector<std::string> arguments = {"-i", "-f", BlankLineBreaks(fromAddress), "--"};
  for (const std::string& recipient : recipients) arguments.push_back(BlankLineBreaks(recipient));
  std::string lines = NormalizeDataLines(message);
  ReplaceAll(lines, "\r\n", "\n");
  const std::uint32_t timeout = WithinDeadline(t.reply_timeout_ms, extras.deadline);
  const platform::ProgramRun run = platform::RunProgram(t.sendmail_path, arguments, lines, timeout);
  if (run.started && !run.timed_out && run.exit_status == 0 && run.input_written)
    return std::string(kAccepted);
  if (extras.failures != nullptr) {
    std::string why = !run.started    ? "cannot be started"
                      : run.timed_out ? "did not finish in time"
                                      : "exit status " + std::to_string(run.exit_status);
    const std::string first_line = Trimmed(run.error_output.substr(0, run.error_output.find('\n')));
    if (!first_line.empty()) why += ": " + first_line;
    std::string all;
    for (const std::string& recipient : recipients) all += (all.empty() ? "" : ",") + recipient;
    extras.failures->push_back({"sendmail", t.sendmail_path, why, all});
  }
  return std::string(kRefused);
}

}  // namespace

DeliveryOptions OptionsFor(const TransportSettings* transport) {
  DeliveryOptions options;
  if (transport == nullptr || !transport->configured) return options;
  options.port = transport->port;
  options.replyTimeoutMs = transport->reply_timeout_ms;
  options.connectTimeoutMs = transport->connect_timeout_ms;
  options.serverOnly = !transport->host.empty();
  SessionOptions& session = options.session;
  session.extended = true;
  session.tls = transport->tls;
  session.tls_verify = transport->tls_verify;
  session.tls_ca_file = transport->tls_ca_file;
  session.user = transport->user;
  session.password = transport->password;
  session.allow_plaintext_auth = transport->allow_plaintext_auth;
  if (!transport->helo.empty()) session.helo = transport->helo;
  return options;
}

MxHosts LookUpWithResolver(const std::string& recipient) {
  MxResolver resolver;
  MxHosts hosts;
  resolver.lookupMx(recipient, hosts.primary, hosts.secondary);
  return hosts;
}

// Whether a server said something: its reply tells more than a connection
// that failed or a host tried after it.
bool HasServerReply(const DeliveryNote& note) {
  return note.reply.size() >= 3 && std::isdigit(static_cast<unsigned char>(note.reply[0])) &&
         std::isdigit(static_cast<unsigned char>(note.reply[1])) &&
         std::isdigit(static_cast<unsigned char>(note.reply[2]));
}

std::string DeliverMessage(std::string messageText, const std::string& server,
                           const std::string& firstLocalAddress, const std::string& secondLocalAddress,
                           const std::string& fromAddress, const TextList& recipients,
                           const DeliveryOptions& options) {
  bool last_delivered = true;
  MailEnvelope envelope{fromAddress, {}, std::move(messageText)};
  bool out_of_time = false;
  // The note of the attempt that decided: the first host that refused with
  // a reply, or else the last attempt.
  DeliveryNote note;
  const auto keep = [&](DeliveryNote attempt) {
    if (!HasServerReply(note)) note = std::move(attempt);
  };
  const auto deliver_via = [&](const std::string& host) {
    out_of_time = out_of_time || (options.deadline && std::chrono::steady_clock::now() >= *options.deadline);
    if (out_of_time) {
      keep({"deadline", host, "the delivery's time is spent", {}});
      return false;
    }
    DeliveryNote attempt;
    const bool delivered =
        DeliverVia(host, firstLocalAddress, secondLocalAddress, envelope, options, attempt);
    if (!delivered) keep(std::move(attempt));
    return delivered;
  };
  for (const std::string& recipient : recipients) {
    envelope.recipients = {recipient};
    note = {};
    if (out_of_time) {
      last_delivered = false;
      note = {"deadline", {}, "the delivery's time is spent", {}};
    } else if (options.serverOnly) {
      last_delivered = deliver_via(server);
    } else if (server.empty()) {
      const MxHosts hosts = options.lookup(recipient);
      last_delivered = deliver_via(hosts.primary);
      if (!last_delivered && hosts.primary != hosts.secondary) last_delivered = deliver_via(hosts.secondary);
    } else {
      // The domain's exchanger is only the fallback for a configured server,
      // so it is looked up only once the server has failed: a slow resolver
      // then costs nothing while the server takes the mail.
      last_delivered = deliver_via(server);
      if (!last_delivered) {
        const MxHosts hosts = ChooseCandidates(server, options.lookup(recipient));
        if (hosts.primary != hosts.secondary) last_delivered = deliver_via(hosts.secondary);
      }
    }
    if (!last_delivered && options.failures != nullptr) {
      note.recipient = recipient;
      options.failures->push_back(note);
    }
  }
  return std::string(last_delivered ? kAccepted : kRefused);
}

std::string sendMail(const FormRequest& request, const std::string& server,
                     const std::string& firstLocalAddress, const std::string& secondLocalAddress,
                     const std::string& fromAddress, const TextList& recipients, const std::string& fromName,
                     std::string subject, std::string textBody, std::string htmlBody, bool highPriority,
                     const MailExtras& extras) {
  SubstitutePlaceholders(request, subject, Target::PlainText);
  MessageParts parts;
  parts.fromName = fromName;
  parts.fromAddress = fromAddress;
  parts.recipients = recipients;
  parts.subject = std::move(subject);
  parts.date = request.date;
  parts.textBody = std::move(textBody);
  parts.htmlBody = std::move(htmlBody);
  parts.highPriority = highPriority;
  parts.replyTo = extras.reply_to;
  parts.charset = request.charset;
  if (extras.inbox_ready) {
    const std::string fallback = extras.greeting_name.empty() ? "localhost.invalid" : extras.greeting_name;
    parts.messageId =
        MakeMessageId(extras.now, platform::CurrentProcessId(), RandomNumber(), fromAddress, fallback);
  }
  std::optional<std::string> message = SignedMessage(BuildMessageText(std::move(parts)), extras);
  if (!message) return std::string(kRefused);
  if (extras.transport != nullptr && extras.transport->transport == Transport::kSendmail) {
    return DeliverBySendmail(*message, fromAddress, recipients, extras);
  }
  DeliveryOptions options = OptionsFor(extras.transport);
  if (extras.inbox_ready) options.session.helo = extras.greeting_name;
  options.failures = extras.failures;
  options.deadline = extras.deadline;
  const bool own_host = extras.transport != nullptr && !extras.transport->host.empty();
  return DeliverMessage(std::move(*message), own_host ? extras.transport->host : server, firstLocalAddress,
                        secondLocalAddress, fromAddress, recipients, options);
}

}  // namespace quillo
