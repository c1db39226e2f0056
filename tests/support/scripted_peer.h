// A scripted SMTP peer for tests: listens on a loopback address, on a port of
// its own unless told one, serves connections one after another by the same
// script, and records every byte each connection received, so tests compare
// the client's whole output. Ports above 1023 need no root, and a port the
// system picks never collides with another test's.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace quillo::testing {

// A listening or connected socket: a SOCKET on Windows, as wide as a pointer.
#ifdef _WIN32
using PeerSocket = std::uintptr_t;
#else
using PeerSocket = int;
#endif

struct PeerStep {
  enum class Kind { kSend, kAwaitLine, kAwaitData, kPause, kClose };
  Kind kind;
  std::string bytes;  // kSend
  int pause_ms = 0;   // kPause
};

PeerStep Send(std::string bytes);
PeerStep AwaitLine();  // one command line
PeerStep AwaitData();  // the data through "\r\n.\r\n"
PeerStep Pause(int milliseconds);
PeerStep Close();  // hang up at once

// The usual conversation: greeting, then each reply after the client's next
// command (after a 354 reply, after the whole data).
std::vector<PeerStep> Conversation(const std::vector<std::string>& replies);

// A port of 127.0.0.1 that nobody listens on, so connections are refused.
std::uint16_t UnusedPort();

class ScriptedPeer {
 public:
  // On 127.0.0.1, a port the system picks.
  explicit ScriptedPeer(std::vector<PeerStep> script);
  // On another loopback address: beside a first peer, on its port.
  ScriptedPeer(std::string address, std::uint16_t port, std::vector<PeerStep> script);
  ~ScriptedPeer();

  // Stops taking connections once those already made are served; returns
  // what each connection received, in order.
  std::vector<std::string> Finish();

  const std::string& address() const { return address_; }
  std::uint16_t port() const { return port_; }

 private:
  void Serve();
  std::string Converse(PeerSocket connection);

  std::string address_;
  std::uint16_t port_ = 0;
  std::vector<PeerStep> script_;
  PeerSocket listener_ = static_cast<PeerSocket>(-1);
  std::atomic<bool> stopping_{false};
  std::vector<std::string> received_;
  std::thread thread_;
};

}  // namespace quillo::testing
