// Reading an HTTP/1.1 answer (RFC 9112) as its bytes arrive: the status
// line, the header fields, and a body framed by Content-Length, by chunks,
// or by the server's close. Bounded throughout: the head, each chunk-size
// line and the body each have a cap, and an answer past one is broken, not
// read on. Pure: the caller feeds what it received.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quillo {

struct HttpAnswer {
  int status = 0;
  std::string content_type;  // lower case, parameters dropped
  std::string body;
};

class HttpAnswerReader {
 public:
  enum class State { kMore, kDone, kBroken };

  static constexpr std::size_t kMaxHeadBytes = 16 * 1024;
  static constexpr std::size_t kMaxChunkLineBytes = 1024;

  explicit HttpAnswerReader(std::size_t max_body_bytes) : max_body_bytes_(max_body_bytes) {}

  // Takes the next bytes of the answer.
  State Feed(std::string_view bytes);
  // The server closed the connection: an answer framed by the close ends
  // here; any other that is not complete is broken.
  State FeedClose();

  State state() const { return state_; }
  const HttpAnswer& answer() const { return answer_; }
  // Why the answer is broken, for the log.
  const std::string& problem() const { return problem_; }

 private:
  enum class Framing { kLength, kChunked, kClose };
  enum class Phase { kHead, kBody, kChunkSize, kChunkData, kChunkEnd, kTrailer };

  State Advance();
  bool ReadHead();
  bool ReadField(std::string_view line);
  bool ReadChunkSize();
  bool ReadTrailer();
  State Break(std::string problem);
  bool TakeBody(std::size_t count);
  // The next line of pending_ from offset_, without its CR LF (or LF);
  // false when none is complete yet.
  bool NextLine(std::string_view& line, std::size_t max_bytes);

  std::size_t max_body_bytes_;
  std::string pending_;  // received and not yet consumed
  std::size_t offset_ = 0;
  State state_ = State::kMore;
  Phase phase_ = Phase::kHead;
  Framing framing_ = Framing::kClose;
  std::size_t remaining_ = 0;  // of the body (kLength) or of the chunk
  bool length_seen_ = false;
  std::size_t head_bytes_ = 0;  // of the head, then of the trailers
  HttpAnswer answer_;
  std::string problem_;
};

}  // namespace quillo
