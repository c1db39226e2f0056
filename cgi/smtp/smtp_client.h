// A small SMTP client for one TCP connection to one host: greeting, HELO,
// one mail transaction (MAIL FROM, RCPT TO per recipient, DATA, the text,
// end of data) and QUIT. Plain SMTP as RFC 821 has it: no EHLO, no
// extensions, no authentication, no encryption, no RSET.
//
// States: Closed -> connect -> Greeted -> sendMessage -> quit -> Closed. A
// failed greeting or HELO ends in QUIT and Closed; a failed resolve, bind or
// connect ends in Closed with nothing sent. A Closed client may connect
// again. Failures show only as false results; nothing is logged.
//
// Every wait on the server is bounded by replyTimeoutMs: the TCP handshake;
// each reply, from the moment the client starts waiting for it to its last
// line, however the server spreads the bytes; and each send, a command or
// the whole message, however slowly the server takes the bytes. A peer that
// closes the connection fails the step at once. So one host costs at most
// nineteen such waits: a failed connection attempt of five (connect,
// greeting, HELO sent and answered, QUIT), a good one of four, and a
// transaction of ten (three commands and their replies, the message, the
// end of data and its reply, QUIT).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/text.h"
#include "platform/net.h"
#include "smtp/reply.h"

namespace quillo {

// A reply not whole within a minute of asking means the server is gone or
// stalling; RFC 5321 4.5.3.2 asks for minutes, mail here must not keep a web
// request waiting that long.
constexpr std::uint32_t kDefaultReplyTimeoutMs = 60000;

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
  // Sends QUIT when still connected; always closes the socket.
  virtual ~SmtpClient();

  // Opens the connection to host:port, bound to localAddress unless it is
  // empty, and completes greeting (220) and HELO (250).
  bool connect(const std::string& host, std::uint16_t port, const std::string& localAddress);

  // One transaction on a connected client; true when the end of data got 250.
  bool sendMessage(const MailEnvelope& envelope);

  // Sends QUIT when connected (the reply is not awaited) and closes.
  bool quit();

  void setReplyTimeoutMs(std::uint32_t milliseconds) { replyTimeoutMs_ = milliseconds; }

  // After a failure, for the log: the step that failed ("connect",
  // "greeting", "HELO", "MAIL", "RCPT", "DATA", "message", "end of data") and
  // the first line of the server's last reply, or what came instead of one.
  const std::string& step() const { return step_; }
  const std::string& lastReply() const { return lastReply_; }

 protected:
  // True when the next reply carries exactly code.
  virtual bool expectReply(int code);
  // The next whole reply's code; nothing on time-out, close, error or garbage.
  virtual std::optional<int> readReply();

  bool sendHelo(const std::string& name);
  bool sendRecipient(const std::string& address);
  bool sendData(const std::string& text);

 private:
  bool sendCommand(const std::string& line);
  bool openConnection(const std::string& host, std::uint16_t port, const std::string& localAddress);
  void closeSocket();
  std::string heloArgument() const;

  platform::SocketHandle socket_ = platform::kNoSocket;
  bool connected_ = false;
  // "auto" stands for the local host name, looked up at connect.
  std::string heloName_ = "auto";
  std::uint32_t replyTimeoutMs_ = kDefaultReplyTimeoutMs;
  ReplyAssembler replies_;
  std::string step_;
  std::string lastReply_;
};

// RFC 821 4.2: 251 "User not local; will forward" accepts a recipient too.
bool IsRecipientAccepted(int code);

}  // namespace quillo
