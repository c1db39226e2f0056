// The relay probe and the test mail; see mail_probe.h.
#include "admin/mail_probe.h"

#include "core/text.h"
#include "delivery/send_mail.h"
#include "delivery/smtp_transport.h"
#include "smtp/smtp_client.h"

namespace quillo {
namespace {

// "  EHLO      250-mail.example.com", a line for each line of the reply.
void PrintReply(const PrintLine& print, const std::string& step, const std::string& reply) {
  for (std::string_view line : Lines(reply)) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!line.empty())
      print("  " + step + std::string(step.size() < 12 ? 12 - step.size() : 1, ' ') + std::string(line));
  }
}

std::string Described(const DeliveryNote& note) {
  std::string text = note.step + " at " + note.host + ": " + note.reply;
  return text + (note.permanent ? " (permanent)" : " (temporary)");
}

}  // namespace

std::string RelayOf(const SiteSettings& site) {
  return site.delivery.configured && !site.delivery.host.empty() ? site.delivery.host : site.server;
}

DeliveryPlan PlanForSite(const SiteSettings& site, const std::string& greeting_name, std::time_t now,
                         const PrintLine& print) {
  DeliveryPlan plan;
  plan.server = RelayOf(site);
  plan.now = now;
  plan.inbox_ready = site.present;
  plan.greeting_name = site.delivery.helo.empty() ? greeting_name : site.delivery.helo;
  if (site.delivery.configured) plan.settings = site.delivery;
  plan.transcript = [print](const std::string& step, const std::string& reply) {
    PrintReply(print, step, reply);
  };
  return plan;
}

int ProbeRelay(const SiteSettings& site, const DeliveryPlan& plan, const PrintLine& print) {
  if (UsesSendmail(site.delivery)) {
    print("OK    mail goes to the local mail system (" + site.delivery.sendmail_path +
          "): nothing to connect to; quillo send-test tries it");
    return 0;
  }
  if (plan.server.empty()) {
    print(
        "WARN  the settings name no mail server: each form's QUILLO_SERVER, else the recipient's MX, "
        "decides");
    return 1;
  }
  const SmtpRoute route = RouteFor(plan);
  SmtpClient client;
  client.setSession(route.session);
  client.setConnectTimeoutMs(route.connectTimeoutMs);
  client.setReplyTimeoutMs(route.replyTimeoutMs);
  client.setTranscript(plan.transcript);
  const std::string where = plan.server + ":" + std::to_string(route.port);
  print("Connecting to " + where);
  const bool greeted = client.connect(plan.server, route.port, std::string());
  client.quit();
  if (!greeted) {
    print("FAIL  " + client.step() + " at " + where + ": " + client.lastReply());
    return 2;
  }
  std::string how = route.session.tls == TlsMode::kNone ? "no TLS" : "TLS, the certificate verified";
  if (!route.session.tls_verify && route.session.tls != TlsMode::kNone)
    how = "TLS, the certificate NOT verified";
  if (!route.session.user.empty()) how += ", AUTH accepted";
  print("OK    " + where + " greets the site (" + how + "); no mail was sent");
  return 0;
}

int SendTestMail(const SiteSettings& site, const DeliveryPlan& plan, const std::string& address,
                 const std::string& date, const PrintLine& print) {
  OutgoingMail mail;
  mail.fromAddress = site.sender.empty() ? address : site.sender;
  mail.recipients = {address};
  mail.subject = "quillo send-test";
  mail.date = date;
  mail.textBody = "This test mail went out the way quillopro.exe sends the site's form mail.\n";
  mail.charset = "utf-8";
  print("Sending a test mail to " + address + " from " + mail.fromAddress);
  const MailResult result = sendMail(std::move(mail), plan);
  if (result.accepted()) {
    print("OK    the mail was accepted");
    return 0;
  }
  for (const DeliveryNote& note : result.undelivered) print("FAIL  " + Described(note));
  if (result.undelivered.empty()) print("FAIL  the mail was not accepted");
  return 2;
}

}  // namespace quillo
