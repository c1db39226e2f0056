// The delivery loop over a finished message: candidate order, fall-backs,
// the answer of the last recipient. Host lookups are given by the test. The
// hosts are loopback addresses sharing one port, as mail hosts share port
// 25: the first peer's, which the system picks; nobody listens on kNobody.
#include <gtest/gtest.h>

#include <map>

#include "delivery/smtp_transport.h"
#include "platform/net.h"
#include "scripted_peer.h"

namespace quillo {
namespace {

using namespace quillo::testing;

const std::string kFirst = "127.0.0.1";
const std::string kSecond = "127.0.0.2";
const std::string kNobody = "127.0.0.9";
constexpr std::uint32_t kTestTimeoutMs = 3000;
const std::string kText = "Subject: t\r\n\r\nbody\n";

std::vector<PeerStep> Accepting() {
  return Conversation(
      {"220 ready\r\n", "250 hello\r\n", "250 ok\r\n", "250 ok\r\n", "354 go\r\n", "250 queued\r\n"});
}

std::vector<PeerStep> Refusing() { return Conversation({"554 no\r\n"}); }

std::string Accepted(const std::string& recipient) {
  return "HELO " + platform::LocalHostName() + "\r\n" + "MAIL FROM:<f@example.test>\r\n" + "RCPT TO:<" +
         recipient + ">\r\n" + "DATA\r\n" + "Subject: t\r\n\r\nbody\r\n" + "\r\n.\r\n" + "QUIT\r\n";
}

SmtpRoute Lookup(const ScriptedPeer& first, std::map<std::string, MxHosts> hosts) {
  SmtpRoute route;
  route.replyTimeoutMs = kTestTimeoutMs;
  route.port = first.port();
  route.lookup = [hosts](const std::string& recipient) {
    const auto found = hosts.find(recipient);
    return found == hosts.end() ? MxHosts{} : found->second;
  };
  return route;
}

MailResult DeliverAll(const std::string& server, const TextList& recipients, SmtpRoute route) {
  if (!route.serverOnly) route.server = server;
  return SmtpTransport(std::move(route)).Deliver(kText, "f@example.test", recipients);
}

std::string Deliver(const std::string& server, const TextList& recipients, const SmtpRoute& route) {
  return DeliverAll(server, recipients, route).answer;
}

TEST(SmtpTransport, TheAnswerIsTheLastRecipientsResult) {
  ScriptedPeer good(Accepting());
  const auto options = Lookup(good, {{"x@one.test", {kNobody, kNobody}},
                                     {"y@two.test", {kNobody, kNobody}},
                                     {"z@three.test", {kFirst, kFirst}}});
  EXPECT_EQ(Deliver("", {"x@one.test", "y@two.test", "z@three.test"}, options), "OK");
  EXPECT_EQ(good.Finish(), std::vector<std::string>{Accepted("z@three.test")});

  ScriptedPeer again(Accepting());
  const auto last_fails =
      Lookup(again, {{"x@one.test", {kFirst, kFirst}}, {"y@two.test", {kNobody, kNobody}}});
  EXPECT_EQ(Deliver("", {"x@one.test", "y@two.test"}, last_fails), "NO");
  EXPECT_EQ(again.Finish(), std::vector<std::string>{Accepted("x@one.test")});
}

TEST(SmtpTransport, NoRecipientsMeansNothingToDoAndOk) {
  bool asked = false;
  SmtpRoute options;
  options.lookup = [&](const std::string&) {
    asked = true;
    return MxHosts{};
  };
  EXPECT_EQ(Deliver(kNobody, {}, options), "OK");
  EXPECT_FALSE(asked);
}

// The exchanger is the fallback for a configured server, and it is looked up
// only when the server has failed.
TEST(SmtpTransport, ARefusingServerFallsBackToTheDomainsBestExchanger) {
  ScriptedPeer exchanger(Accepting());
  int lookups = 0;
  auto options = Lookup(exchanger, {{"u@dom.test", {kFirst, kSecond}}});
  const HostLookup look_up = options.lookup;
  options.lookup = [&](const std::string& recipient) {
    ++lookups;
    return look_up(recipient);
  };
  EXPECT_EQ(Deliver(kNobody, {"u@dom.test"}, options), "OK");
  EXPECT_EQ(exchanger.Finish(), std::vector<std::string>{Accepted("u@dom.test")});
  EXPECT_EQ(lookups, 1);

  ScriptedPeer server(Accepting());
  options.port = server.port();
  EXPECT_EQ(Deliver(kFirst, {"a@dom.test", "b@dom.test"}, options), "OK");
  EXPECT_EQ(server.Finish(), (std::vector<std::string>{Accepted("a@dom.test"), Accepted("b@dom.test")}));
  EXPECT_EQ(lookups, 1);
}

// The log names the server that refused, not the fallback tried after it.
TEST(SmtpTransport, TheNoteIsTheRefusalThatDecidedNotTheAttemptAfterIt) {
  ScriptedPeer server(
      Conversation({"220 ready\r\n", "250 hello\r\n", "250 ok\r\n", "550 5.1.1 User unknown\r\n"}));
  const MailResult result = DeliverAll(kFirst, {"u@nowhere.test"}, Lookup(server, {}));
  EXPECT_EQ(result.answer, "NO");
  server.Finish();
  const std::vector<DeliveryNote>& failures = result.undelivered;
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(failures[0].step, "RCPT");
  EXPECT_EQ(failures[0].host, kFirst);
  EXPECT_EQ(failures[0].reply, "550 5.1.1 User unknown");
}

// Local addresses that cannot carry the connection (here on no interface,
// as 127.0.1.1 of Debian's host name is not on a network card) are passed
// over, and the system routes the connection itself.
TEST(SmtpTransport, LocalAddressesThatCannotConnectAreSkipped) {
  ScriptedPeer server(Accepting());
  SmtpRoute route = Lookup(server, {});
  route.firstLocalAddress = "192.0.2.1";
  route.secondLocalAddress = "198.51.100.1";
  EXPECT_EQ(Deliver(kFirst, {"u@x.test"}, route), "OK");
  EXPECT_EQ(server.Finish(), std::vector<std::string>{Accepted("u@x.test")});
}

TEST(SmtpTransport, TheSecondHostIsTriedOnlyWhenItDiffers) {
  // Same name twice: one client, its two connection attempts, nothing more.
  ScriptedPeer refusing(Refusing());
  const auto same = Lookup(refusing, {{"u@dom.test", {kFirst, kFirst}}});
  EXPECT_EQ(Deliver("", {"u@dom.test"}, same), "NO");
  EXPECT_EQ(refusing.Finish().size(), 2u);

  // Different names: the second host gets the message.
  ScriptedPeer first(Refusing());
  ScriptedPeer second(kSecond, first.port(), Accepting());
  const auto differ = Lookup(first, {{"u@dom.test", {kFirst, kSecond}}});
  EXPECT_EQ(Deliver("", {"u@dom.test"}, differ), "OK");
  EXPECT_EQ(first.Finish().size(), 2u);
  EXPECT_EQ(second.Finish(), std::vector<std::string>{Accepted("u@dom.test")});
}

TEST(SmtpTransport, EveryRecipientGetsItsOwnTransactionWithTheSameText) {
  ScriptedPeer first(Accepting());
  ScriptedPeer second(kSecond, first.port(), Accepting());
  const auto options = Lookup(first, {{"a@one.test", {kFirst, kFirst}}, {"b@two.test", {kSecond, kSecond}}});
  EXPECT_EQ(Deliver("", {"a@one.test", "b@two.test"}, options), "OK");
  EXPECT_EQ(first.Finish(), std::vector<std::string>{Accepted("a@one.test")});
  EXPECT_EQ(second.Finish(), std::vector<std::string>{Accepted("b@two.test")});
}

TEST(SmtpTransport, AServerThatNeverAnswersEndsInNoAfterTheTimeOut) {
  ScriptedPeer silent({});
  SmtpRoute options = Lookup(silent, {});
  options.replyTimeoutMs = 200;
  EXPECT_EQ(Deliver(kFirst, {"u@nowhere.test"}, options), "NO");
  // Both local addresses were tried; the empty looked-up host is not.
  EXPECT_EQ(silent.Finish(), (std::vector<std::string>{"QUIT\r\n", "QUIT\r\n"}));
}

}  // namespace
}  // namespace quillo

namespace quillo {
namespace {

// A site's session on a plain connection the site allows AUTH on: EHLO,
// AUTH LOGIN in its three round trips, the transaction; and where EHLO is
// refused, HELO, after which no AUTH can be offered: a note for the log.
TEST(SmtpTransport, ASitesSessionSpeaksEhloAndAuthAndNotesWhereItStopped) {
  ScriptedPeer peer(Conversation({"220 ready\r\n", "250-mail.test\r\n250 AUTH LOGIN\r\n",
                                  "334 VXNlcm5hbWU6\r\n", "334 UGFzc3dvcmQ6\r\n", "235 ok\r\n", "250 ok\r\n",
                                  "250 ok\r\n", "354 go\r\n", "250 queued\r\n"}));
  DeliveryPlan plan;
  plan.settings.configured = true;
  plan.settings.session.user = "forms";
  plan.settings.session.password = "s3cret";
  plan.settings.session.allow_plaintext_auth = true;
  plan.settings.host = kFirst;
  plan.inbox_ready = true;
  plan.greeting_name = "www.example.test";
  SmtpRoute options = RouteFor(plan);
  options.port = peer.port();
  options.replyTimeoutMs = kTestTimeoutMs;
  MailResult result = DeliverAll(kFirst, {"a@example.test"}, options);
  EXPECT_EQ(result.answer, "OK");
  EXPECT_EQ(peer.Finish(),
            std::vector<std::string>{"EHLO www.example.test\r\nAUTH LOGIN\r\nZm9ybXM=\r\n"
                                     "czNjcmV0\r\nMAIL FROM:<f@example.test>\r\n"
                                     "RCPT TO:<a@example.test>\r\nDATA\r\nSubject: t\r\n\r\nbody\r\n"
                                     "\r\n.\r\nQUIT\r\n"});
  EXPECT_TRUE(result.undelivered.empty());

  ScriptedPeer old(Conversation({"220 ready\r\n", "502 EHLO? never heard of it\r\n", "250 hello\r\n"}));
  options.port = old.port();
  result = DeliverAll(kFirst, {"a@example.test"}, options);
  EXPECT_EQ(result.answer, "NO");
  const std::vector<DeliveryNote>& failures = result.undelivered;
  EXPECT_EQ(old.Finish(),
            std::vector<std::string>{"EHLO www.example.test\r\nHELO www.example.test\r\nQUIT\r\n"});
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(failures[0].step, "AUTH");
  EXPECT_EQ(failures[0].host, kFirst);
  EXPECT_EQ(failures[0].reply, "the server offers no AUTH PLAIN or LOGIN");
  EXPECT_EQ(failures[0].recipient, "a@example.test");
}

}  // namespace
}  // namespace quillo
