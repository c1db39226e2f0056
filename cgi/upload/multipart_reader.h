// A multipart/form-data body (RFC 7578, RFC 2046 5.1) read as it arrives:
// the parts' headers held up to a bound, their bodies handed on in pieces,
// so that a post of files is never held twice. Pure: bytes in, calls out.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace quillo {

// RFC 2046 5.1.1: a boundary is 1 to 70 characters.
constexpr std::size_t kMaxBoundaryLength = 70;

// The bounds of a part's header block: browsers send two or three lines.
constexpr std::size_t kMaxPartHeaderLines = 16;
constexpr std::size_t kMaxPartHeaderLine = 2048;
constexpr std::size_t kMaxPartHeaderBytes = 8192;

// The boundary parameter of a CONTENT_TYPE, quoted or not; nothing when it
// is missing, empty, longer than kMaxBoundaryLength or holds characters
// RFC 2046 does not allow in one.
std::optional<std::string> BoundaryOf(std::string_view content_type);

// What a part's Content-Disposition says: the field's name and, for a file
// input, the file's name (filename* where it decodes, else filename; an
// empty one when no file was chosen).
struct PartHeaders {
  std::string name;
  std::optional<std::string> filename;
};

// Why a body is not one.
enum class MultipartProblem {
  kNone,
  kHeadersTooLarge,  // a part's header block passes a bound
  kNoDisposition,    // a part without Content-Disposition: form-data and a name
  kMalformed,        // a delimiter or header line not as the RFCs write it
  kTruncated,        // the body ended before the closing delimiter
};

// Receives the parts in order: StartPart, any number of PartBytes, EndPart.
class MultipartSink {
 public:
  virtual ~MultipartSink() = default;
  virtual void StartPart(const PartHeaders& headers) = 0;
  virtual void PartBytes(std::string_view bytes) = 0;
  virtual void EndPart() = 0;
};

class MultipartReader {
 public:
  MultipartReader(std::string_view boundary, MultipartSink& sink);

  // The next bytes of the body; false once it is no multipart body.
  bool Feed(std::string_view bytes);
  // The end of the body; false unless the closing delimiter came.
  bool Finish();
  MultipartProblem problem() const { return problem_; }

 private:
  enum class State { kBody, kAfterDelimiter, kHeaders, kDone };
  bool Fail(MultipartProblem problem);
  // Each takes what it can from pending_; false to wait for more bytes.
  bool ReadBody();
  bool ReadDelimiterEnd();
  bool ReadHeaders();

  std::string delimiter_;  // CR LF "--" boundary
  MultipartSink& sink_;
  State state_ = State::kBody;
  bool in_part_ = false;  // the preamble is no part
  std::string pending_;
  std::size_t start_ = 0;  // where the unread bytes of pending_ begin
  MultipartProblem problem_ = MultipartProblem::kNone;
};

// The header block of one part, its lines each without CR LF; pure, for the
// reader and its tests. Nothing when it has no Content-Disposition: form-data
// with a name, or a line is no header line.
std::optional<PartHeaders> ReadPartHeaders(std::string_view block, MultipartProblem& problem);

}  // namespace quillo
