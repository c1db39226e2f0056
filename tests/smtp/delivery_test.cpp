// The delivery loop over a finished message: candidate order, fall-backs,
// the answer of the last recipient. Host lookups are given by the test;
// scripted peers listen on 127.0.0.170 to 127.0.0.188, and nobody listens
// on 127.0.0.189, so connections there are refused at once.
#include <gtest/gtest.h>

#include <map>

#include "platform/net.h"
#include "scripted_peer.h"
#include "smtp/send_mail.h"

namespace quillo {
namespace {

using namespace quillo::testing;

const std::string kNobody = "127.0.0.189";
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

DeliveryOptions Lookup(std::map<std::string, MxHosts> hosts) {
  DeliveryOptions options;
  options.replyTimeoutMs = kTestTimeoutMs;
  options.lookup = [hosts](const std::string& recipient) {
    const auto found = hosts.find(recipient);
    return found == hosts.end() ? MxHosts{} : found->second;
  };
  return options;
}

std::string Deliver(const std::string& server, const TextList& recipients, const DeliveryOptions& options) {
  return DeliverMessage(kText, server, "", "", "f@example.test", recipients, options);
}

TEST(DeliverMessage, TheAnswerIsTheLastRecipientsResult) {
  ScriptedPeer good("127.0.0.170", Accepting());
  const auto options = Lookup({{"x@one.test", {kNobody, kNobody}},
                               {"y@two.test", {kNobody, kNobody}},
                               {"z@three.test", {"127.0.0.170", "127.0.0.170"}}});
  EXPECT_EQ(Deliver("", {"x@one.test", "y@two.test", "z@three.test"}, options), "OK");
  EXPECT_EQ(good.Finish(), std::vector<std::string>{Accepted("z@three.test")});

  ScriptedPeer again("127.0.0.171", Accepting());
  const auto last_fails =
      Lookup({{"x@one.test", {"127.0.0.171", "127.0.0.171"}}, {"y@two.test", {kNobody, kNobody}}});
  EXPECT_EQ(Deliver("", {"x@one.test", "y@two.test"}, last_fails), "NO");
  EXPECT_EQ(again.Finish(), std::vector<std::string>{Accepted("x@one.test")});
}

TEST(DeliverMessage, NoRecipientsMeansNothingToDoAndOk) {
  bool asked = false;
  DeliveryOptions options;
  options.lookup = [&](const std::string&) {
    asked = true;
    return MxHosts{};
  };
  EXPECT_EQ(Deliver("127.0.0.172", {}, options), "OK");
  EXPECT_FALSE(asked);
}

TEST(DeliverMessage, ARefusingServerFallsBackToTheDomainsBestExchanger) {
  ScriptedPeer exchanger("127.0.0.173", Accepting());
  const auto options = Lookup({{"u@dom.test", {"127.0.0.173", "127.0.0.188"}}});
  EXPECT_EQ(Deliver(kNobody, {"u@dom.test"}, options), "OK");
  EXPECT_EQ(exchanger.Finish(), std::vector<std::string>{Accepted("u@dom.test")});
}

TEST(DeliverMessage, TheSecondHostIsTriedOnlyWhenItDiffers) {
  // Same name twice: one client, its two connection attempts, nothing more.
  ScriptedPeer refusing("127.0.0.174", Refusing());
  const auto same = Lookup({{"u@dom.test", {"127.0.0.174", "127.0.0.174"}}});
  EXPECT_EQ(Deliver("", {"u@dom.test"}, same), "NO");
  EXPECT_EQ(refusing.Finish().size(), 2u);

  // Different names: the second host gets the message.
  ScriptedPeer first("127.0.0.175", Refusing());
  ScriptedPeer second("127.0.0.176", Accepting());
  const auto differ = Lookup({{"u@dom.test", {"127.0.0.175", "127.0.0.176"}}});
  EXPECT_EQ(Deliver("", {"u@dom.test"}, differ), "OK");
  EXPECT_EQ(first.Finish().size(), 2u);
  EXPECT_EQ(second.Finish(), std::vector<std::string>{Accepted("u@dom.test")});
}

TEST(DeliverMessage, EveryRecipientGetsItsOwnTransactionWithTheSameText) {
  ScriptedPeer first("127.0.0.177", Accepting());
  ScriptedPeer second("127.0.0.178", Accepting());
  const auto options = Lookup(
      {{"a@one.test", {"127.0.0.177", "127.0.0.177"}}, {"b@two.test", {"127.0.0.178", "127.0.0.178"}}});
  EXPECT_EQ(Deliver("", {"a@one.test", "b@two.test"}, options), "OK");
  EXPECT_EQ(first.Finish(), std::vector<std::string>{Accepted("a@one.test")});
  EXPECT_EQ(second.Finish(), std::vector<std::string>{Accepted("b@two.test")});
}

TEST(DeliverMessage, AServerThatNeverAnswersEndsInNoAfterTheTimeOut) {
  ScriptedPeer silent("127.0.0.179", {});
  DeliveryOptions options = Lookup({});
  options.replyTimeoutMs = 200;
  EXPECT_EQ(Deliver("127.0.0.179", {"u@nowhere.test"}, options), "NO");
  // Both local addresses were tried; the empty looked-up host is not.
  EXPECT_EQ(silent.Finish(), (std::vector<std::string>{"QUIT\r\n", "QUIT\r\n"}));
}

}  // namespace
}  // namespace quillo
