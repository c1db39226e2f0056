// A scripted SMTP peer for tests: listens on one loopback address, port 25,
// serves connections one after another by the same script, and records every
// byte each connection received, so tests compare the client's whole output.
#pragma once

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace quillo::testing {

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

class ScriptedPeer {
 public:
  ScriptedPeer(std::string address, std::vector<PeerStep> script);
  ~ScriptedPeer();

  // Stops taking connections once those already made are served; returns
  // what each connection received, in order.
  std::vector<std::string> Finish();

 private:
  void Serve();
  std::string Converse(int connection);

  std::string address_;
  std::vector<PeerStep> script_;
  int listener_ = -1;
  std::atomic<bool> stopping_{false};
  std::vector<std::string> received_;
  std::thread thread_;
};

}  // namespace quillo::testing
