// Reading SMTP replies from a byte stream, without sockets.
//
// A reply is one or more lines "ddd-text" ended by a last line "ddd text" or
// "ddd" (RFC 5321 4.2): all lines carry the same three-digit code. Lines end
// in CR LF; a bare LF is accepted too, as servers in the wild send it.
// ReplyAssembler takes received chunks in whatever pieces the network hands
// them over and yields complete replies one at a time; bytes after a reply
// stay for the next one.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quillo {

// RFC 5321 4.5.3.1.5 allows 512 bytes per reply line; a reply of 64 KiB is
// far beyond any real server and bounds what a hostile one can make us hold.
constexpr std::size_t kMaxReplyBytes = 64 * 1024;

enum class ReplyStatus {
  kIncomplete,  // more bytes are needed
  kComplete,    // a whole reply: code and length are set
  kMalformed,   // a line that is no reply line, mixed codes, or too long
};

struct ReplyScan {
  ReplyStatus status = ReplyStatus::kIncomplete;
  int code = 0;            // the reply's code when complete
  std::size_t length = 0;  // bytes the complete reply takes, line ends included
};

// Looks for one reply at the start of bytes. Pure; linear in the bytes.
ReplyScan ScanReply(std::string_view bytes);

// Collects received chunks and hands out the replies they hold in order.
class ReplyAssembler {
 public:
  void Feed(std::string_view chunk) { pending_.append(chunk); }

  // The first reply in what was fed so far; a complete one is removed.
  ReplyScan Next();

  // Drops what is pending, for a new connection.
  void Clear() { pending_.clear(); }

 private:
  std::string pending_;
};

}  // namespace quillo
