// Reading SMTP replies from a byte stream, without sockets.
//
// A reply is one or more lines; a line whose fourth character is a hyphen
// says more lines follow, any other line ends the reply. A line ends at a LF,
// with or without a CR before it, as servers in the wild send both.
//
// The reply's code is the first three characters of its first line, which
// must be digits. RFC 5321 4.2 asks more of a server (a blank or hyphen after
// the code, the same code on every line), but servers that break those rules
// still say plainly what they mean, so "250OK", "2500 x" and a multi-line
// reply whose later lines carry other codes all read as the first line's
// code. A first line without a code is malformed: the session never goes on
// with a code it had to guess.
//
// ReplyAssembler takes received chunks in whatever pieces the network hands
// them over and yields one complete reply. The client sends one command at a
// time and waits for its reply, so anything after a reply was not asked for:
// it is dropped, so that a server that says too much (an extra reply with its
// greeting) cannot put the client one reply behind for the whole session.
// Only a group of commands sent at once (PIPELINING, RFC 2920) is owed more
// than one reply: while it is, what follows a reply is kept for the next.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quillo {

// RFC 5321 4.5.3.1.5 allows 512 bytes per reply line; a reply of 64 KiB is
// far beyond any real server and bounds what a hostile one can make us hold.
constexpr std::size_t kMaxReplyBytes = 64 * 1024;

enum class ReplyStatus {
  kIncomplete,  // more bytes are needed
  kComplete,    // a whole reply: code is set
  kMalformed,   // a first line without a code, or a reply over kMaxReplyBytes
};

struct ReplyScan {
  ReplyStatus status = ReplyStatus::kIncomplete;
  int code = 0;            // the reply's code when complete
  std::size_t length = 0;  // its bytes when complete, the last line's end included
};

// Looks for one reply at the start of bytes. Pure; linear in the bytes.
ReplyScan ScanReply(std::string_view bytes);

// The lines of the reply at the start of bytes, without their line ends,
// through the line that ends the reply (or the last line there is). Pure.
std::vector<std::string_view> ReplyLines(std::string_view bytes);

// Collects received chunks and hands out the reply at their start.
class ReplyAssembler {
 public:
  void Feed(std::string_view chunk) { pending_.append(chunk); }

  // The reply at the start of what was fed so far; once it is complete,
  // everything fed so far is dropped, the bytes after it included, unless
  // more replies are owed.
  ReplyScan Next();

  // The next `replies` complete replies keep what follows them: a group of
  // that many commands and one more went out at once.
  void KeepFollowing(std::size_t replies) { owed_ = replies; }

  // Drops what is pending, for a new connection.
  void Clear() {
    pending_.clear();
    last_reply_.clear();
    owed_ = 0;
  }

  // The first line of the last complete reply, for the log: cut to
  // kMaxReportedLine bytes.
  std::string LastLine() const;
  // The last complete reply (what an EHLO reply lists); ReplyLines reads it.
  const std::string& LastReply() const { return last_reply_; }

 private:
  static constexpr std::size_t kMaxReportedLine = 200;
  std::string pending_;
  std::string last_reply_;
  std::size_t owed_ = 0;  // replies after which the rest is kept
};

}  // namespace quillo
