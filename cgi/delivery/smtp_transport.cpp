// The SMTP transport; see smtp_transport.h.
#include "delivery/smtp_transport.h"

#include <algorithm>

namespace quillo {
namespace {

// What the client says of its failure with host. Permanent: the server
// refused with 5xx, or the host name does not exist; everything else (4xx,
// a network that failed, TLS, time) may pass.
DeliveryNote NoteOf(const SmtpClient& client, const std::string& host) {
  const bool permanent = client.lastCode() >= 500 || client.lastError() == platform::NetError::kNotFound ||
                         client.messageTooLarge();
  std::string error(platform::NetErrorName(client.lastError()));
  if (client.messageTooLarge()) error = kMessageTooLarge;
  return {client.step(), host, client.lastReply(), {}, client.lastCode(), std::move(error), permanent};
}

void ConfigureClient(SmtpClient& client, const SmtpRoute& route) {
  client.setReplyTimeoutMs(route.replyTimeoutMs);
  client.setConnectTimeoutMs(route.connectTimeoutMs);
  client.setSession(route.session);
  client.setDeadline(route.deadline);
  client.setTranscript(route.transcript);
}

// One host: connect from the first local address, else from the second,
// then one transaction. The client says QUIT when it goes out of scope.
bool DeliverVia(const std::string& host, const SmtpRoute& route, const MailEnvelope& envelope,
                DeliveryNote& note) {
  SmtpClient client;
  ConfigureClient(client, route);
  // A site's own transport connects once, from wherever the system routes:
  // a refused password or certificate is no better from another address.
  // Otherwise from the first local address, then the second; when neither
  // can carry the connection at all, from wherever the system routes.
  bool connected = false;
  if (route.session.extended) {
    connected = client.connect(host, route.port, std::string());
  } else {
    bool any_usable = false;
    for (const std::string* local : {&route.firstLocalAddress, &route.secondLocalAddress}) {
      connected = client.connect(host, route.port, *local);
      any_usable = any_usable || !client.localAddressUnusable();
      if (connected) break;
    }
    if (!connected && !any_usable) connected = client.connect(host, route.port, std::string());
  }
  if (!connected) {
    note = NoteOf(client, host);
    return false;
  }
  const bool sent = client.sendMessage(envelope);
  if (!sent) note = NoteOf(client, host);
  client.quit();
  return sent;
}

// Whether a server said something: its reply tells more than a connection
// that failed or a host tried after it.
bool HasServerReply(const DeliveryNote& note) { return note.code != 0; }

// Out of time: the mail may go once there is time again.
DeliveryNote OutOfTime(const std::string& host) {
  return {"deadline", host, "the delivery's time is spent", {}, 0, "timeout", false};
}

}  // namespace

void RelaySession::Close() {
  if (client) client->quit();
  client.reset();
}

// One transaction for every recipient on the relay's session: the one the
// run's last mail left open when it takes an RSET, else a new one; left
// open in the plan's RelaySession for the run's next mail.
MailResult SmtpTransport::DeliverToRelay(std::string text, const std::string& sender,
                                         const TextList& recipients) {
  MailResult result;
  const std::string& host = route_.server;
  std::unique_ptr<SmtpClient> client;
  if (route_.relay && route_.relay->client && route_.relay->client->resetTransaction())
    client = std::move(route_.relay->client);
  if (route_.relay) route_.relay->Close();
  const auto all_undelivered = [&](const DeliveryNote& note) {
    for (const std::string& recipient : recipients) {
      result.undelivered.push_back(note);
      result.undelivered.back().recipient = recipient;
    }
    result.answer = std::string(recipients.empty() ? kAccepted : kRefused);
    return result;
  };
  if (route_.deadline && std::chrono::steady_clock::now() >= *route_.deadline)
    return all_undelivered(OutOfTime(host));
  if (!client) {
    client = std::make_unique<SmtpClient>();
    ConfigureClient(*client, route_);
    if (!client->connect(host, route_.port, std::string())) return all_undelivered(NoteOf(*client, host));
  }
  std::vector<SmtpClient::RecipientRefusal> refused;
  MailEnvelope envelope{sender, recipients, std::move(text)};
  const bool sent = client->sendMessageToEach(envelope, refused);
  if (!sent && refused.size() < recipients.size()) {
    // No recipient has the mail: each gets the note of the step that failed,
    // or of its own refusal.
    DeliveryNote failed = NoteOf(*client, host);
    for (const std::string& recipient : recipients) {
      const auto own =
          std::find_if(refused.begin(), refused.end(),
                       [&](const SmtpClient::RecipientRefusal& r) { return r.recipient == recipient; });
      DeliveryNote note = failed;
      if (own != refused.end()) note = {"RCPT", host, own->reply, recipient, own->code, {}, own->code >= 500};
      note.recipient = recipient;
      result.undelivered.push_back(std::move(note));
    }
    client->quit();
    result.answer = std::string(kRefused);
    return result;
  }
  for (const SmtpClient::RecipientRefusal& r : refused)
    result.undelivered.push_back({"RCPT", host, r.reply, r.recipient, r.code, {}, r.code >= 500});
  const bool last_refused = !refused.empty() && refused.back().recipient == recipients.back();
  result.answer = std::string(sent && !last_refused ? kAccepted : kRefused);
  if (route_.relay && client->connected()) {
    route_.relay->client = std::move(client);
  } else {
    client->quit();
  }
  return result;
}

MxHosts LookUpWithResolver(const std::string& recipient) {
  MxResolver resolver;
  MxHosts hosts;
  resolver.lookupMx(recipient, hosts.primary, hosts.secondary);
  return hosts;
}

SmtpRoute RouteFor(const DeliveryPlan& plan) {
  const DeliverySettings& settings = plan.settings;
  SmtpRoute route;
  route.server = plan.server;
  route.firstLocalAddress = plan.first_local_address;
  route.secondLocalAddress = plan.second_local_address;
  route.deadline = plan.deadline;
  route.transcript = plan.transcript;
  route.relay = plan.relay;
  if (settings.configured) {
    route.server = settings.host.empty() ? plan.server : settings.host;
    route.serverOnly = !settings.host.empty();
    route.port = settings.port;
    route.connectTimeoutMs = settings.connect_timeout_ms;
    route.replyTimeoutMs = settings.reply_timeout_ms;
    route.session = settings.session;
    route.session.extended = true;
  }
  if (plan.inbox_ready) route.session.helo = plan.greeting_name;
  return route;
}

MailResult SmtpTransport::Deliver(std::string text, const std::string& sender, const TextList& recipients) {
  if (route_.serverOnly && route_.relay) return DeliverToRelay(std::move(text), sender, recipients);
  MailResult result;
  bool last_delivered = true;
  MailEnvelope envelope{sender, {}, std::move(text)};
  bool out_of_time = false;
  // The note of the attempt that decided: the first host that refused with
  // a reply, or else the last attempt.
  DeliveryNote note;
  const auto keep = [&](DeliveryNote attempt) {
    if (!HasServerReply(note)) note = std::move(attempt);
  };
  const auto deliver_via = [&](const std::string& host) {
    out_of_time = out_of_time || (route_.deadline && std::chrono::steady_clock::now() >= *route_.deadline);
    if (out_of_time) {
      keep(OutOfTime(host));
      return false;
    }
    DeliveryNote attempt;
    const bool delivered = DeliverVia(host, route_, envelope, attempt);
    if (!delivered) keep(std::move(attempt));
    return delivered;
  };
  for (const std::string& recipient : recipients) {
    envelope.recipients = {recipient};
    note = {};
    if (out_of_time) {
      last_delivered = false;
      note = OutOfTime({});
    } else if (route_.serverOnly) {
      last_delivered = deliver_via(route_.server);
    } else if (route_.server.empty()) {
      const MxHosts hosts = route_.lookup(recipient);
      last_delivered = deliver_via(hosts.primary);
      if (!last_delivered && hosts.primary != hosts.secondary) last_delivered = deliver_via(hosts.secondary);
    } else {
      // The domain's exchanger is only the fallback for a configured server,
      // so it is looked up only once the server has failed: a slow resolver
      // then costs nothing while the server takes the mail.
      last_delivered = deliver_via(route_.server);
      if (!last_delivered) {
        const MxHosts hosts = ChooseCandidates(route_.server, route_.lookup(recipient));
        if (hosts.primary != hosts.secondary) last_delivered = deliver_via(hosts.secondary);
      }
    }
    if (!last_delivered) {
      note.recipient = recipient;
      result.undelivered.push_back(note);
    }
  }
  result.answer = last_delivered ? kAccepted : kRefused;
  return result;
}

}  // namespace quillo
