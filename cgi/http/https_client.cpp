// One HTTPS POST; see https_client.h.
#include "http/https_client.h"

#include <chrono>

#include "platform/connection.h"

namespace quillo {
namespace {

using Clock = std::chrono::steady_clock;

// What is left of the bound, at least a millisecond so that a call that
// starts still looks once.
std::uint32_t Remaining(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left < 1 ? 1 : static_cast<std::uint32_t>(left);
}

HttpsResult Failed(std::string step, const platform::NetStatus& status) {
  HttpsResult result;
  result.step = std::move(step);
  result.error = std::string(platform::NetErrorName(status.error));
  result.detail = status.text;
  return result;
}

}  // namespace

std::string FormatPostRequest(const WebAddress& address, const HttpBody& body) {
  std::string host = address.host;
  if (address.port != 443) host += ":" + std::to_string(address.port);
  std::string request =
      "POST " + address.path + " HTTP/1.1\r\nHost: " + host +
      "\r\nUser-Agent: quillopro\r\nAccept: application/json\r\nContent-Type: " + body.content_type +
      "\r\nContent-Length: " + std::to_string(body.bytes.size()) + "\r\n";
  for (const std::string& header : body.headers) request += header + "\r\n";
  request += "Connection: close\r\n\r\n";
  request += body.bytes;
  return request;
}

HttpsResult Post(const WebAddress& address, const HttpBody& body, const HttpsOptions& options) {
  constexpr std::size_t kReceiveBytes = 16 * 1024;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(options.timeout_ms);
  platform::OpenedConnection opened =
      platform::OpenTcpConnection(address.host, address.port, "", Remaining(deadline));
  if (!opened.connection) return Failed("connect", opened.status);
  platform::Connection& connection = *opened.connection;
  platform::NetStatus status =
      connection.StartTls({address.host, true, options.ca_file}, Remaining(deadline));
  if (!status.ok()) return Failed("tls", status);
  status = connection.Send(FormatPostRequest(address, body), Remaining(deadline));
  if (!status.ok()) return Failed("send", status);
  HttpAnswerReader reader(options.max_answer_bytes);
  std::string received;
  while (reader.state() == HttpAnswerReader::State::kMore) {
    if (Clock::now() >= deadline)
      return Failed("answer", {platform::NetError::kTimeout, "no whole answer in time"});
    status = connection.WaitReadable(Remaining(deadline));
    if (!status.ok()) return Failed("answer", status);
    received.clear();
    status = connection.Receive(received, kReceiveBytes);
    if (status.error == platform::NetError::kClosed) {
      reader.Feed(received);
      reader.FeedClose();
    } else if (!status.ok()) {
      return Failed("answer", status);
    } else {
      reader.Feed(received);
    }
  }
  if (reader.state() == HttpAnswerReader::State::kBroken) {
    HttpsResult result;
    result.step = "answer";
    result.error = "broken";
    result.detail = reader.problem();
    return result;
  }
  HttpsResult result;
  result.answer = reader.answer();
  return result;
}

}  // namespace quillo
