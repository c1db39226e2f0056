// The client's session rules over a scripted connection: the TLS upgrade,
// its refusals and AUTH, with the whole byte stream compared and the cause
// the client records for the log.
#include <gtest/gtest.h>

#include <memory>

#include "platform/connection.h"
#include "smtp/smtp_client.h"

namespace quillo {
namespace {

using platform::NetError;
using platform::NetStatus;

// What the scripted server saw: the client's bytes, "<TLS>" where the
// handshake began.
struct Seen {
  std::string transcript;
};

class ScriptedConnection final : public platform::Connection {
 public:
  ScriptedConnection(std::vector<std::string> replies, NetStatus handshake, std::shared_ptr<Seen> seen)
      : replies_(std::move(replies)), handshake_(std::move(handshake)), seen_(std::move(seen)) {}

  NetStatus Send(std::string_view bytes, std::uint32_t) override {
    seen_->transcript += bytes;
    return {};
  }
  NetStatus WaitReadable(std::uint32_t) override { return {}; }
  NetStatus Receive(std::string& bytes, std::size_t) override {
    if (next_ == replies_.size()) return {NetError::kClosed, "closed"};
    bytes += replies_[next_++];
    return {};
  }
  NetStatus StartTls(const platform::TlsOptions&, std::uint32_t) override {
    seen_->transcript += "<TLS>";
    encrypted_ = handshake_.ok();
    return handshake_;
  }
  bool Encrypted() const override { return encrypted_; }
  std::string LocalAddressLiteral() const override { return "[192.0.2.1]"; }

 private:
  std::vector<std::string> replies_;
  std::size_t next_ = 0;
  NetStatus handshake_;
  std::shared_ptr<Seen> seen_;
  bool encrypted_ = false;
};

TEST(SmtpSession, TlsAndAuthFollowTheSessionOverOneConnection) {
  const std::string ehlo = "EHLO web.example.test\r\n";
  const std::string starttls_offered = "250-mail.example.test\r\n250-STARTTLS\r\n250 AUTH PLAIN\r\n";
  const NetStatus bad_certificate{NetError::kCertificate, "certificate not accepted: hostname mismatch"};
  const struct {
    const char* what;
    TlsMode tls;
    std::string user;
    std::vector<std::string> replies;
    NetStatus handshake;
    bool greeted;
    std::string transcript, step, reply;
    int code;
    NetError error;
  } cases[] = {
      {"STARTTLS, a new EHLO, then AUTH",
       TlsMode::kStartTls,
       "forms",
       {"220 hi\r\n", starttls_offered, "220 go ahead\r\n", "250-mail.example.test\r\n250 AUTH PLAIN\r\n",
        "235 ok\r\n"},
       {},
       true,
       ehlo + "STARTTLS\r\n<TLS>" + ehlo + "AUTH PLAIN AGZvcm1zAHMzY3JldA==\r\nQUIT\r\n",
       "AUTH",
       "235 ok",
       235,
       NetError::kNone},
      {"STARTTLS required, not offered",
       TlsMode::kStartTls,
       "",
       {"220 hi\r\n", "250 mail.example.test\r\n"},
       {},
       false,
       ehlo + "QUIT\r\n",
       "STARTTLS",
       "STARTTLS required, not offered",
       0,
       NetError::kNone},
      {"STARTTLS refused",
       TlsMode::kStartTls,
       "",
       {"220 hi\r\n", starttls_offered, "454 TLS not available\r\n"},
       {},
       false,
       ehlo + "STARTTLS\r\nQUIT\r\n",
       "STARTTLS",
       "454 TLS not available",
       454,
       NetError::kNone},
      {"a certificate that does not verify",
       TlsMode::kStartTls,
       "",
       {"220 hi\r\n", starttls_offered, "220 go ahead\r\n"},
       bad_certificate,
       false,
       ehlo + "STARTTLS\r\n<TLS>QUIT\r\n",
       "TLS",
       bad_certificate.text,
       0,
       NetError::kCertificate},
      {"TLS from the first byte",
       TlsMode::kImplicit,
       "",
       {"220 hi\r\n", "250 mail.example.test\r\n"},
       {},
       true,
       "<TLS>" + ehlo + "QUIT\r\n",
       "EHLO",
       "250 mail.example.test",
       250,
       NetError::kNone},
      {"AUTH never on a plain connection",
       TlsMode::kNone,
       "forms",
       {"220 hi\r\n", starttls_offered},
       {},
       false,
       ehlo + "QUIT\r\n",
       "AUTH",
       "not attempted: the connection is not encrypted",
       0,
       NetError::kNone},
      {"a server that hangs up",
       TlsMode::kNone,
       "",
       {"220 hi\r\n"},
       {},
       false,
       ehlo + "QUIT\r\n",
       "EHLO",
       "no reply: closed",
       0,
       NetError::kClosed},
  };
  for (const auto& c : cases) {
    auto seen = std::make_shared<Seen>();
    SmtpClient client;
    SessionOptions session;
    session.extended = true;
    session.tls = c.tls;
    session.user = c.user;
    session.password = "s3cret";
    session.helo = "web.example.test";
    client.setSession(session);
    const bool greeted = client.connectOver(
        std::make_unique<ScriptedConnection>(c.replies, c.handshake, seen), "mail.example.test");
    EXPECT_EQ(greeted, c.greeted) << c.what;
    EXPECT_EQ(client.step(), c.step) << c.what;
    EXPECT_EQ(client.lastReply(), c.reply) << c.what;
    EXPECT_EQ(client.lastCode(), c.code) << c.what;
    EXPECT_EQ(client.lastError(), c.error) << c.what;
    client.quit();
    EXPECT_EQ(seen->transcript, c.transcript) << c.what;
  }
}

}  // namespace
}  // namespace quillo
