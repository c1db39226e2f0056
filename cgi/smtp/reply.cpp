// SMTP reply scanning; see reply.h.
#include "smtp/reply.h"

namespace quillo {
namespace {

constexpr std::size_t kCodeDigits = 3;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The line without its end: CR LF or a bare LF.
std::string_view LineBody(std::string_view line) {
  line.remove_suffix(1);  // the LF
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

// Code of a reply line and whether more lines follow; code -1 when the
// line is no reply line.
struct LineHead {
  int code = -1;
  bool continues = false;
};

LineHead ReadLineHead(std::string_view body) {
  LineHead head;
  if (body.size() < kCodeDigits) return head;
  for (std::size_t i = 0; i < kCodeDigits; ++i) {
    if (!IsDigit(body[i])) return head;
  }
  if (body.size() > kCodeDigits && body[kCodeDigits] != ' ' && body[kCodeDigits] != '-') return head;
  head.code = (body[0] - '0') * 100 + (body[1] - '0') * 10 + (body[2] - '0');
  head.continues = body.size() > kCodeDigits && body[kCodeDigits] == '-';
  return head;
}

}  // namespace

ReplyScan ScanReply(std::string_view bytes) {
  ReplyScan scan;
  std::size_t start = 0;
  int first_code = -1;
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
    const LineHead head = ReadLineHead(LineBody(bytes.substr(start, end - start)));
    if (head.code < 0 || (first_code >= 0 && head.code != first_code)) {
      scan.status = ReplyStatus::kMalformed;
      return scan;
    }
    first_code = head.code;
    start = end;
    if (!head.continues) {
      scan.status = ReplyStatus::kComplete;
      scan.code = head.code;
      scan.length = end;
      return scan;
    }
  }
}

ReplyScan ReplyAssembler::Next() {
  const ReplyScan scan = ScanReply(pending_);
  if (scan.status == ReplyStatus::kComplete) pending_.erase(0, scan.length);
  return scan;
}

}  // namespace quillo
