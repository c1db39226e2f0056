// A scripted SMTP peer for tests; see scripted_peer.h.
#include "scripted_peer.h"

#ifdef _WIN32
#include <winsock2.h>
// After winsock2.h, which must come before windows.h.
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <chrono>
#include <stdexcept>

namespace quillo::testing {
namespace {

#ifdef _WIN32
// The few spellings Windows Sockets has of its own.
constexpr PeerSocket kNoPeerSocket = INVALID_SOCKET;
constexpr int MSG_NOSIGNAL = 0;  // a closed peer never raises a signal there
constexpr int SOCK_CLOEXEC = 0;  // handles are not inherited unless asked for
int poll(pollfd* watch, unsigned long count, int timeout_ms) { return WSAPoll(watch, count, timeout_ms); }
void close(PeerSocket socket) { closesocket(socket); }
using socklen_t = int;

// A test process makes sockets of its own before the program's code starts
// Windows Sockets; the peer starts them once for the whole process.
const bool kSocketsStarted = [] {
  WSADATA data{};
  return WSAStartup(MAKEWORD(2, 2), &data) == 0;
}();
#else
constexpr PeerSocket kNoPeerSocket = -1;
#endif

// How long the peer waits for the client before giving up on a step; long
// enough for a loaded machine, short enough that a broken test ends.
constexpr int kPatienceMs = 5000;
// How often the accept loop looks at the stop flag.
constexpr int kAcceptSliceMs = 20;
constexpr std::size_t kReadChunk = 4096;

// Reads more bytes into received; false on close, error or no data in time.
bool ReadMore(PeerSocket connection, std::string& received) {
  pollfd watch{connection, POLLIN, 0};
  if (poll(&watch, 1, kPatienceMs) <= 0) return false;
  std::string chunk(kReadChunk, '\0');
  const auto got = recv(connection, chunk.data(), static_cast<int>(chunk.size()), 0);
  if (got <= 0) return false;
  received.append(chunk.data(), static_cast<std::size_t>(got));
  return true;
}

bool ReadUntil(PeerSocket connection, std::string& received, std::size_t& cursor, const std::string& marker) {
  while (true) {
    const std::size_t at = received.find(marker, cursor);
    if (at != std::string::npos) {
      cursor = at + marker.size();
      return true;
    }
    if (!ReadMore(connection, received)) return false;
  }
}

// A listening socket on address:port; port 0 lets the system pick one.
PeerSocket Listen(const std::string& address, std::uint16_t port) {
  const PeerSocket listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int yes = 1;
  setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&yes), sizeof yes);
  sockaddr_in where{};
  where.sin_family = AF_INET;
  where.sin_port = htons(port);
  if (listener == kNoPeerSocket || inet_pton(AF_INET, address.c_str(), &where.sin_addr) != 1 ||
      bind(listener, reinterpret_cast<sockaddr*>(&where), sizeof where) != 0 || listen(listener, 8) != 0) {
    if (listener != kNoPeerSocket) close(listener);
    throw std::runtime_error("cannot listen on " + address + ":" + std::to_string(port));
  }
  return listener;
}

std::uint16_t BoundPort(PeerSocket listener) {
  sockaddr_in bound{};
  socklen_t length = sizeof bound;
  getsockname(listener, reinterpret_cast<sockaddr*>(&bound), &length);
  return ntohs(bound.sin_port);
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

ScriptedPeer::ScriptedPeer(std::vector<PeerStep> script) : ScriptedPeer("127.0.0.1", 0, std::move(script)) {}

ScriptedPeer::ScriptedPeer(std::string address, std::uint16_t port, std::vector<PeerStep> script)
    : address_(std::move(address)), script_(std::move(script)) {
  listener_ = Listen(address_, port);
  port_ = BoundPort(listener_);
  thread_ = std::thread([this] { Serve(); });
}

std::uint16_t UnusedPort() {
  const PeerSocket listener = Listen("127.0.0.1", 0);
  const std::uint16_t port = BoundPort(listener);
  close(listener);
  return port;
}

ScriptedPeer::~ScriptedPeer() {
  if (thread_.joinable()) Finish();
}

std::vector<std::string> ScriptedPeer::Finish() {
  stopping_ = true;
  if (thread_.joinable()) thread_.join();
  if (listener_ != kNoPeerSocket) close(listener_);
  listener_ = kNoPeerSocket;
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
    const PeerSocket connection = accept(listener_, nullptr, nullptr);
    if (connection == kNoPeerSocket) continue;
    received_.push_back(Converse(connection));
    close(connection);
  }
}

std::string ScriptedPeer::Converse(PeerSocket connection) {
  std::string received;
  std::size_t cursor = 0;
  for (const PeerStep& step : script_) {
    switch (step.kind) {
      case PeerStep::Kind::kSend:
        if (send(connection, step.bytes.data(), static_cast<int>(step.bytes.size()), MSG_NOSIGNAL) < 0)
          return received;
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
