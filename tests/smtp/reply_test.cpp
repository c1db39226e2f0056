// Reply reading as a function over byte chunks: whole replies, split reads,
// multi-line replies, garbage and the size bound, without sockets.
#include "smtp/reply.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quillo {
namespace {

// Feeds the chunks one by one and notes what Next() says after each:
// the code, "incomplete" or "malformed", separated by blanks.
std::string ReadChunks(const std::vector<std::string>& chunks) {
  ReplyAssembler assembler;
  std::string said;
  for (const std::string& chunk : chunks) {
    assembler.Feed(chunk);
    const ReplyScan scan = assembler.Next();
    if (!said.empty()) said += ' ';
    switch (scan.status) {
      case ReplyStatus::kIncomplete:
        said += "incomplete";
        break;
      case ReplyStatus::kMalformed:
        said += "malformed";
        break;
      case ReplyStatus::kComplete:
        said += std::to_string(scan.code);
        break;
    }
  }
  return said;
}

// Continuation lines, many enough to take the reply past its bound.
std::string LinesPastTheBound() {
  std::string lines;
  while (lines.size() <= kMaxReplyBytes) lines += "250-more\r\n";
  return lines;
}

TEST(ReplyAssembler, ReadsRepliesByTheFirstLinesCode) {
  struct ReplyCase {
    const char* what;
    std::vector<std::string> chunks;
    std::string said;
  };
  const std::string x(kMaxReplyBytes - 6, 'x');  // "250 " + x + "\r\n" fills the bound
  const std::vector<ReplyCase> cases = {
      {"one line", {"250 ok\r\n"}, "250"},
      {"a code alone", {"250\r\n"}, "250"},
      {"a code alone, bare LF", {"250\n"}, "250"},
      {"text glued to the code", {"250OK\r\n"}, "250"},
      {"four digits", {"2500 x\r\n"}, "250"},
      {"a bare LF ends the line", {"250 bare LF\n"}, "250"},
      {"a CR inside a line", {"250\rx\r\n"}, "250"},
      {"multi-line", {"220-first\r\n220 second\r\n"}, "220"},
      {"multi-line, bare LFs", {"220-first\n220-more\n220 last\n"}, "220"},
      {"mixed codes: the first counts", {"250-a\r\n550 mixed codes\r\n"}, "250"},
      {"continuations are not checked", {"250-a\r\nxyz-no code\r\nlast\r\n"}, "250"},
      {"an empty line ends a reply", {"250-a\r\n", "\r\n"}, "incomplete 250"},
      {"a hyphen alone continues", {"250-\r\n", "250 end\r\n"}, "incomplete 250"},
      {"lines apart", {"220-first\r\n", "220 second\r\n"}, "incomplete 220"},
      {"a byte at a time",
       {"2", "5", "0", " ", "o", "k", "\r", "\n"},
       "incomplete incomplete incomplete incomplete incomplete incomplete incomplete 250"},
      {"cut in the code of a later line", {"220-a\r\n2", "20 b\r\n"}, "incomplete 220"},
      {"cut between CR and LF", {"220-a\r", "\n220 b\r", "\n"}, "incomplete incomplete 220"},
      {"nothing yet", {""}, "incomplete"},
      {"no line end yet", {"250 no line end yet"}, "incomplete"},
      {"an extra reply is dropped", {"220 hi\r\n554 unasked\r\n", "250 hello\r\n"}, "220 250"},
      {"nothing left after a reply", {"250 a\r\n250 b\r\n250 c\r\n", ""}, "250 incomplete"},
      {"letters", {"abc def\r\n"}, "malformed"},
      {"a letter in the code", {"25O ok\r\n"}, "malformed"},
      {"two digits", {"25 short\r\n"}, "malformed"},
      {"two digits alone", {"25\r\n"}, "malformed"},
      {"an empty line", {"\r\n"}, "malformed"},
      {"a bare LF", {"\n"}, "malformed"},
      {"a leading blank", {" 250 x\r\n"}, "malformed"},
      {"no code, cut", {"2", "5x\r\n"}, "incomplete malformed"},
      {"a reply that fills the bound", {"250 " + x + "\r\n"}, "250"},
      {"a line one byte past the bound", {"250 " + x + "x\r\n"}, "malformed"},
      {"an endless line", {"250 ", x + "xx", "x"}, "incomplete incomplete malformed"},
      {"endless lines", {LinesPastTheBound() + "250 end\r\n"}, "malformed"},
  };
  for (const ReplyCase& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(ReadChunks(c.chunks), c.said);
  }
}

// A pipelined group owes one reply per command: the bytes after each reply
// but the group's last are kept; after the last, what is left is dropped.
TEST(ReplyAssembler, KeepsWhatFollowsWhileAGroupOwesReplies) {
  ReplyAssembler assembler;
  assembler.KeepFollowing(2);
  assembler.Feed("250 sender\r\n250-rcpt\r\n250 ok\r\n55");
  std::string said;
  for (int i = 0; i < 4; ++i) {
    const ReplyScan scan = assembler.Next();
    said +=
        scan.status == ReplyStatus::kComplete ? std::to_string(scan.code) + ":" + assembler.LastReply() : "-";
    if (i == 1) assembler.Feed("0 no\r\n554 unasked\r\n");
  }
  EXPECT_EQ(said, "250:250 sender\r\n250:250-rcpt\r\n250 ok\r\n550:550 no\r\n554 unasked\r\n-");
}

}  // namespace
}  // namespace quillo
