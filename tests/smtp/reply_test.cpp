// Reply reading as a function over byte chunks: whole replies, split reads,
// multi-line replies and garbage, without sockets.
#include "smtp/reply.h"

#include <gtest/gtest.h>

#include <vector>

namespace quillo {
namespace {

struct ReplyCase {
  const char* bytes;
  ReplyStatus status;
  int code;
  std::size_t length;
};

TEST(ScanReply, ReadsWholeRepliesAndRejectsGarbage) {
  const std::vector<ReplyCase> cases = {
      {"250 ok\r\n", ReplyStatus::kComplete, 250, 8},
      {"250\r\n", ReplyStatus::kComplete, 250, 5},
      {"220-first\r\n220 second\r\n", ReplyStatus::kComplete, 220, 23},
      {"250-a\r\n250-b\r\n250 c\r\n354 go\r\n", ReplyStatus::kComplete, 250, 21},
      {"250 bare LF\n", ReplyStatus::kComplete, 250, 12},
      {"", ReplyStatus::kIncomplete, 0, 0},
      {"250 no line end yet", ReplyStatus::kIncomplete, 0, 0},
      {"220-first\r\n", ReplyStatus::kIncomplete, 0, 0},
      {"220-first\r\n220 sec", ReplyStatus::kIncomplete, 0, 0},
      {"abc def\r\n", ReplyStatus::kMalformed, 0, 0},
      {"25 short\r\n", ReplyStatus::kMalformed, 0, 0},
      {"2500 four digits\r\n", ReplyStatus::kMalformed, 0, 0},
      {"\r\n", ReplyStatus::kMalformed, 0, 0},
      {" 250 leading blank\r\n", ReplyStatus::kMalformed, 0, 0},
      {"250-a\r\n550 mixed codes\r\n", ReplyStatus::kMalformed, 0, 0},
  };
  for (const ReplyCase& c : cases) {
    SCOPED_TRACE(c.bytes);
    const ReplyScan scan = ScanReply(c.bytes);
    EXPECT_EQ(scan.status, c.status);
    if (c.status == ReplyStatus::kComplete) {
      EXPECT_EQ(scan.code, c.code);
      EXPECT_EQ(scan.length, c.length);
    }
  }
}

// Every way of cutting a stream in two gives the same replies in order.
TEST(ReplyAssembler, GivesTheSameRepliesWhereverTheStreamIsCut) {
  const std::string stream = "220-welcome\r\n220 ready\r\n250 hello\r\n354 go ahead\r\n";
  for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
    SCOPED_TRACE(cut);
    ReplyAssembler assembler;
    std::vector<int> codes;
    auto drain = [&] {
      for (ReplyScan scan = assembler.Next(); scan.status == ReplyStatus::kComplete;
           scan = assembler.Next()) {
        codes.push_back(scan.code);
      }
    };
    assembler.Feed(stream.substr(0, cut));
    drain();
    assembler.Feed(stream.substr(cut));
    drain();
    EXPECT_EQ(codes, (std::vector<int>{220, 250, 354}));
    EXPECT_EQ(assembler.Next().status, ReplyStatus::kIncomplete);
  }
}

TEST(ReplyAssembler, AnEndlessLineIsMalformedOnceItPassesTheLimit) {
  ReplyAssembler assembler;
  assembler.Feed("250 ");
  assembler.Feed(std::string(kMaxReplyBytes, 'x'));
  EXPECT_EQ(assembler.Next().status, ReplyStatus::kMalformed);

  ReplyAssembler many_lines;
  std::string lines;
  while (lines.size() <= kMaxReplyBytes) lines += "250-more\r\n";
  many_lines.Feed(lines + "250 end\r\n");
  EXPECT_EQ(many_lines.Next().status, ReplyStatus::kMalformed);
}

}  // namespace
}  // namespace quillo
