// The SMTP session; see smtp_client.h.
#include "smtp/smtp_client.h"

#include <algorithm>
#include <cstdint>
#include <string_view>

#include "core/text.h"
#include "smtp/wire.h"

namespace quillo {
namespace {

// The one table of the session: what each step is called in the log and
// the reply code that lets the session go on (RFC 5321 4.3.2, RFC 3207,
// RFC 4954). RCPT also takes 251 (RFC 821 4.2).
struct StepRule {
  std::string_view name;
  int code;
};
constexpr StepRule kSteps[] = {
    {"greeting", 220}, {"EHLO", 250}, {"HELO", 250}, {"STARTTLS", 220},    {"AUTH", 235}, {"AUTH", 334},
    {"MAIL", 250},     {"RCPT", 250}, {"DATA", 354}, {"end of data", 250}, {"RSET", 250},
};
constexpr int kWillForward = 251;

// "\r\n.\r\n": the data lines end in CR LF already, so this adds one empty
// line before the period that ends the data.
constexpr std::string_view kEndOfData = "\r\n.\r\n";
constexpr std::string_view kQuit = "QUIT\r\n";
constexpr std::string_view kData = "DATA\r\n";
constexpr std::string_view kAutoHeloName = "auto";

// How much of the message is formatted for the wire at a time.
constexpr std::size_t kDataPieceBytes = 64 * 1024;

// Replies are short; one page per receive keeps the reads few.
constexpr std::size_t kReceiveChunkBytes = 4096;

using Clock = std::chrono::steady_clock;

std::uint32_t MillisecondsSince(Clock::time_point start) {
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
  return elapsed < 0 ? 0 : static_cast<std::uint32_t>(elapsed);
}

const StepRule& RuleOf(int step) { return kSteps[step]; }

}  // namespace

bool IsRecipientAccepted(int code) {
  return code == RuleOf(static_cast<int>(SmtpClient::Step::kRcpt)).code || code == kWillForward;
}

Extensions ParseEhloReply(std::string_view reply) {
  Extensions offered;
  for (const std::string_view line : ReplyLines(reply)) {
    const std::string keyword = UpperCopy(Trimmed(line.substr(std::min<std::size_t>(line.size(), 4))));
    if (keyword == "STARTTLS") offered.starttls = true;
    if (keyword.compare(0, 5, "AUTH ") == 0 || keyword.compare(0, 5, "AUTH=") == 0) {
      const std::string mechanisms = " " + keyword.substr(5) + " ";
      offered.auth_plain = offered.auth_plain || mechanisms.find(" PLAIN ") != std::string::npos;
      offered.auth_login = offered.auth_login || mechanisms.find(" LOGIN ") != std::string::npos;
    }
    if (keyword == "PIPELINING") offered.pipelining = true;
    if (keyword.compare(0, 5, "SIZE ") == 0)
      offered.size_limit = ReadNumber(Trimmed(keyword.substr(5)), UINT64_MAX).value_or(0);
  }
  return offered;
}

SmtpClient::~SmtpClient() {
  if (connected_) quit();
  closeConnection();
}

std::uint32_t WithinDeadline(std::uint32_t timeout_ms,
                             const std::optional<std::chrono::steady_clock::time_point>& deadline) {
  if (!deadline) return timeout_ms;
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - Clock::now()).count();
  if (left <= 0) return 0;
  return static_cast<std::uint64_t>(left) < timeout_ms ? static_cast<std::uint32_t>(left) : timeout_ms;
}

std::uint32_t SmtpClient::budget(std::uint32_t timeout_ms) const {
  return WithinDeadline(timeout_ms, deadline_);
}

void SmtpClient::reset(const std::string& host) {
  if (connected_) quit();
  closeConnection();
  replies_.Clear();
  host_ = host;
  step_ = "connect";
  lastReply_ = "no connection";
  lastCode_ = 0;
  lastError_ = platform::NetError::kNone;
  localAddressUnusable_ = false;
  // What the last server offered is no promise of the next one's.
  sizeLimit_ = 0;
  pipelining_ = false;
}

bool SmtpClient::connect(const std::string& host, std::uint16_t port, const std::string& localAddress) {
  reset(host);
  platform::OpenedConnection opened =
      platform::OpenTcpConnection(host, port, localAddress, budget(connectTimeoutMs_));
  if (!opened.connection) {
    localAddressUnusable_ = opened.local_address_unusable;
    if (localAddressUnusable_) {
      giveUp(opened.status.text);
      lastError_ = opened.status.error;
    } else {
      netFailure("no connection", opened.status);
    }
    return false;
  }
  return connectOver(std::move(opened.connection), host);
}

bool SmtpClient::connectOver(std::unique_ptr<platform::Connection> connection, const std::string& host) {
  reset(host);
  connection_ = std::move(connection);
  connected_ = true;
  const bool implicit_tls = session_.tls == TlsMode::kImplicit;
  if ((implicit_tls && !startTls()) || !expect(Step::kGreeting)) {
    quit();
    return false;
  }
  if (session_.helo == kAutoHeloName) session_.helo = platform::LocalHostName();
  const bool greeted = session_.extended ? extendedGreeting(heloArgument()) : greet(heloArgument());
  if (!greeted) quit();
  return greeted;
}

// Without a readable host name the client names itself by its address
// literal, as RFC 5321 4.1.4 asks of a client that has no meaningful name.
std::string SmtpClient::heloArgument() const {
  return session_.helo.empty() ? connection_->LocalAddressLiteral() : session_.helo;
}

bool SmtpClient::greet(const std::string& name) {
  return sendCommand(FormatCommand("HELO ", name)) && expect(Step::kHelo);
}

// EHLO, falling back to HELO where a server refuses it outright; then
// STARTTLS and a new EHLO (RFC 3207 4.2: what was offered before no longer
// counts), then AUTH.
bool SmtpClient::extendedGreeting(const std::string& name) {
  if (!sendCommand(FormatCommand("EHLO ", name))) return false;
  step_ = "EHLO";
  const std::optional<int> code = readReply();
  if (!code) return false;
  Extensions offered;
  if (*code == RuleOf(static_cast<int>(Step::kEhlo)).code) {
    offered = ParseEhloReply(replies_.LastReply());
    sizeLimit_ = offered.size_limit;
    pipelining_ = offered.pipelining;
  } else if (*code < 500 || *code > 599 || !greet(name)) {
    return false;
  }
  if (session_.tls == TlsMode::kStartTls && !connection_->Encrypted()) {
    step_ = "STARTTLS";
    if (!offered.starttls) {
      giveUp("STARTTLS required, not offered");
      return false;
    }
    if (!sendCommand("STARTTLS\r\n") || !expect(Step::kStartTls) || !startTls()) return false;
    return extendedGreeting(name);  // once: the session is encrypted now
  }
  return session_.user.empty() || authenticate(offered);
}

// What was read before the handshake is not to be trusted after it
// (RFC 3207 5): the reply buffer starts empty.
bool SmtpClient::startTls() {
  step_ = "TLS";
  const platform::NetStatus status =
      connection_->StartTls({host_, session_.tls_verify, session_.tls_ca_file}, budget(replyTimeoutMs_));
  replies_.Clear();
  if (!status.ok()) {
    giveUp(status.text);
    lastError_ = status.error;
  }
  return status.ok();
}

// PLAIN where offered (one round trip), else LOGIN; never on a plain
// connection unless the site allows it.
bool SmtpClient::authenticate(const Extensions& offered) {
  step_ = "AUTH";
  if (!connection_->Encrypted() && !session_.allow_plaintext_auth) {
    giveUp("not attempted: the connection is not encrypted");
    return false;
  }
  if (offered.auth_plain) {
    const std::string credentials = std::string(1, '\0') + session_.user + '\0' + session_.password;
    return sendCommand("AUTH PLAIN " + EncodeBase64(credentials) + "\r\n") && expect(Step::kAuth);
  }
  if (offered.auth_login) {
    return sendCommand("AUTH LOGIN\r\n") && expect(Step::kAuthMore) &&
           sendCommand(EncodeBase64(session_.user) + "\r\n") && expect(Step::kAuthMore) &&
           sendCommand(EncodeBase64(session_.password) + "\r\n") && expect(Step::kAuth);
  }
  giveUp("the server offers no AUTH PLAIN or LOGIN");
  return false;
}

namespace {

// The bytes of the text as DATA sends it, stuffing aside: each LF becomes
// CR LF. What RFC 1870 compares with SIZE.
std::uint64_t DataSize(std::string_view text) {
  return text.size() + static_cast<std::uint64_t>(std::count(text.begin(), text.end(), '\n'));
}

}  // namespace

// A message larger than the server's SIZE is not sent at all.
bool SmtpClient::tooLargeForServer(const std::string& text) {
  if (sizeLimit_ == 0) return false;
  const std::uint64_t size = DataSize(text);
  if (size <= sizeLimit_) return false;
  step_ = "SIZE";
  messageTooLarge_ = true;
  giveUp("message too large: " + std::to_string(size) + " bytes, the server takes " +
         std::to_string(sizeLimit_));
  return true;
}

bool SmtpClient::sendDataAndEnd(const std::string& text) {
  if (!sendCommand(std::string(kData)) || !expect(Step::kData)) return false;
  step_ = "message";
  if (!sendDataAndEndMark(text)) return false;
  return expect(Step::kEndOfData);
}

bool SmtpClient::sendMessage(const MailEnvelope& envelope) {
  if (!connected_ || tooLargeForServer(envelope.text)) return false;
  if (!sendCommand(FormatCommand("MAIL FROM:<", envelope.sender, ">")) || !expect(Step::kMail)) return false;
  for (const std::string& recipient : envelope.recipients) {
    if (!sendCommand(FormatCommand("RCPT TO:<", recipient, ">"))) return false;
    step_ = RuleOf(static_cast<int>(Step::kRcpt)).name;
    const std::optional<int> code = readReply();
    if (!code || !IsRecipientAccepted(*code)) return false;
  }
  return sendDataAndEnd(envelope.text);
}

// MAIL, then the RCPTs one reply at a time; with PIPELINING (RFC 2920) MAIL
// and every RCPT in one write, which the server answers in order: one round
// trip for all recipients instead of one each. DATA still waits for the
// last of those replies, as it must.
bool SmtpClient::sendTransactionStart(const MailEnvelope& envelope) {
  std::string commands = FormatCommand("MAIL FROM:<", envelope.sender, ">");
  if (pipelining_) {
    for (const std::string& recipient : envelope.recipients)
      commands += FormatCommand("RCPT TO:<", recipient, ">");
    replies_.KeepFollowing(envelope.recipients.size());
  }
  return sendCommand(commands) && expect(Step::kMail);
}

bool SmtpClient::readRecipientReplies(const MailEnvelope& envelope, std::vector<RecipientRefusal>& refused,
                                      std::size_t& taken) {
  for (const std::string& recipient : envelope.recipients) {
    if (!pipelining_ && !sendCommand(FormatCommand("RCPT TO:<", recipient, ">"))) return false;
    step_ = RuleOf(static_cast<int>(Step::kRcpt)).name;
    const std::optional<int> code = readReply();
    if (!code) return false;
    // 421: the server closes the session; nothing more goes on it.
    if (*code == 421) return false;
    if (IsRecipientAccepted(*code)) {
      ++taken;
    } else {
      refused.push_back({recipient, *code, lastReply_});
    }
  }
  return true;
}

bool SmtpClient::sendMessageToEach(const MailEnvelope& envelope, std::vector<RecipientRefusal>& refused) {
  if (!connected_ || tooLargeForServer(envelope.text)) return false;
  std::size_t taken = 0;
  if (!sendTransactionStart(envelope) || !readRecipientReplies(envelope, refused, taken) || taken == 0)
    return false;
  return sendDataAndEnd(envelope.text);
}

bool SmtpClient::resetTransaction() {
  if (!connected_) return false;
  messageTooLarge_ = false;
  return sendCommand("RSET\r\n") && expect(Step::kRset);
}

bool SmtpClient::quit() {
  bool sent = false;
  if (connected_) {
    // Not through sendBytes: a QUIT that cannot go out must not hide why the
    // session ended.
    const std::uint32_t allowed = budget(replyTimeoutMs_);
    sent = allowed > 0 && connection_->Send(kQuit, allowed).ok();
    connected_ = false;
  }
  closeConnection();
  return sent;
}

// The text goes out in pieces of whole lines, each formatted as it is sent,
// so that a large message is never held twice; the time-out bounds the
// whole message, not each piece.
// The message in pieces of whole lines, the end mark on the last one: a
// short message goes out in one write, one segment for the server to read.
bool SmtpClient::sendDataAndEndMark(const std::string& text) {
  const std::string_view all(text);
  const Clock::time_point started = Clock::now();
  const std::uint32_t allowed = budget(replyTimeoutMs_);
  std::size_t from = 0;
  do {
    std::size_t to = all.size();
    if (to - from > kDataPieceBytes) {
      std::size_t cut = all.rfind('\n', from + kDataPieceBytes - 1);
      if (cut == std::string_view::npos || cut < from) cut = all.find('\n', from);
      if (cut != std::string_view::npos) to = cut + 1;
    }
    std::string piece = FormatDataLines(all.substr(from, to - from));
    if (to == all.size()) piece += kEndOfData;
    const std::uint32_t spent = MillisecondsSince(started);
    if (spent >= allowed || !sendBytes(piece, allowed - spent)) return false;
    from = to;
  } while (from < all.size());
  return true;
}

bool SmtpClient::expect(Step step) {
  step_ = RuleOf(static_cast<int>(step)).name;
  const std::optional<int> got = readReply();
  return got && *got == RuleOf(static_cast<int>(step)).code;
}

// The time-out runs from the start of the wait, not from the last byte: a
// server that trickles a reply a byte at a time must not hold the run.
std::optional<int> SmtpClient::readReply() {
  const Clock::time_point asked = Clock::now();
  const std::uint32_t allowed = budget(replyTimeoutMs_);
  while (true) {
    const ReplyScan scan = replies_.Next();
    if (scan.status == ReplyStatus::kComplete) {
      lastReply_ = replies_.LastLine();
      lastCode_ = scan.code;
      lastError_ = platform::NetError::kNone;
      if (transcript_) transcript_(step_, replies_.LastReply());
      return scan.code;
    }
    if (scan.status == ReplyStatus::kMalformed) {
      giveUp("malformed reply");
      return std::nullopt;
    }
    const std::uint32_t waited = MillisecondsSince(asked);
    platform::NetStatus status{platform::NetError::kTimeout, "timed out"};
    if (waited < allowed) status = connection_->WaitReadable(allowed - waited);
    if (status.error == platform::NetError::kTimeout && waited < allowed)
      continue;  // the check above decides
    std::string chunk;
    if (status.ok()) status = connection_->Receive(chunk, kReceiveChunkBytes);
    if (!status.ok()) {
      netFailure("no reply", status);
      return std::nullopt;
    }
    replies_.Feed(chunk);
  }
}

bool SmtpClient::sendCommand(const std::string& line) {
  return connection_ != nullptr && sendBytes(line, replyTimeoutMs_);
}

bool SmtpClient::sendBytes(std::string_view bytes, std::uint32_t timeout_ms) {
  const std::uint32_t allowed = budget(timeout_ms);
  platform::NetStatus status{platform::NetError::kTimeout, "timed out"};
  if (allowed > 0) status = connection_->Send(bytes, allowed);
  if (!status.ok()) netFailure("cannot send", status);
  return status.ok();
}

// The client's own reason to stop: no network cause, no reply code.
void SmtpClient::giveUp(std::string why) {
  lastReply_ = std::move(why);
  lastCode_ = 0;
  lastError_ = platform::NetError::kNone;
}

void SmtpClient::netFailure(const char* what, const platform::NetStatus& status) {
  lastReply_ = status.text.empty() ? std::string(what) : std::string(what) + ": " + status.text;
  lastCode_ = 0;
  lastError_ = status.error;
}

void SmtpClient::closeConnection() { connection_.reset(); }

}  // namespace quillo
