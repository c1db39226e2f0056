// A scripted SMTP peer for tests; see scripted_peer.h.
#include "scripted_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

namespace quillo::testing {
namespace {

constexpr std::uint16_t kSmtpPort = 25;
// How long the peer waits for the client before giving up on a step; long
// enough for a loaded machine, short enough that a broken test ends.
constexpr int kPatienceMs = 5000;
// How often the accept loop looks at the stop flag.
constexpr int kAcceptSliceMs = 20;
constexpr std::size_t kReadChunk = 4096;

// Reads more bytes into received; false on close, error or no data in time.
bool ReadMore(int connection, std::string& received) {
  pollfd watch{connection, POLLIN, 0};
  if (poll(&watch, 1, kPatienceMs) <= 0) return false;
  std::string chunk(kReadChunk, '\0');
  const ssize_t got = recv(connection, chunk.data(), chunk.size(), 0);
  if (got <= 0) return false;
  received.append(chunk.data(), static_cast<std::size_t>(got));
  return true;
}

bool ReadUntil(int connection, std::string& received, std::size_t& cursor, const std::string& marker) {
  while (true) {
    const std::size_t at = received.find(marker, cursor);
    if (at != std::string::npos) {
      cursor = at + marker.size();
      return true;
    }
    if (!ReadMore(connection, received)) return false;
  }
}

}  // namespace

PeerStep Send(std::string bytes) { return {PeerStep::Kind::kSend, std::move(bytes)}; }
PeerStep AwaitLine() { return {PeerStep::Kind::kAwaitLine, {}}; }
PeerStep AwaitData() { return {PeerStep::Kind::kAwaitData, {}}; }
PeerStep Pause(int milliseconds) { return {PeerStep::Kind::kPause, {}, milliseconds}; }
PeerStep Close() { return {PeerStep::Kind::kClose, {}}; }

std::vector<PeerStep> Conversation(const std::vector<std::string>& replies) {
  std::vector<PeerStep> script;
  for (std::size_t i = 0; i < replies.size(); ++i) {
    if (i > 0) script.push_back(replies[i - 1].rfind("354", 0) == 0 ? AwaitData() : AwaitLine());
    script.push_back(Send(replies[i]));
  }
  return script;
}

ScriptedPeer::ScriptedPeer(std::string address, std::vector<PeerStep> script)
    : address_(std::move(address)), script_(std::move(script)) {
  listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int yes = 1;
  setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in where{};
  where.sin_family = AF_INET;
  where.sin_port = htons(kSmtpPort);
  if (listener_ < 0 || inet_pton(AF_INET, address_.c_str(), &where.sin_addr) != 1 ||
      bind(listener_, reinterpret_cast<sockaddr*>(&where), sizeof where) != 0 || listen(listener_, 8) != 0) {
    if (listener_ >= 0) close(listener_);
    throw std::runtime_error("cannot listen on " + address_ + ":25 (tests need root)");
  }
  thread_ = std::thread([this] { Serve(); });
}

ScriptedPeer::~ScriptedPeer() {
  if (thread_.joinable()) Finish();
}

std::vector<std::string> ScriptedPeer::Finish() {
  stopping_ = true;
  if (thread_.joinable()) thread_.join();
  if (listener_ >= 0) close(listener_);
  listener_ = -1;
  return received_;
}

void ScriptedPeer::Serve() {
  while (true) {
    pollfd watch{listener_, POLLIN, 0};
    // Once stopping, only connections already waiting are still served.
    const bool stopping = stopping_;
    const int ready = poll(&watch, 1, stopping ? 0 : kAcceptSliceMs);
    if (ready <= 0) {
      if (stopping) return;
      continue;
    }
    const int connection = accept(listener_, nullptr, nullptr);
    if (connection < 0) continue;
    received_.push_back(Converse(connection));
    close(connection);
  }
}

std::string ScriptedPeer::Converse(int connection) {
  std::string received;
  std::size_t cursor = 0;
  for (const PeerStep& step : script_) {
    switch (step.kind) {
      case PeerStep::Kind::kSend:
        if (send(connection, step.bytes.data(), step.bytes.size(), MSG_NOSIGNAL) < 0) return received;
        break;
      case PeerStep::Kind::kAwaitLine:
        if (!ReadUntil(connection, received, cursor, "\n")) return received;
        break;
      case PeerStep::Kind::kAwaitData:
        if (!ReadUntil(connection, received, cursor, "\r\n.\r\n")) return received;
        break;
      case PeerStep::Kind::kPause:
        std::this_thread::sleep_for(std::chrono::milliseconds(step.pause_ms));
        break;
      case PeerStep::Kind::kClose:
        return received;
    }
  }
  while (ReadMore(connection, received)) {
  }
  return received;
}

}  // namespace quillo::testing
