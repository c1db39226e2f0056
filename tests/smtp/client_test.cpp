// The SMTP client against scripted peers on loopback, each on a port of its
// own: the whole byte stream the client writes is compared.
#include <gtest/gtest.h>

#include <chrono>

#include "platform/net.h"
#include "scripted_peer.h"
#include "smtp/smtp_client.h"
#include "smtp/wire.h"

namespace quillo {
namespace {

using namespace quillo::testing;
using Clock = std::chrono::steady_clock;

// Short enough to keep the suite quick, long enough for a loaded machine.
constexpr std::uint32_t kTestTimeoutMs = 3000;

std::string Helo() { return "HELO " + platform::LocalHostName() + "\r\n"; }

MailEnvelope Envelope(std::string text = "Subject: t\r\n\r\nbody\n") {
  return MailEnvelope{"from@example.test", {"to@example.test"}, std::move(text)};
}

const std::vector<std::string> kAllGood = {"220 ready\r\n",   "250 hello\r\n",    "250 sender ok\r\n",
                                           "250 rcpt ok\r\n", "354 go ahead\r\n", "250 queued\r\n"};

// Runs connect, sendMessage and quit against a peer; returns whether the
// message was accepted and what the peer received.
struct Outcome {
  bool connected = false;
  bool sent = false;
  std::vector<std::string> received;
  Clock::duration elapsed{};  // the client's part, connect through quit
};

Outcome Deliver(std::vector<PeerStep> script, const MailEnvelope& envelope,
                std::uint32_t timeout_ms = kTestTimeoutMs) {
  ScriptedPeer peer(std::move(script));
  Outcome outcome;
  const auto start = Clock::now();
  {
    SmtpClient client;
    client.setReplyTimeoutMs(timeout_ms);
    outcome.connected = client.connect(peer.address(), peer.port(), "");
    if (outcome.connected) outcome.sent = client.sendMessage(envelope);
    client.quit();
  }
  outcome.elapsed = Clock::now() - start;
  outcome.received = peer.Finish();
  return outcome;
}

const std::string kTranscript =
    "MAIL FROM:<from@example.test>\r\n"
    "RCPT TO:<to@example.test>\r\n"
    "DATA\r\n"
    "Subject: t\r\n\r\nbody\r\n"
    "\r\n.\r\n"
    "QUIT\r\n";

TEST(SmtpClient, CompletesATransactionByteForByte) {
  const Outcome outcome = Deliver(Conversation(kAllGood), Envelope());
  EXPECT_TRUE(outcome.connected);
  EXPECT_TRUE(outcome.sent);
  EXPECT_EQ(outcome.received, std::vector<std::string>{Helo() + kTranscript});
}

TEST(SmtpClient, SendsEveryRecipientInOrderAndTheDataLinesWithCrLf) {
  std::vector<std::string> replies = kAllGood;
  replies.insert(replies.begin() + 3, "250 rcpt ok\r\n");
  const MailEnvelope envelope{"s@example.test", {"one@example.test", "two@example.test"}, "a\n..b\n\n"};
  const Outcome outcome = Deliver(Conversation(replies), envelope);
  EXPECT_TRUE(outcome.sent);
  EXPECT_EQ(outcome.received, std::vector<std::string>{Helo() + "MAIL FROM:<s@example.test>\r\n"
                                                                "RCPT TO:<one@example.test>\r\n"
                                                                "RCPT TO:<two@example.test>\r\n"
                                                                "DATA\r\n"
                                                                "a\r\n...b\r\n\r\n"
                                                                "\r\n.\r\n"
                                                                "QUIT\r\n"});
}

// A message far larger than one piece of formatting goes out byte for byte
// as the whole text formatted at once, lines that start with "." included
// wherever the pieces meet.
TEST(SmtpClient, ALargeMessageGoesOutAsTheWholeTextFormatted) {
  std::string text;
  for (int i = 0; text.size() < 300 * 1024; ++i) text += i % 3 ? "line " + std::to_string(i) + "\r\n" : ".\n";
  text += "no line end";
  const Outcome outcome = Deliver(Conversation(kAllGood), Envelope(text));
  EXPECT_TRUE(outcome.sent);
  EXPECT_EQ(outcome.received, std::vector<std::string>{Helo() +
                                                       "MAIL FROM:<from@example.test>\r\n"
                                                       "RCPT TO:<to@example.test>\r\n"
                                                       "DATA\r\n" +
                                                       FormatDataLines(text) + "\r\n.\r\nQUIT\r\n"});
}

TEST(SmtpClient, ReadsMultiLineRepliesWholeEvenWhenTheirLinesArriveApart) {
  const std::vector<PeerStep> script = {Send("220-first greeting line\r\n"),
                                        Pause(100),
                                        Send("220 second\r\n"),
                                        AwaitLine(),
                                        Send("250-hello\r\n250-SIZE 1000\r\n"),
                                        Pause(100),
                                        Send("250 HELP\r\n"),
                                        AwaitLine(),
                                        Send("2"),
                                        Pause(50),
                                        Send("50 o"),
                                        Pause(50),
                                        Send("k\r\n"),
                                        AwaitLine(),
                                        Send("250 rcpt ok\r\n"),
                                        AwaitLine(),
                                        Send("354 go ahead\r\n"),
                                        AwaitData(),
                                        Send("250-queued\r\n250 as 42\r\n")};
  const Outcome outcome = Deliver(script, Envelope());
  EXPECT_TRUE(outcome.connected);
  EXPECT_TRUE(outcome.sent);
  EXPECT_EQ(outcome.received, std::vector<std::string>{Helo() + kTranscript});
}

TEST(SmtpClient, AcceptsAForwardingRecipient) {
  std::vector<std::string> replies = kAllGood;
  replies[3] = "251 User not local; will forward\r\n";
  const Outcome outcome = Deliver(Conversation(replies), Envelope());
  EXPECT_TRUE(outcome.sent);
}

// Replies a server should not send but whose meaning is plain: each still
// carries the transaction, byte for byte as well-formed ones do.
TEST(SmtpClient, RepliesReadLenientlyStillCarryTheTransaction) {
  struct LenientReply {
    std::size_t step;
    const char* reply;
  };
  const std::vector<LenientReply> cases = {
      {0, "220 ready\r\n554 unasked\r\n"},  // must not answer HELO
      {1, "250OK\r\n"},
      {2, "2500 sender ok\r\n"},
      {3, "250-rcpt ok\r\n550 a later line's code\r\n"},
      {4, "354 go ahead\n"},
  };
  for (const LenientReply& c : cases) {
    SCOPED_TRACE(c.reply);
    std::vector<std::string> replies = kAllGood;
    replies[c.step] = c.reply;
    const Outcome outcome = Deliver(Conversation(replies), Envelope());
    EXPECT_TRUE(outcome.connected);
    EXPECT_TRUE(outcome.sent);
    EXPECT_EQ(outcome.received, std::vector<std::string>{Helo() + kTranscript});
  }
}

// Each step answered with a code other than the one it needs: the step fails,
// nothing further of the transaction is sent, and QUIT ends the session.
TEST(SmtpClient, EveryWrongReplyCodeFailsItsStep) {
  struct WrongReply {
    std::size_t step;
    const char* reply;
    std::string sent_before_quit;
  };
  const std::string mail = "MAIL FROM:<from@example.test>\r\n";
  const std::string rcpt = "RCPT TO:<to@example.test>\r\n";
  const std::string data = "DATA\r\n";
  const std::string text = "Subject: t\r\n\r\nbody\r\n\r\n.\r\n";
  const std::vector<WrongReply> cases = {
      {0, "554 no service\r\n", ""},
      {0, "421 busy\r\n", ""},
      {1, "501 bad name\r\n", Helo()},
      {1, "220 again\r\n", Helo()},
      {2, "550 sender refused\r\n", Helo() + mail},
      {2, "451 try later\r\n", Helo() + mail},
      {3, "550 no such user\r\n", Helo() + mail + rcpt},
      {3, "252 cannot verify\r\n", Helo() + mail + rcpt},
      {4, "250 not 354\r\n", Helo() + mail + rcpt + data},
      {4, "503 bad sequence\r\n", Helo() + mail + rcpt + data},
      {5, "552 too big\r\n", Helo() + mail + rcpt + data + text},
      {5, "451 local error\r\n", Helo() + mail + rcpt + data + text},
  };
  for (const WrongReply& c : cases) {
    SCOPED_TRACE(c.reply);
    std::vector<std::string> replies(kAllGood.begin(), kAllGood.begin() + static_cast<long>(c.step));
    replies.push_back(c.reply);
    const Outcome outcome = Deliver(Conversation(replies), Envelope());
    EXPECT_EQ(outcome.connected, c.step >= 2);
    EXPECT_FALSE(outcome.sent);
    EXPECT_EQ(outcome.received, std::vector<std::string>{c.sent_before_quit + "QUIT\r\n"});
  }
}

TEST(SmtpClient, GarbageRepliesFailTheStep) {
  for (const char* garbage : {"hello there\r\n", "25O ok\r\n", "25\r\n"}) {
    SCOPED_TRACE(garbage);
    std::vector<std::string> replies(kAllGood.begin(), kAllGood.begin() + 3);
    replies.push_back(garbage);
    const Outcome outcome = Deliver(Conversation(replies), Envelope());
    EXPECT_FALSE(outcome.sent);
  }
  std::vector<PeerStep> endless = Conversation({"220 ready\r\n"});
  endless.push_back(AwaitLine());
  endless.push_back(Send("250 " + std::string(kMaxReplyBytes + 10, 'x')));
  EXPECT_FALSE(Deliver(endless, Envelope()).connected);
}

TEST(SmtpClient, APeerThatHangsUpFailsTheStepAtOnce) {
  std::vector<PeerStep> script = Conversation({kAllGood.begin(), kAllGood.begin() + 3});
  script.push_back(AwaitLine());
  script.push_back(Close());
  const auto start = Clock::now();
  // A long time-out: the step must end because of the close, not the clock.
  const Outcome outcome = Deliver(script, Envelope(), 30000);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(15));
  EXPECT_TRUE(outcome.connected);
  EXPECT_FALSE(outcome.sent);

  std::vector<PeerStep> mid_reply = {Send("220-first\r\n"), Close()};
  EXPECT_FALSE(Deliver(mid_reply, Envelope(), 30000).connected);
}

// A reply that never ends: its lines a byte at a time, each byte well within
// the time-out, for eight times the time-out. A wait that started over with
// every byte would outlast the bound of kStallBound time-outs by far.
std::vector<PeerStep> Trickling(std::vector<PeerStep> script, const std::string& line,
                                std::uint32_t timeout_ms) {
  constexpr int kGapMs = 100;
  const std::size_t bytes = 8 * timeout_ms / kGapMs;
  for (std::size_t sent = 0; sent < bytes; ++sent) {
    script.push_back(Send(line.substr(sent % line.size(), 1)));
    script.push_back(Pause(kGapMs));
  }
  return script;
}

// A reply not whole within the time-out from the start of the wait fails its
// step, whether the peer is silent or keeps sending bytes of a reply that
// never ends.
TEST(SmtpClient, AReplyNotWholeWithinTheTimeOutFailsTheStep) {
  constexpr std::uint32_t kShortTimeoutMs = 700;
  // Loose enough for a loaded two-core machine and wine, far below what a
  // wait without its bound would take.
  constexpr std::uint32_t kStallBound = 5;
  struct Stall {
    const char* what;
    std::vector<PeerStep> script;
    bool connected;
    std::vector<std::string> received;
  };
  std::vector<PeerStep> after_data = Conversation({kAllGood.begin(), kAllGood.begin() + 5});
  after_data.push_back(AwaitData());
  std::vector<PeerStep> after_mail = Conversation({"220 ready\r\n", "250 hello\r\n"});
  after_mail.push_back(AwaitLine());
  const std::vector<Stall> cases = {
      {"silent greeting", {}, false, {"QUIT\r\n"}},
      {"silent after the data", after_data, true, {Helo() + kTranscript}},
      // Busy trickling, the peer never reads what the client sends.
      {"trickled greeting", Trickling({}, "220-still coming\r\n", kShortTimeoutMs), false, {""}},
      {"trickled reply to MAIL",
       Trickling(after_mail, "250-still coming\r\n", kShortTimeoutMs),
       true,
       {Helo() + "MAIL FROM:<from@example.test>\r\n"}},
  };
  for (const Stall& c : cases) {
    SCOPED_TRACE(c.what);
    const Outcome outcome = Deliver(c.script, Envelope(), kShortTimeoutMs);
    EXPECT_EQ(outcome.connected, c.connected);
    EXPECT_FALSE(outcome.sent);
    EXPECT_EQ(outcome.received, c.received);
    EXPECT_GE(outcome.elapsed, std::chrono::milliseconds(kShortTimeoutMs));
    EXPECT_LT(outcome.elapsed, std::chrono::milliseconds(kStallBound * kShortTimeoutMs));
  }
}

// The message is sent within the time-out too, however slowly the peer
// takes it: one that stops reading after DATA costs the message's send and
// the QUIT's, a time-out each, well before the peer reads again.
TEST(SmtpClient, APeerThatStopsReadingCannotHoldTheMessage) {
  constexpr std::uint32_t kShortTimeoutMs = 700;
  std::vector<PeerStep> script = Conversation({kAllGood.begin(), kAllGood.begin() + 5});
  script.push_back(Pause(8 * kShortTimeoutMs));
  const std::string huge(64 * 1024 * 1024, 'x');
  const Outcome outcome = Deliver(script, Envelope(huge), kShortTimeoutMs);
  EXPECT_TRUE(outcome.connected);
  EXPECT_FALSE(outcome.sent);
  EXPECT_LT(outcome.elapsed, std::chrono::milliseconds(6 * kShortTimeoutMs));
}

TEST(SmtpClient, LineBreaksInAddressesNeverMakeNewCommands) {
  const MailEnvelope envelope{
      "a@example.test>\r\nRCPT TO:<evil@example.test", {"to@example.test>\nDATA"}, "x\n"};
  const Outcome outcome = Deliver(Conversation(kAllGood), envelope);
  EXPECT_TRUE(outcome.sent);
  EXPECT_EQ(outcome.received,
            std::vector<std::string>{Helo() + "MAIL FROM:<a@example.test>  RCPT TO:<evil@example.test>\r\n"
                                              "RCPT TO:<to@example.test> DATA>\r\n"
                                              "DATA\r\n"
                                              "x\r\n"
                                              "\r\n.\r\n"
                                              "QUIT\r\n"});
}

TEST(SmtpClient, ConnectFailuresSendNothing) {
  SmtpClient client;
  EXPECT_FALSE(client.quit());  // never connected
  // Nobody listens on this port: the connection is refused.
  EXPECT_FALSE(client.connect("127.0.0.1", UnusedPort(), ""));
  EXPECT_EQ(client.lastError(), platform::NetError::kRefused);
  EXPECT_EQ(client.lastReply().rfind("no connection: ", 0), 0u) << client.lastReply();
  EXPECT_FALSE(client.connect("", UnusedPort(), ""));
  EXPECT_EQ(client.lastError(), platform::NetError::kNotFound);
  EXPECT_FALSE(client.sendMessage(Envelope()));
  EXPECT_FALSE(client.quit());
}

TEST(SmtpClient, AClosedClientMayConnectAgainAndBindsTheLocalAddress) {
  std::vector<PeerStep> script = Conversation({"554 go away\r\n"});
  ScriptedPeer peer(script);
  SmtpClient client;
  client.setReplyTimeoutMs(kTestTimeoutMs);
  EXPECT_FALSE(client.connect(peer.address(), peer.port(), "127.0.0.1"));
  EXPECT_FALSE(client.connect(peer.address(), peer.port(), ""));
  EXPECT_EQ(peer.Finish(), (std::vector<std::string>{"QUIT\r\n", "QUIT\r\n"}));
}

// EHLO as web.example.test, replies within the test's time-out.
void UseExtendedSession(SmtpClient& client) {
  client.setReplyTimeoutMs(kTestTimeoutMs);
  SessionOptions session;
  session.extended = true;
  session.helo = "web.example.test";
  client.setSession(session);
}

// What one server offered (here a SIZE the message exceeds) says nothing of
// the next server the same client connects to, which answers only HELO.
TEST(SmtpClient, AClientConnectingAgainForgetsWhatTheLastServerOffered) {
  ScriptedPeer offers(
      {Send("220 ready\r\n"), AwaitLine(), Send("250-small\r\n250 SIZE 10\r\n"), AwaitLine()});
  ScriptedPeer plain(Conversation({"220 ready\r\n", "502 no EHLO\r\n", "250 hello\r\n", "250 sender ok\r\n",
                                   "250 rcpt ok\r\n", "354 go ahead\r\n", "250 queued\r\n"}));
  SmtpClient client;
  UseExtendedSession(client);
  ASSERT_TRUE(client.connect(offers.address(), offers.port(), ""));
  client.quit();
  ASSERT_TRUE(client.connect(plain.address(), plain.port(), ""));
  std::vector<SmtpClient::RecipientRefusal> refused;
  EXPECT_TRUE(client.sendMessageToEach(Envelope(), refused)) << client.step() << ": " << client.lastReply();
  client.quit();
  EXPECT_EQ(plain.Finish(),
            std::vector<std::string>{"EHLO web.example.test\r\nHELO web.example.test\r\n" + kTranscript});
}

// A relay that offers PIPELINING gets MAIL and every RCPT before it answers
// any of them (the peer reads all three lines first: a client that waited
// for a reply would time out), and a recipient it refuses is still noted.
TEST(SmtpClient, ARelayOfferingPipeliningGetsEveryRecipientBeforeItAnswers) {
  ScriptedPeer peer({Send("220 ready\r\n"), AwaitLine(), Send("250-relay\r\n250 PIPELINING\r\n"), AwaitLine(),
                     AwaitLine(), AwaitLine(), Send("250 sender ok\r\n250 rcpt ok\r\n550 no such user\r\n"),
                     AwaitLine(), Send("354 go ahead\r\n"), AwaitData(), Send("250 queued\r\n"),
                     AwaitLine()});
  std::vector<SmtpClient::RecipientRefusal> refused;
  {
    SmtpClient client;
    UseExtendedSession(client);
    ASSERT_TRUE(client.connect(peer.address(), peer.port(), ""));
    const MailEnvelope envelope{
        "from@example.test", {"to@example.test", "gone@example.test"}, "Subject: t\n\nbody\n"};
    EXPECT_TRUE(client.sendMessageToEach(envelope, refused)) << client.step() << ": " << client.lastReply();
    client.quit();
  }
  ASSERT_EQ(refused.size(), 1u);
  EXPECT_EQ(refused[0].recipient, "gone@example.test");
  EXPECT_EQ(refused[0].code, 550);
  EXPECT_EQ(refused[0].reply, "550 no such user");
  EXPECT_EQ(peer.Finish(), std::vector<std::string>{"EHLO web.example.test\r\n"
                                                    "MAIL FROM:<from@example.test>\r\n"
                                                    "RCPT TO:<to@example.test>\r\n"
                                                    "RCPT TO:<gone@example.test>\r\n"
                                                    "DATA\r\n"
                                                    "Subject: t\r\n\r\nbody\r\n"
                                                    "\r\n.\r\n"
                                                    "QUIT\r\n"});
}

TEST(SmtpClient, DestroyingAConnectedClientSaysQuit) {
  ScriptedPeer peer(Conversation({"220 ready\r\n", "250 hello\r\n"}));
  {
    SmtpClient client;
    client.setReplyTimeoutMs(kTestTimeoutMs);
    EXPECT_TRUE(client.connect(peer.address(), peer.port(), ""));
  }
  EXPECT_EQ(peer.Finish(), std::vector<std::string>{Helo() + "QUIT\r\n"});
}

}  // namespace
}  // namespace quillo

namespace quillo {
namespace {

TEST(ParseEhloReply, ReadsStartTlsAndTheAuthMechanismsOfTheWholeReply) {
  const struct {
    const char* reply;
    bool starttls, plain, login, pipelining;
  } cases[] = {
      {"250-mail.example\r\n250-STARTTLS\r\n250 AUTH LOGIN PLAIN\r\n", true, true, true, false},
      {"250-mail.example\r\n250-auth=login\r\n250 HELP\r\n", false, false, true, false},
      {"250-mail.example\r\n250-AUTH CRAM-MD5 XPLAIN\r\n250 STARTTLSX\r\n", false, false, false, false},
      {"250 mail.example\r\n250-STARTTLS\r\n", false, false, false,
       false},  // after the last line: not asked for
      {"250 mail.example STARTTLS AUTH PLAIN\r\n", false, false, false, false},
      {"250-mail.example\r\n250-pipelining\r\n250 8BITMIME\r\n", false, false, false, true},
      {"250-mail.example\r\n250 PIPELININGX\r\n", false, false, false, false},
  };
  for (const auto& c : cases) {
    const Extensions offered = ParseEhloReply(c.reply);
    EXPECT_EQ(offered.starttls, c.starttls) << c.reply;
    EXPECT_EQ(offered.auth_plain, c.plain) << c.reply;
    EXPECT_EQ(offered.auth_login, c.login) << c.reply;
    EXPECT_EQ(offered.pipelining, c.pipelining) << c.reply;
  }
}

}  // namespace
}  // namespace quillo
