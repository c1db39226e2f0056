// Fuzz target: server replies cut into chunks of any size, and request text
// through the body and header encoders and the wire formatting. Checks that
// the first reply comes out the same however the stream is cut and leaves
// nothing behind, that nothing taken from a request can start a line of its
// own on the wire, that no text can end the data before the client does, and
// that a header value never makes a line longer than 998 characters.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "delivery/message.h"
#include "smtp/reply.h"
#include "smtp/wire.h"

using namespace quillo;

namespace {

void CheckReplyChunking(std::string_view stream, std::size_t chunk) {
  ReplyAssembler whole;
  whole.Feed(stream);
  const ReplyScan expected = whole.Next();
  ReplyAssembler cut;
  ReplyScan got;
  for (std::size_t from = 0; from < stream.size(); from += chunk) {
    cut.Feed(stream.substr(from, chunk));
    got = cut.Next();
    if (got.status != ReplyStatus::kIncomplete) break;
  }
  if (got.status != expected.status || got.code != expected.code) std::abort();
  // What came with a reply was not asked for and must be gone.
  if (expected.status == ReplyStatus::kComplete &&
      (whole.Next().status != ReplyStatus::kIncomplete || cut.Next().status != ReplyStatus::kIncomplete)) {
    std::abort();
  }
}

// A pipelined group of owed + 1 replies reads the same whole or in pieces,
// each reply from the bytes right after the one before, and nothing after
// the last.
void CheckPipelinedReplies(std::string_view stream, std::size_t chunk, std::size_t owed) {
  ReplyAssembler whole;
  whole.KeepFollowing(owed);
  whole.Feed(stream);
  ReplyAssembler cut;
  cut.KeepFollowing(owed);
  std::size_t from = 0;
  std::size_t at = 0;
  for (std::size_t reply = 0; reply <= owed; ++reply) {
    const ReplyScan expected = whole.Next();
    ReplyScan got;
    while (true) {
      got = cut.Next();
      if (got.status != ReplyStatus::kIncomplete || from >= stream.size()) break;
      cut.Feed(stream.substr(from, chunk));
      from += chunk;
    }
    if (got.status != expected.status || got.code != expected.code || got.length != expected.length)
      std::abort();
    if (expected.status != ReplyStatus::kComplete) return;
    if (whole.LastReply().compare(0, expected.length, stream.substr(at, expected.length)) != 0) std::abort();
    at += expected.length;
  }
  if (whole.Next().status != ReplyStatus::kIncomplete) std::abort();
}

void CheckLinesAtMost(std::string_view text, std::size_t limit) {
  std::size_t from = 0;
  while (from <= text.size()) {
    std::size_t lf = text.find('\n', from);
    if (lf == std::string_view::npos) lf = text.size();
    std::size_t length = lf - from;
    if (length > 0 && text[lf - 1] == '\r') --length;
    if (length > limit) std::abort();
    from = lf + 1;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  CheckReplyChunking(input, 1 + (size % 7));
  CheckPipelinedReplies(input, 1 + (size % 5), size % 4);

  const std::string encoded = encodeQuotedPrintable(input);
  if (encoded.find('\r') != std::string::npos) std::abort();
  CheckLinesAtMost(encoded, 76);

  const std::string header = EncodeHeaderValue(input, 9);
  CheckLinesAtMost("Subject: " + header, 998);
  for (std::size_t i = 0; i < header.size(); ++i) {
    // Only folding may break a header line: CR LF followed by a blank.
    if (header[i] == '\n' &&
        (i == 0 || header[i - 1] != '\r' || i + 1 >= header.size() || header[i + 1] != ' ')) {
      std::abort();
    }
    if (header[i] == '\r' && (i + 1 >= header.size() || header[i + 1] != '\n')) std::abort();
  }

  const std::string command = FormatCommand("MAIL FROM:<", input, ">");
  if (command.find('\n') != command.size() - 1 || command.find('\r') != command.size() - 2) std::abort();

  // The data section: CR only before LF, and the end-of-data mark only
  // where the client puts it, whatever the text held.
  const std::string wire = FormatDataLines(input) + "\r\n.\r\n";
  for (std::size_t i = 0; i < wire.size(); ++i) {
    if (wire[i] == '\r' && (i + 1 >= wire.size() || wire[i + 1] != '\n')) std::abort();
    if (wire[i] == '\n' && (i == 0 || wire[i - 1] != '\r')) std::abort();
  }
  if (wire.find("\r\n.\r\n") != wire.size() - 5 || wire.compare(0, 3, ".\r\n") == 0) std::abort();
  return 0;
}
