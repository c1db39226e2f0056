// An HTTP answer as it arrives; see answer_reader.h.
#include "http/answer_reader.h"

#include <algorithm>

#include "core/text.h"

namespace quillo {
namespace {

constexpr std::uint64_t kMaxContentLength = 1ULL << 31;

std::optional<int> ReadStatusLine(std::string_view line) {
  // "HTTP/1.1 200 OK"; the reason may be empty or missing.
  if (!StartsWith(line, "HTTP/1.") || line.size() < 12 || line[8] != ' ') return std::nullopt;
  if (line.size() > 12 && line[12] != ' ') return std::nullopt;
  const auto status = ReadNumber(line.substr(9, 3), 999);
  if (!status || *status < 100) return std::nullopt;
  return static_cast<int>(*status);
}

std::optional<std::size_t> ReadChunkSizeValue(std::string_view line) {
  line = line.substr(0, line.find(';'));  // extensions say nothing to us
  while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
  if (line.empty() || line.size() > 8) return std::nullopt;
  std::size_t size = 0;
  for (char c : line) {
    int digit = -1;
    if (c >= '0' && c <= '9') digit = c - '0';
    if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    if (digit < 0) return std::nullopt;
    size = size * 16 + static_cast<std::size_t>(digit);
  }
  return size;
}

}  // namespace

HttpAnswerReader::State HttpAnswerReader::Feed(std::string_view bytes) {
  if (state_ != State::kMore) return state_;
  pending_.erase(0, offset_);
  offset_ = 0;
  pending_.append(bytes);
  return Advance();
}

HttpAnswerReader::State HttpAnswerReader::FeedClose() {
  if (state_ != State::kMore) return state_;
  if (phase_ == Phase::kBody && framing_ == Framing::kClose) {
    state_ = State::kDone;
    return state_;
  }
  return Break(phase_ == Phase::kHead ? "closed before the answer's head was complete"
                                      : "closed before the answer's body was complete");
}

HttpAnswerReader::State HttpAnswerReader::Break(std::string problem) {
  problem_ = std::move(problem);
  state_ = State::kBroken;
  return state_;
}

bool HttpAnswerReader::NextLine(std::string_view& line, std::size_t max_bytes) {
  const std::string_view rest = std::string_view(pending_).substr(offset_);
  const std::size_t end = rest.find('\n');
  if (end == std::string_view::npos) {
    if (rest.size() > max_bytes) Break("a line longer than " + std::to_string(max_bytes) + " bytes");
    return false;
  }
  if (end > max_bytes) {
    Break("a line longer than " + std::to_string(max_bytes) + " bytes");
    return false;
  }
  line = rest.substr(0, end);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  offset_ += end + 1;
  return true;
}

bool HttpAnswerReader::TakeBody(std::size_t count) {
  if (answer_.body.size() + count > max_body_bytes_) {
    Break("an answer larger than " + std::to_string(max_body_bytes_) + " bytes");
    return false;
  }
  answer_.body.append(pending_, offset_, count);
  offset_ += count;
  return true;
}

// The status line and the header fields, up to the empty line. A 1xx
// answer is interim: the real one follows it.
bool HttpAnswerReader::ReadHead() {
  std::string_view line;
  while (state_ == State::kMore && NextLine(line, kMaxHeadBytes)) {
    head_bytes_ += line.size() + 2;
    if (head_bytes_ > kMaxHeadBytes) {
      Break("a head larger than " + std::to_string(kMaxHeadBytes) + " bytes");
      return false;
    }
    if (answer_.status == 0) {
      const auto status = ReadStatusLine(line);
      if (!status) {
        Break("not an HTTP/1.x status line");
        return false;
      }
      answer_.status = *status;
      continue;
    }
    if (!line.empty()) {
      if (!ReadField(line)) return false;
      continue;
    }
    if (answer_.status < 200) {
      answer_ = {};
      framing_ = Framing::kClose;
      length_seen_ = false;
      continue;
    }
    phase_ = framing_ == Framing::kChunked ? Phase::kChunkSize : Phase::kBody;
    if (answer_.status == 204 || answer_.status == 304) {
      state_ = State::kDone;
    } else if (framing_ == Framing::kLength && remaining_ > max_body_bytes_) {
      Break("an answer larger than " + std::to_string(max_body_bytes_) + " bytes");
    }
    return true;
  }
  return false;
}

bool HttpAnswerReader::ReadField(std::string_view line) {
  const std::size_t colon = line.find(':');
  if (line.front() == ' ' || line.front() == '\t' || colon == std::string_view::npos || colon == 0) {
    Break("not a header field line");
    return false;
  }
  const std::string name = LowerCopy(line.substr(0, colon));
  const std::string value = Trimmed(line.substr(colon + 1));
  if (name == "content-type") {
    answer_.content_type = LowerCopy(Trimmed(std::string_view(value).substr(0, value.find(';'))));
  } else if (name == "transfer-encoding") {
    if (LowerCopy(value) != "chunked") {
      Break("a transfer coding other than chunked");
      return false;
    }
    framing_ = Framing::kChunked;
  } else if (name == "content-length") {
    const auto length = ReadNumber(value, kMaxContentLength);
    if (!length || (length_seen_ && remaining_ != *length)) {
      Break("a Content-Length that is no one number");
      return false;
    }
    length_seen_ = true;
    remaining_ = static_cast<std::size_t>(*length);
    if (framing_ != Framing::kChunked) framing_ = Framing::kLength;  // chunked wins (RFC 9112 6.3)
  }
  return true;
}

bool HttpAnswerReader::ReadChunkSize() {
  std::string_view line;
  if (!NextLine(line, kMaxChunkLineBytes)) return false;
  const auto size = ReadChunkSizeValue(line);
  if (!size) {
    Break("not a chunk size");
    return false;
  }
  remaining_ = *size;
  phase_ = *size == 0 ? Phase::kTrailer : Phase::kChunkData;
  return true;
}

bool HttpAnswerReader::ReadTrailer() {
  std::string_view line;
  while (NextLine(line, kMaxChunkLineBytes)) {
    head_bytes_ += line.size() + 2;
    if (head_bytes_ > kMaxHeadBytes) {
      Break("trailers larger than " + std::to_string(kMaxHeadBytes) + " bytes");
      return false;
    }
    if (line.empty()) {
      state_ = State::kDone;
      return true;
    }
  }
  return false;
}

HttpAnswerReader::State HttpAnswerReader::Advance() {
  bool progress = true;
  while (state_ == State::kMore && progress) {
    const std::size_t available = pending_.size() - offset_;
    switch (phase_) {
      case Phase::kHead:
        progress = ReadHead();
        break;
      case Phase::kBody: {
        const std::size_t count = framing_ == Framing::kLength ? std::min(available, remaining_) : available;
        progress = TakeBody(count) && count > 0;
        if (framing_ == Framing::kLength) {
          remaining_ -= count;
          if (remaining_ == 0 && state_ == State::kMore) state_ = State::kDone;
        }
        break;
      }
      case Phase::kChunkSize:
        progress = ReadChunkSize();
        break;
      case Phase::kChunkData: {
        const std::size_t count = std::min(available, remaining_);
        progress = TakeBody(count) && count > 0;
        remaining_ -= count;
        if (remaining_ == 0 && state_ == State::kMore) {
          phase_ = Phase::kChunkEnd;
          progress = true;
        }
        break;
      }
      case Phase::kChunkEnd: {
        std::string_view line;
        progress = NextLine(line, kMaxChunkLineBytes);
        if (progress && !line.empty()) return Break("a chunk longer than its size");
        if (progress) phase_ = Phase::kChunkSize;
        break;
      }
      case Phase::kTrailer:
        progress = ReadTrailer();
        break;
    }
  }
  return state_;
}

}  // namespace quillo
