// Message sending; see send_mail.h.
#include "smtp/send_mail.h"

#include "content/placeholders.h"
#include "smtp/message.h"

namespace quillo {
namespace {

constexpr std::string_view kAccepted = "OK";
constexpr std::string_view kRefused = "NO";

// One host: connect from the first local address, else from the second,
// then one transaction. The client says QUIT when it goes out of scope.
bool DeliverVia(const std::string& host, const std::string& firstLocalAddress,
                const std::string& secondLocalAddress, const MailEnvelope& envelope,
                const DeliveryOptions& options) {
  SmtpClient client;
  client.setReplyTimeoutMs(options.replyTimeoutMs);
  if (!client.connect(host, options.port, firstLocalAddress) &&
      !client.connect(host, options.port, secondLocalAddress)) {
    if (options.failure != nullptr) *options.failure = {client.step(), host, client.lastReply()};
    return false;
  }
  const bool sent = client.sendMessage(envelope);
  if (!sent && options.failure != nullptr) *options.failure = {client.step(), host, client.lastReply()};
  client.quit();
  return sent;
}

}  // namespace

MxHosts LookUpWithResolver(const std::string& recipient) {
  MxResolver resolver;
  MxHosts hosts;
  resolver.lookupMx(recipient, hosts.primary, hosts.secondary);
  return hosts;
}

std::string DeliverMessage(std::string messageText, const std::string& server,
                           const std::string& firstLocalAddress, const std::string& secondLocalAddress,
                           const std::string& fromAddress, const TextList& recipients,
                           const DeliveryOptions& options) {
  bool last_delivered = true;
  MailEnvelope envelope{fromAddress, {}, std::move(messageText)};
  const auto deliver_via = [&](const std::string& host) {
    return DeliverVia(host, firstLocalAddress, secondLocalAddress, envelope, options);
  };
  for (const std::string& recipient : recipients) {
    envelope.recipients = {recipient};
    if (server.empty()) {
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
  std::string message = BuildMessageText(std::move(parts));
  DeliveryOptions options;
  options.failure = extras.failure;
  return DeliverMessage(std::move(message), server, firstLocalAddress, secondLocalAddress, fromAddress,
                        recipients, options);
}

}  // namespace quillo
