// A small SMTP client for one TCP connection to one host: greeting, the
// greeting command, one mail transaction (MAIL FROM, RCPT TO per
// recipient, DATA, the text, end of data) and QUIT.
//
// By default it speaks plain SMTP as RFC 821 has it: HELO, no extensions, no
// authentication, no encryption, no RSET. With a session of the site's
// settings it says EHLO (HELO when that is refused with 5xx), reads the
// server's extensions, and uses TLS (STARTTLS, or from the first byte) and
// AUTH PLAIN or LOGIN as the settings ask. A TLS the settings require and
// the server does not offer, a certificate that does not verify, or AUTH on
// a plain connection without allow_plaintext_auth fails the host: mail
// never falls back to what the site did not allow.
//
// The bytes go through one platform::Connection, plain or TLS, which
// STARTTLS upgrades in place: the protocol code never asks which.
//
// States: Closed -> connect -> Greeted -> sendMessage -> quit -> Closed. A
// failed greeting, EHLO/HELO, STARTTLS or AUTH ends in QUIT and Closed; a
// failed resolve, bind or connect ends in Closed with nothing sent. A Closed
// client may connect again. step(), lastReply(), lastCode() and lastError()
// tell where and why a failure happened, for the log.
//
// Every wait on the server is bounded by replyTimeoutMs (the TCP handshake
// by connectTimeoutMs): each reply, from the moment the client starts
// waiting for it to its last line, however the server spreads the bytes;
// and each send, a command or the whole message, however slowly the server
// takes the bytes. A deadline, when set, cuts every wait short. A peer that
// closes the connection fails the step at once.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/text.h"
#include "platform/connection.h"
#include "smtp/reply.h"

namespace quillo {

// A reply not whole within a minute of asking means the server is gone or
// stalling; RFC 5321 4.5.3.2 asks for minutes, mail here must not keep a web
// request waiting that long.
constexpr std::uint32_t kDefaultReplyTimeoutMs = 60000;

enum class TlsMode { kNone, kStartTls, kImplicit };

// The session a site's settings ask for; the default is plain SMTP.
struct SessionOptions {
  bool extended = false;  // EHLO, then what it offers
  TlsMode tls = TlsMode::kNone;
  bool tls_verify = true;
  std::string tls_ca_file;
  std::string user;  // AUTH when not empty
  std::string password;
  bool allow_plaintext_auth = false;
  std::string helo = "auto";  // the greeting name; "auto": the local host name
};

// The server's EHLO keywords, upper case, and the AUTH mechanisms it names.
struct Extensions {
  bool starttls = false;
  bool auth_plain = false;
  bool auth_login = false;
  std::uint64_t size_limit = 0;  // SIZE (RFC 1870): the largest message taken; 0 for no bound given
  bool pipelining = false;       // PIPELINING (RFC 2920): commands may go before their replies
};
Extensions ParseEhloReply(std::string_view reply);

// What one transaction sends.
struct MailEnvelope {
  std::string sender;   // without angle brackets
  TextList recipients;  // without angle brackets, sent in list order
  std::string text;     // header lines, blank line, body; stuffed on the wire
};

class SmtpClient {
 public:
  SmtpClient() = default;
  SmtpClient(const SmtpClient&) = delete;
  SmtpClient& operator=(const SmtpClient&) = delete;
  // Sends QUIT when still connected; always closes the connection.
  ~SmtpClient();

  // Opens the connection to host:port, bound to localAddress unless it is
  // empty, and completes greeting (220) and HELO (250).
  bool connect(const std::string& host, std::uint16_t port, const std::string& localAddress);
  // The same over a connection already made (host names the server for
  // TLS); tests hand in a scripted one.
  bool connectOver(std::unique_ptr<platform::Connection> connection, const std::string& host);

  // One transaction on a connected client; true when the end of data got 250.
  bool sendMessage(const MailEnvelope& envelope);

  // A recipient the server refused at RCPT, and what it said.
  struct RecipientRefusal {
    std::string recipient;
    int code = 0;
    std::string reply;  // the first line of the reply
  };
  // One transaction for every recipient (a relay that takes mail for all
  // of them): a recipient refused at RCPT is noted in refused and the others
  // still get the message. True when the end of data got 250, which then
  // holds for every recipient not refused; false when no recipient was
  // taken or a step other than RCPT failed (after such a step the session
  // is not fit for another transaction). Where the server offers
  // PIPELINING, MAIL and every RCPT go out in one write before their replies
  // are read.
  bool sendMessageToEach(const MailEnvelope& envelope, std::vector<RecipientRefusal>& refused);

  // RSET (RFC 5321 4.1.1.5) before the next transaction on the session;
  // false when the session cannot take one.
  bool resetTransaction();
  bool connected() const { return connected_; }

  // Sends QUIT when connected (the reply is not awaited) and closes.
  bool quit();

  void setReplyTimeoutMs(std::uint32_t milliseconds) { replyTimeoutMs_ = milliseconds; }
  void setConnectTimeoutMs(std::uint32_t milliseconds) { connectTimeoutMs_ = milliseconds; }
  void setSession(SessionOptions options) { session_ = std::move(options); }
  void setDeadline(std::optional<std::chrono::steady_clock::time_point> deadline) { deadline_ = deadline; }
  // Called with the step and the whole reply each time one is complete, for
  // a person watching (the admin command); the session does not change.
  using Transcript = std::function<void(const std::string& step, const std::string& reply)>;
  void setTranscript(Transcript transcript) { transcript_ = std::move(transcript); }

  // After a failure, for the log: the step that failed ("connect",
  // "greeting", "HELO", "MAIL", "RCPT", "DATA", "message", "end of data") and
  // the first line of the server's last reply, or what came instead of one
  // ("no connection: ...", "no reply: ...", "cannot send: ...", "malformed
  // reply", or why the client gave up).
  const std::string& step() const { return step_; }
  const std::string& lastReply() const { return lastReply_; }
  // The code of that reply; 0 when the server gave none.
  int lastCode() const { return lastCode_; }
  // The network's cause when there was no reply; kNone when there was one
  // or the client itself gave up.
  platform::NetError lastError() const { return lastError_; }
  // After a failed connect: whether the local address could not carry the
  // connection (no bind was made that could reach the host), so that nothing
  // was tried on the network.
  bool localAddressUnusable() const { return localAddressUnusable_; }
  // Whether the message was refused for its size: larger than the SIZE the
  // server offered (then it was not sent), or answered with 552.
  bool messageTooLarge() const { return messageTooLarge_ || lastCode_ == 552; }

 private:
  friend bool IsRecipientAccepted(int code);
  enum class Step {
    kGreeting,
    kEhlo,
    kHelo,
    kStartTls,
    kAuth,
    kAuthMore,
    kMail,
    kRcpt,
    kData,
    kEndOfData,
    kRset
  };

  bool expect(Step step);
  std::optional<int> readReply();
  bool greet(const std::string& name);
  bool extendedGreeting(const std::string& name);
  bool startTls();
  bool authenticate(const Extensions& offered);
  bool sendDataAndEndMark(const std::string& text);
  bool tooLargeForServer(const std::string& text);
  bool sendDataAndEnd(const std::string& text);
  bool sendTransactionStart(const MailEnvelope& envelope);
  bool readRecipientReplies(const MailEnvelope& envelope, std::vector<RecipientRefusal>& refused,
                            std::size_t& taken);
  bool sendCommand(const std::string& line);
  bool sendBytes(std::string_view bytes, std::uint32_t timeout_ms);
  void giveUp(std::string why);
  void netFailure(const char* what, const platform::NetStatus& status);
  void reset(const std::string& host);
  void closeConnection();
  std::string heloArgument() const;
  std::uint32_t budget(std::uint32_t timeout_ms) const;

  std::unique_ptr<platform::Connection> connection_;
  bool connected_ = false;
  SessionOptions session_;
  std::string host_;
  std::uint32_t replyTimeoutMs_ = kDefaultReplyTimeoutMs;
  std::uint32_t connectTimeoutMs_ = kDefaultReplyTimeoutMs;
  std::optional<std::chrono::steady_clock::time_point> deadline_;
  Transcript transcript_;
  ReplyAssembler replies_;
  std::string step_;
  std::string lastReply_;
  int lastCode_ = 0;
  platform::NetError lastError_ = platform::NetError::kNone;
  bool localAddressUnusable_ = false;
  std::uint64_t sizeLimit_ = 0;  // of the last EHLO
  bool pipelining_ = false;      // of the last EHLO
  bool messageTooLarge_ = false;
};

// A wait of timeout_ms, cut to what is left before the deadline (0 once it
// has passed).
std::uint32_t WithinDeadline(std::uint32_t timeout_ms,
                             const std::optional<std::chrono::steady_clock::time_point>& deadline);

// RFC 821 4.2: 251 "User not local; will forward" accepts a recipient too.
bool IsRecipientAccepted(int code);

}  // namespace quillo
