// The SMTP session; see smtp_client.h.
#include "smtp/smtp_client.h"

#include <chrono>
#include <string_view>

#include "smtp/wire.h"

namespace quillo {
namespace {

// Reply codes this session waits for (RFC 821 4.2).
constexpr int kServiceReady = 220;
constexpr int kActionOk = 250;
constexpr int kWillForward = 251;
constexpr int kStartMailInput = 354;

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

}  // namespace

bool IsRecipientAccepted(int code) { return code == kActionOk || code == kWillForward; }

SmtpClient::~SmtpClient() {
  if (connected_) quit();
  closeSocket();
}

bool SmtpClient::openConnection(const std::string& host, std::uint16_t port,
                                const std::string& localAddress) {
  socket_ = platform::OpenTcpSocket();
  if (socket_ == platform::kNoSocket) return false;
  if (!localAddress.empty()) {
    const auto local = platform::ResolveIPv4(localAddress);
    if (!local || !platform::BindTo(socket_, *local)) return false;
  }
  const auto target = platform::ResolveIPv4(host);
  return target && platform::ConnectTo(socket_, *target, port, replyTimeoutMs_);
}

bool SmtpClient::connect(const std::string& host, std::uint16_t port, const std::string& localAddress) {
  if (connected_) quit();
  closeSocket();
  replies_.Clear();
  step_ = "connect";
  lastReply_ = "no connection";
  if (!openConnection(host, port, localAddress)) {
    closeSocket();
    return false;
  }
  connected_ = true;
  step_ = "greeting";
  if (!expectReply(kServiceReady)) {
    quit();
    return false;
  }
  if (heloName_ == kAutoHeloName) heloName_ = platform::LocalHostName();
  if (!sendHelo(heloArgument())) {
    quit();
    return false;
  }
  return true;
}

// Without a readable host name the client names itself by its address
// literal, as RFC 5321 4.1.4 asks of a client that has no meaningful name.
std::string SmtpClient::heloArgument() const {
  return heloName_.empty() ? platform::LocalAddressLiteral(socket_) : heloName_;
}

bool SmtpClient::sendMessage(const MailEnvelope& envelope) {
  if (!connected_) return false;
  step_ = "MAIL";
  if (!sendCommand(FormatCommand("MAIL FROM:<", envelope.sender, ">")) || !expectReply(kActionOk))
    return false;
  step_ = "RCPT";
  for (const std::string& recipient : envelope.recipients) {
    if (!sendRecipient(recipient)) return false;
  }
  step_ = "DATA";
  if (!sendCommand(std::string(kData)) || !expectReply(kStartMailInput)) return false;
  step_ = "message";
  if (!sendData(envelope.text)) return false;
  step_ = "end of data";
  if (!sendCommand(std::string(kEndOfData))) return false;
  return expectReply(kActionOk);
}

bool SmtpClient::quit() {
  bool sent = false;
  if (connected_) {
    sent = platform::SendAll(socket_, kQuit, replyTimeoutMs_);
    connected_ = false;
  }
  closeSocket();
  return sent;
}

bool SmtpClient::sendHelo(const std::string& name) {
  step_ = "HELO";
  return sendCommand(FormatCommand("HELO ", name)) && expectReply(kActionOk);
}

bool SmtpClient::sendRecipient(const std::string& address) {
  if (!sendCommand(FormatCommand("RCPT TO:<", address, ">"))) return false;
  const std::optional<int> code = readReply();
  return code && IsRecipientAccepted(*code);
}

// The text goes out in pieces of whole lines, each formatted as it is sent,
// so that a large message is never held twice; the time-out bounds the
// whole message, not each piece.
bool SmtpClient::sendData(const std::string& text) {
  const std::string_view all(text);
  const Clock::time_point started = Clock::now();
  for (std::size_t from = 0; from < all.size();) {
    std::size_t cut = all.rfind('\n', std::min(from + kDataPieceBytes, all.size()) - 1);
    if (cut == std::string_view::npos || cut < from) cut = all.find('\n', from);
    const std::size_t to = cut == std::string_view::npos ? all.size() : cut + 1;
    const std::uint32_t spent = MillisecondsSince(started);
    if (spent >= replyTimeoutMs_ ||
        !platform::SendAll(socket_, FormatDataLines(all.substr(from, to - from)), replyTimeoutMs_ - spent)) {
      return false;
    }
    from = to;
  }
  return true;
}

bool SmtpClient::expectReply(int code) {
  const std::optional<int> got = readReply();
  return got && *got == code;
}

// The time-out runs from the start of the wait, not from the last byte: a
// server that trickles a reply a byte at a time must not hold the run.
std::optional<int> SmtpClient::readReply() {
  const Clock::time_point asked = Clock::now();
  while (true) {
    const ReplyScan scan = replies_.Next();
    if (scan.status == ReplyStatus::kComplete) {
      lastReply_ = replies_.LastLine();
      return scan.code;
    }
    lastReply_ = "no reply";
    if (scan.status == ReplyStatus::kMalformed) {
      lastReply_ = "malformed reply";
      return std::nullopt;
    }
    const std::uint32_t waited = MillisecondsSince(asked);
    if (waited >= replyTimeoutMs_) return std::nullopt;
    const platform::Readiness ready = platform::WaitReadable(socket_, replyTimeoutMs_ - waited);
    if (ready == platform::Readiness::kFailed) return std::nullopt;
    if (ready == platform::Readiness::kTimedOut) continue;  // the check above decides
    std::string chunk;
    if (platform::Receive(socket_, chunk, kReceiveChunkBytes) != platform::ReceiveStatus::kData) {
      return std::nullopt;  // closed by the peer, or broken
    }
    replies_.Feed(chunk);
  }
}

bool SmtpClient::sendCommand(const std::string& line) {
  return socket_ != platform::kNoSocket && platform::SendAll(socket_, line, replyTimeoutMs_);
}

void SmtpClient::closeSocket() {
  platform::CloseSocket(socket_);
  socket_ = platform::kNoSocket;
}

}  // namespace quillo
