// SMTP reply scanning; see reply.h.
#include "smtp/reply.h"

#include <optional>

namespace quillo {
namespace {

constexpr std::size_t kCodeDigits = 3;
constexpr char kMoreLinesFollow = '-';

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The line without its end: CR LF or a bare LF.
std::string_view LineBody(std::string_view line) {
  line.remove_suffix(1);  // the LF
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

// The code a first line starts with; nothing when it starts with no code.
std::optional<int> ReadCode(std::string_view body) {
  if (body.size() < kCodeDigits) return std::nullopt;
  for (std::size_t i = 0; i < kCodeDigits; ++i) {
    if (!IsDigit(body[i])) return std::nullopt;
  }
  return (body[0] - '0') * 100 + (body[1] - '0') * 10 + (body[2] - '0');
}

bool MoreLinesFollow(std::string_view body) {
  return body.size() > kCodeDigits && body[kCodeDigits] == kMoreLinesFollow;
}

}  // namespace

ReplyScan ScanReply(std::string_view bytes) {
  ReplyScan scan;
  std::optional<int> code;
  std::size_t start = 0;
  while (true) {
    const std::size_t lf = bytes.find('\n', start);
    if (lf == std::string_view::npos) {
      if (bytes.size() > kMaxReplyBytes) scan.status = ReplyStatus::kMalformed;
      return scan;
    }
    const std::size_t end = lf + 1;
    if (end > kMaxReplyBytes) {
      scan.status = ReplyStatus::kMalformed;
      return scan;
    }
    const std::string_view body = LineBody(bytes.substr(start, end - start));
    if (start == 0) {
      code = ReadCode(body);
      if (!code) {
        scan.status = ReplyStatus::kMalformed;
        return scan;
      }
    }
    start = end;
    if (!MoreLinesFollow(body)) {
      scan.status = ReplyStatus::kComplete;
      scan.code = *code;
      scan.length = end;
      return scan;
    }
  }
}

std::vector<std::string_view> ReplyLines(std::string_view bytes) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  while (start < bytes.size()) {
    const std::size_t lf = bytes.find('\n', start);
    const std::size_t end = lf == std::string_view::npos ? bytes.size() : lf + 1;
    const std::string_view line = bytes.substr(start, end - start);
    lines.push_back(lf == std::string_view::npos ? line : LineBody(line));
    if (!MoreLinesFollow(lines.back())) break;
    start = end;
  }
  return lines;
}

ReplyScan ReplyAssembler::Next() {
  const ReplyScan scan = ScanReply(pending_);
  if (scan.status != ReplyStatus::kComplete) return scan;
  if (owed_ > 0) {
    --owed_;
    last_reply_.assign(pending_, 0, scan.length);
    pending_.erase(0, scan.length);
  } else {
    last_reply_.swap(pending_);
    pending_.clear();
  }
  return scan;
}

std::string ReplyAssembler::LastLine() const {
  const std::vector<std::string_view> lines = ReplyLines(last_reply_);
  return lines.empty() ? std::string() : std::string(lines.front().substr(0, kMaxReportedLine));
}

}  // namespace quillo
