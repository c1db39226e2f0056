// The multipart/form-data reader; see multipart_reader.h.
#include "upload/multipart_reader.h"

#include <algorithm>
#include <vector>

#include "core/text.h"
#include "upload/file_checks.h"

namespace quillo {
namespace {

constexpr std::string_view kCrLf = "\r\n";
// Blanks a sender may put after a delimiter (RFC 2046 5.1.1); more is no
// multipart body.
constexpr std::size_t kMaxPadding = 64;

struct Parameter {
  std::string name;  // lower case
  std::string value;
};

// "type; a=b; c="d;e"": the parameters after the first ";", values quoted or
// not. A quoted value runs to the next quote: browsers write a quote in a
// name as %22, never as a quoted pair. The first piece is the type.
std::vector<Parameter> ParametersOf(std::string_view header_value, std::string& type) {
  std::vector<Parameter> parameters;
  std::size_t at = header_value.find(';');
  type = LowerCopy(Trimmed(header_value.substr(0, at)));
  while (at != std::string_view::npos && at < header_value.size()) {
    ++at;  // the ";"
    const std::size_t eq = header_value.find_first_of("=;", at);
    if (eq == std::string_view::npos || header_value[eq] == ';') {
      at = eq;
      continue;
    }
    Parameter parameter{LowerCopy(Trimmed(header_value.substr(at, eq - at))), {}};
    at = eq + 1;
    while (at < header_value.size() && IsWhiteSpace(header_value[at])) ++at;
    if (at < header_value.size() && header_value[at] == '"') {
      const std::size_t close = header_value.find('"', at + 1);
      const std::size_t end = close == std::string_view::npos ? header_value.size() : close;
      parameter.value = std::string(header_value.substr(at + 1, end - at - 1));
      at = close == std::string_view::npos ? close : header_value.find(';', close);
    } else {
      const std::size_t end = header_value.find(';', at);
      parameter.value = Trimmed(header_value.substr(at, end == std::string_view::npos ? end : end - at));
      at = end;
    }
    parameters.push_back(std::move(parameter));
  }
  return parameters;
}

// The three escapes the HTML standard writes into a part's names.
std::string UnescapeFormName(std::string value) {
  ReplaceAll(value, "%22", "\"");
  ReplaceAll(value, "%0D", "\r");
  ReplaceAll(value, "%0A", "\n");
  return value;
}

bool IsBoundaryCharacter(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
         std::string_view("'()+_,-./:=? ").find(c) != std::string_view::npos;
}

}  // namespace

std::optional<std::string> BoundaryOf(std::string_view content_type) {
  std::string type;
  for (const Parameter& parameter : ParametersOf(content_type, type)) {
    if (parameter.name != "boundary") continue;
    const std::string& boundary = parameter.value;
    if (boundary.empty() || boundary.size() > kMaxBoundaryLength || boundary.back() == ' ')
      return std::nullopt;
    if (!std::all_of(boundary.begin(), boundary.end(), IsBoundaryCharacter)) return std::nullopt;
    return boundary;
  }
  return std::nullopt;
}

std::optional<PartHeaders> ReadPartHeaders(std::string_view block, MultipartProblem& problem) {
  std::optional<PartHeaders> headers;
  std::size_t lines = 0;
  for (std::size_t from = 0; from <= block.size() && !block.empty();) {
    std::size_t end = block.find(kCrLf, from);
    if (end == std::string_view::npos) end = block.size();
    const std::string_view line = block.substr(from, end - from);
    from = end + kCrLf.size();
    if (++lines > kMaxPartHeaderLines || line.size() > kMaxPartHeaderLine) {
      problem = MultipartProblem::kHeadersTooLarge;
      return std::nullopt;
    }
    const std::size_t colon = line.find(':');
    const bool folded = !line.empty() && IsWhiteSpace(line.front());
    if (colon == std::string_view::npos || folded || line.find_first_of("\r\n") != std::string_view::npos) {
      problem = MultipartProblem::kMalformed;
      return std::nullopt;
    }
    if (LowerCopy(Trimmed(line.substr(0, colon))) != "content-disposition") continue;
    std::string type;
    const std::vector<Parameter> parameters = ParametersOf(line.substr(colon + 1), type);
    if (type != "form-data") continue;
    PartHeaders part;
    bool named = false;
    std::optional<std::string> extended;
    for (const Parameter& parameter : parameters) {
      if (parameter.name == "name") part.name = UnescapeFormName(parameter.value), named = true;
      if (parameter.name == "filename") part.filename = UnescapeFormName(parameter.value);
      if (parameter.name == "filename*") {
        extended = DecodeExtendedValue(parameter.value);
        // A filename* that does not decode still says that a file came.
        if (!part.filename) part.filename.emplace();
      }
    }
    if (extended) part.filename = std::move(extended);
    if (named) headers = std::move(part);
  }
  if (!headers) problem = MultipartProblem::kNoDisposition;
  return headers;
}

MultipartReader::MultipartReader(std::string_view boundary, MultipartSink& sink)
    : delimiter_("\r\n--" + std::string(boundary)), sink_(sink), pending_(kCrLf) {}

bool MultipartReader::Fail(MultipartProblem problem) {
  problem_ = problem;
  return false;
}

bool MultipartReader::Feed(std::string_view bytes) {
  if (problem_ != MultipartProblem::kNone) return false;
  if (state_ == State::kDone) return true;  // the epilogue is nobody's
  pending_.erase(0, start_);
  start_ = 0;
  pending_.append(bytes);
  bool progress = true;
  while (progress && problem_ == MultipartProblem::kNone && state_ != State::kDone) {
    switch (state_) {
      case State::kBody:
        progress = ReadBody();
        break;
      case State::kAfterDelimiter:
        progress = ReadDelimiterEnd();
        break;
      case State::kHeaders:
        progress = ReadHeaders();
        break;
      case State::kDone:
        break;
    }
  }
  return problem_ == MultipartProblem::kNone;
}

bool MultipartReader::Finish() {
  if (problem_ != MultipartProblem::kNone) return false;
  if (state_ != State::kDone) return Fail(MultipartProblem::kTruncated);
  return true;
}

bool MultipartReader::ReadBody() {
  const std::string_view view = std::string_view(pending_).substr(start_);
  const std::size_t found = view.find(delimiter_);
  if (found != std::string_view::npos) {
    if (in_part_) {
      if (found > 0) sink_.PartBytes(view.substr(0, found));
      sink_.EndPart();
    }
    start_ += found + delimiter_.size();
    state_ = State::kAfterDelimiter;
    return true;
  }
  // What could still be the start of a delimiter waits for the next bytes.
  const std::size_t keep = delimiter_.size() - 1;
  if (view.size() > keep) {
    if (in_part_) sink_.PartBytes(view.substr(0, view.size() - keep));
    start_ += view.size() - keep;
  }
  return false;
}

bool MultipartReader::ReadDelimiterEnd() {
  const std::string_view view = std::string_view(pending_).substr(start_);
  if (view.size() < 2) return false;
  if (StartsWith(view, "--")) {
    state_ = State::kDone;
    return false;
  }
  std::size_t padding = 0;
  while (padding < view.size() && (view[padding] == ' ' || view[padding] == '\t')) ++padding;
  if (padding > kMaxPadding) return Fail(MultipartProblem::kMalformed);
  if (view.size() < padding + 2) return false;
  if (view.substr(padding, 2) != kCrLf) return Fail(MultipartProblem::kMalformed);
  start_ += padding + 2;
  state_ = State::kHeaders;
  in_part_ = true;
  return true;
}

bool MultipartReader::ReadHeaders() {
  const std::string_view view = std::string_view(pending_).substr(start_);
  std::size_t block_end = 0;
  std::size_t consumed = 0;
  if (StartsWith(view, kCrLf)) {
    consumed = kCrLf.size();
  } else {
    const std::size_t found = view.find("\r\n\r\n");
    if (found == std::string_view::npos) {
      if (view.size() > kMaxPartHeaderBytes) return Fail(MultipartProblem::kHeadersTooLarge);
      return false;
    }
    block_end = found;
    consumed = found + 4;
  }
  if (block_end > kMaxPartHeaderBytes) return Fail(MultipartProblem::kHeadersTooLarge);
  MultipartProblem problem = MultipartProblem::kNone;
  const std::optional<PartHeaders> headers = ReadPartHeaders(view.substr(0, block_end), problem);
  if (!headers) return Fail(problem);
  start_ += consumed;
  state_ = State::kBody;
  sink_.StartPart(*headers);
  return true;
}

}  // namespace quillo
