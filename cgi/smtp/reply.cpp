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
      return scan;
    }
  }
}

ReplyScan ReplyAssembler::Next() {
  const ReplyScan scan = ScanReply(pending_);
  if (scan.status == ReplyStatus::kComplete) {
    last_line_ = std::string(LineBody(std::string_view(pending_).substr(0, pending_.find('\n') + 1)));
    if (last_line_.size() > kMaxReportedLine) last_line_.resize(kMaxReportedLine);
    last_reply_.swap(pending_);
    pending_.clear();
  }
  return scan;
}

}  // namespace quillo
