// Message sending; see send_mail.h.
#include "delivery/send_mail.h"

#include <cstdio>

#include "core/keyed_hash.h"
#include "delivery/dkim.h"
#include "delivery/message.h"
#include "delivery/sendmail_transport.h"
#include "delivery/smtp_transport.h"
#include "platform/process.h"
#include "smtp/wire.h"

namespace quillo {
namespace {

// With the site's DKIM key, the message as its lines go out, signed.
// Nothing when the key does not sign: mail the site meant to sign does not
// go out unsigned.
std::optional<std::string> SignedMessage(std::string message, const DeliveryPlan& plan,
                                         std::vector<DeliveryNote>& notes) {
  const DeliverySettings& settings = plan.settings;
  if (settings.dkim.private_key_pem.empty()) return message;
  std::string lines = NormalizeDataLines(message);
  const auto signature = DkimSignatureHeader(lines, settings.dkim, plan.now);
  if (!signature) {
    notes.push_back({"DKIM", settings.dkim_key_file, "the key does not sign", {}, 0, {}, true});
    return std::nullopt;
  }
  return *signature + lines;
}

}  // namespace

std::unique_ptr<Transport> TransportFor(const DeliveryPlan& plan) {
  const DeliverySettings& settings = plan.settings;
  if (UsesSendmail(settings))
    return std::make_unique<SendmailTransport>(settings.sendmail_path, settings.reply_timeout_ms,
                                               plan.deadline);
  return std::make_unique<SmtpTransport>(RouteFor(plan));
}

MailResult sendMail(OutgoingMail mail, const DeliveryPlan& plan) {
  const std::string sender = mail.fromAddress;
  const TextList recipients = mail.recipients;
  std::string message_id;
  if (plan.inbox_ready) {
    const std::string fallback = plan.greeting_name.empty() ? "localhost.invalid" : plan.greeting_name;
    message_id = MakeMessageId(plan.now, platform::CurrentProcessId(), RandomNumber(), sender, fallback);
  }
  std::string boundary;
  if (!mail.attachments.empty()) {
    char drawn[24];  // 16 hex digits
    std::snprintf(drawn, sizeof drawn, "%016llx", static_cast<unsigned long long>(RandomNumber()));
    boundary = std::string("----=_QuilloFiles_") + drawn;
  }
  MessageParts parts{std::move(mail), std::move(message_id), std::move(boundary)};
  MailResult refused{std::string(kRefused), {}};
  std::optional<std::string> message =
      SignedMessage(BuildMessageText(std::move(parts)), plan, refused.undelivered);
  if (!message) return refused;
  if (plan.journal == nullptr) return TransportFor(plan)->Deliver(std::move(*message), sender, recipients);
  std::string why;
  if (!plan.journal->Record(*message, sender, recipients, why)) {
    refused.undelivered.push_back({"store", "", why, {}, 0, "store", false});
    return refused;
  }
  MailResult result = TransportFor(plan)->Deliver(std::move(*message), sender, recipients);
  plan.journal->Settle(result);
  return result;
}

}  // namespace quillo
