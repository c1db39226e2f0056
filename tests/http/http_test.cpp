// The service address and the HTTP answer reader, from byte tables; every
// answer is read whole and one byte at a time, which must agree.
#include <gtest/gtest.h>

#include "http/answer_reader.h"
#include "http/https_client.h"
#include "http/web_address.h"

namespace quillo {
namespace {

using State = HttpAnswerReader::State;

TEST(WebAddress, TakesHttpsWithAHostNameOnly) {
  const auto full = ParseHttpsAddress("HTTPS://Verify.Example.com:8443/api/siteverify?v=2");
  ASSERT_TRUE(full);
  EXPECT_EQ(full->host, "verify.example.com");
  EXPECT_EQ(full->port, 8443);
  EXPECT_EQ(full->path, "/api/siteverify?v=2");
  EXPECT_EQ(ParseHttpsAddress("https://example.com")->path, "/");
  EXPECT_EQ(ParseHttpsAddress("https://example.com?x")->path, "/?x");
  for (const char* refused :
       {"http://example.com/", "https://user@example.com/", "https://192.0.2.7/", "https://[::1]/",
        "https://example.com:0/", "https://example.com:99999/", "https://exa mple.com/",
        "https://example.com/#x", "https://example.com/\r\nX: y", "https:///path", "ftp://example.com/"}) {
    EXPECT_FALSE(ParseHttpsAddress(refused)) << refused;
  }
  HttpBody form;
  form.bytes = "a=1";
  EXPECT_EQ(
      FormatPostRequest(*ParseHttpsAddress("https://h.example:444/v"), form),
      "POST /v HTTP/1.1\r\nHost: h.example:444\r\nUser-Agent: quillopro\r\nAccept: application/json\r\n"
      "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: 3\r\nConnection: close\r\n\r\na=1");
  EXPECT_EQ(FormatPostRequest(*ParseHttpsAddress("https://h.example/hook"),
                              {"application/json", {"X-Quillo-Signature: t=1,v1=ab"}, "{}"}),
            "POST /hook HTTP/1.1\r\nHost: h.example\r\nUser-Agent: quillopro\r\nAccept: application/json\r\n"
            "Content-Type: application/json\r\nContent-Length: 2\r\nX-Quillo-Signature: t=1,v1=ab\r\n"
            "Connection: close\r\n\r\n{}");
}

struct Fed {
  State state;
  HttpAnswer answer;
  std::string problem;
};

Fed Feed(std::string_view bytes, bool close, std::size_t cap, bool byte_by_byte) {
  HttpAnswerReader reader(cap);
  if (byte_by_byte) {
    for (char c : bytes) reader.Feed(std::string_view(&c, 1));
  } else {
    reader.Feed(bytes);
  }
  if (close) reader.FeedClose();
  return {reader.state(), reader.answer(), reader.problem()};
}

TEST(HttpAnswerReader, ReadsEachFramingAndBreaksOffAtEachBound) {
  const std::string big_head = "HTTP/1.1 200 OK\r\nX: " + std::string(17000, 'a') + "\r\n\r\n";
  const struct {
    std::string bytes;
    bool close;
    State state;
    int status;
    std::string body;
    std::string problem;
  } cases[] = {
      {"HTTP/1.1 200 OK\r\nContent-Type: Application/JSON; charset=utf-8\r\nContent-Length: "
       "4\r\n\r\n{}{}extra",
       false, State::kDone, 200, "{}{}", ""},
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2;ext=1\r\n{\"\r\nB\r\nsuccess\":1}\r\n0\r\nT: "
       "x\r\n\r\n",
       false, State::kDone, 200, "{\"success\":1}", ""},
      {"HTTP/1.0 200 OK\nContent-Type: application/json\n\n{\"a\":1}", true, State::kDone, 200, "{\"a\":1}",
       ""},
      {"HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 500 Oops\r\nContent-Length: 2\r\n\r\nno", false, State::kDone,
       500, "no", ""},
      {"HTTP/1.1 204\r\n\r\n", false, State::kDone, 204, "", ""},
      {"HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nshort", true, State::kBroken, 200, "short",
       "closed before the answer's body was complete"},
      {"HTTP/1.1 200 OK\r\nContent-Len", true, State::kBroken, 200, "",
       "closed before the answer's head was complete"},
      {"HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nshort", false, State::kMore, 200, "short", ""},
      {"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n", false, State::kBroken, 200, "",
       "an answer larger than 64 bytes"},
      {"HTTP/1.1 200 OK\r\n\r\n" + std::string(65, 'x'), false, State::kBroken, 200, "",
       "an answer larger than 64 bytes"},
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n41\r\n" + std::string(65, 'x'), false,
       State::kBroken, 200, "", "an answer larger than 64 bytes"},
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nabc\r\n0\r\n\r\n", false, State::kBroken,
       200, "ab", "a chunk longer than its size"},
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n", false, State::kBroken, 200, "",
       "not a chunk size"},
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + std::string(2000, '0'), false,
       State::kBroken, 200, "", "a line longer than 1024 bytes"},
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip\r\n\r\n", false, State::kBroken, 200, "",
       "a transfer coding other than chunked"},
      {"HTTP/1.1 200 OK\r\nContent-Length: 2\r\nContent-Length: 3\r\n\r\n", false, State::kBroken, 200, "",
       "a Content-Length that is no one number"},
      {"HTTP/1.1 200 OK\r\nContent-Length: -1\r\n\r\n", false, State::kBroken, 200, "",
       "a Content-Length that is no one number"},
      {"HTTP/1.1 200 OK\r\n folded\r\n\r\n", false, State::kBroken, 200, "", "not a header field line"},
      {"SMTP 220 hello\r\n", false, State::kBroken, 0, "", "not an HTTP/1.x status line"},
      {"HTTP/1.1 2000 OK\r\n", false, State::kBroken, 0, "", "not an HTTP/1.x status line"},
      {big_head, false, State::kBroken, 200, "", "a line longer than 16384 bytes"},
  };
  for (const auto& c : cases) {
    for (bool byte_by_byte : {false, true}) {
      const Fed fed = Feed(c.bytes, c.close, 64, byte_by_byte);
      EXPECT_EQ(fed.state, c.state) << c.bytes.substr(0, 80) << byte_by_byte;
      EXPECT_EQ(fed.answer.status, c.status) << c.bytes.substr(0, 80);
      if (c.state != State::kBroken) {
        EXPECT_EQ(fed.answer.body, c.body) << c.bytes.substr(0, 80);
      }
      EXPECT_EQ(fed.problem, c.problem) << c.bytes.substr(0, 80) << byte_by_byte;
    }
  }
  EXPECT_EQ(Feed(cases[0].bytes, false, 64, false).answer.content_type, "application/json");
}

}  // namespace
}  // namespace quillo
